#include "entry_dialog/entry_dialog.h"
#include "localisation/language_file.h"
#include "main_window/main_window.h"

#include <QComboBox>

namespace {

// Empties the item list of an editable drop-down; what its edit part shows stays.
void removeItems(QComboBox* combo)
{
    const QString shown = combo->currentText();
    combo->clear();
    combo->setEditText(shown);
}

} // namespace

void TRogzites::FormCreate()
{
    LoadDialogLanguage();
}

void TRogzites::LoadDialogLanguage()
{
    const localisation::LanguageScan scan = localisation::readLanguageFile(m_main.programDir + m_main.languageFile);
    if (!scan.exists)
        return;
    // Whatever its version, a language file leaves the three drop-downs without items: the user types the
    // sound track, the subtitle and the style.
    removeItems(m_dvd.Stilus);
    removeItems(m_dvd.hang);
    removeItems(m_dvd.Felirat);
    for (const localisation::LanguageEntry& entry : scan.entries) {
        if (entry.id == 2)
            setWindowTitle(entry.text);
    }
    if (scan.failure)
        throw platform::Failure::described(
            QStringLiteral("A nyelvi file nem olvasható be: %1").arg(m_main.programDir + m_main.languageFile),
            *scan.failure);
}
