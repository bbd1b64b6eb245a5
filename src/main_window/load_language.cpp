// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "localisation/language_file.h"
#include "main_window/category_grid.h"
#include "platform/failure.h"
#include "engine/categories.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {

// The IDs the main window keeps as text slots; every other ID is either a caption or ignored.
bool isSlotId(int id)
{
    return (id >= 1 && id <= 3) || id == 101 || id == 111 || id == 112 || (id >= 121 && id <= 142) || id == 201 ||
           id == 203 || id == 204 || (id >= 301 && id <= 303) || (id >= 20501 && id <= 20524);
}

void setLabelText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize(); // labels grow with their caption, as designed
}

} // namespace

void TFoablak::LoadLanguage()
{
    const localisation::LanguageScan scan = localisation::readLanguageFile(languageFilePath());
    if (!scan.exists)
        return;
    languageVersionOk = scan.versionOk;
    for (const localisation::LanguageEntry& entry : scan.entries) {
        const int id = entry.id;
        const QString& text = entry.text;
        if (isSlotId(id))
            m_textSlots.set(id, text);
        else if (id == 102)
            setLabelText(m_keresesLabel, text);
        else if (id == 103)
            m_tartalmazza->setText(text);
        else if (id == 104)
            setLabelText(m_label1, text);
        else if (id == 105)
            setLabelText(m_verzioSzama, text);
        else if (id == 106)
            m_open->setText(text);
        else if (id == 107)
            m_felvetel->setText(text);
        else if (id == 108)
            m_szerkesztes->setText(text);
        else if (id == 109)
            m_adatTorlese->setText(text);
        else if (id == 110)
            m_kilepes->setText(text);
        else if (id >= 113 && id <= 120)
            setPageCaption(id - 113, text); // the pages off the tab bar count too
    }
    // A malformed line stops the pass where it stands: what came before it stays, the column titles are left.
    if (scan.failure)
        throw platform::Failure::described(
            QStringLiteral("A nyelvi file nem olvasható be: %1").arg(programDir + languageFile), *scan.failure);

    // The column titles come from the slots even after a version mismatch, when every one of them is empty.
    for (int tab = 0; tab < engine::categoryCount; ++tab) {
        const std::vector<engine::GridColumn>& columns = engine::category(tab).columns;
        for (std::size_t column = 0; column < columns.size(); ++column)
            grid(tab)->rowSetModel()->setTitle(static_cast<int>(column), m_textSlots.text(columns[column].titleSlot));
    }
    nameGrids();
    const std::vector<engine::GridColumn>& tracks = engine::trackColumns();
    for (std::size_t column = 0; column < tracks.size(); ++column)
        m_trackGrid->rowSetModel()->setTitle(static_cast<int>(column), m_textSlots.text(tracks[column].titleSlot));
}
