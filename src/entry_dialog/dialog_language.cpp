// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/entry_dialog.h"
#include "localisation/language_file.h"

void TRogzites::FormCreate()
{
    LoadDialogLanguage();
}

void TRogzites::LoadDialogLanguage()
{
    const localisation::LanguageScan scan = localisation::readLanguageFile(m_state.view().languageFilePath());
    if (!scan.exists)
        return;
    // The three drop-downs keep their built-in items whatever the file holds: emptied, their arrows would open
    // nothing and the user would have to know every value by heart.
    for (const localisation::LanguageEntry& entry : scan.entries) {
        if (entry.id == 2)
            setWindowTitle(entry.text);
    }
    if (scan.failure)
        throw platform::Failure::described(
            QStringLiteral("A nyelvi file nem olvasható be: %1").arg(m_state.view().languageFileName()), *scan.failure);
}
