// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "main_window/category_grid.h"
#include "platform/failure.h"
#include "engine/categories.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

void TFoablak::kereses_Change()
{
    const int tab = activeTab();
    if (tab < 0 || tab >= engine::dataCategoryCount)
        return;
    const engine::Category& category = engine::category(tab);
    // The chosen item is matched by its text; an item that names no column of this tab keeps the last column.
    const QString column = category.searchColumnFor(m_keresesoszlop->currentText());
    if (!column.isEmpty())
        searchColumn = column;
    // Before any item has named a column (the search list is blank without a language file) the tab's first
    // search column is meant, never an empty name in the statement.
    if (searchColumn.isEmpty() && !category.searchCaptions.empty())
        searchColumn = category.searchCaptions.front().column;
    const auto index = static_cast<std::size_t>(tab);
    columnWidths[index] = m_grids[index]->columnWidths();

    // The typed text is bound as the pattern: a quote in it is only a character, while % and _ keep their
    // meaning in the pattern.
    const QString text = m_kereses->text();
    m_browseQuery.setStatement(text.isEmpty()
                                   ? category.browseStatement()
                                   : category.searchStatement(searchColumn, text, m_tartalmazza->isChecked()));
    // A long list shows its first rows at once and is counted to its end without holding up the typing; the
    // count and the widths follow once it is complete. The next keystroke replaces it, and its ending with it.
    const QString couldNotDo = QStringLiteral("A keresés nem sikerült a katalógus „%1” táblájában: %2")
                                   .arg(category.table, shownCatalogueName());
    platform::describeFailure(couldNotDo, [&] {
        m_browseQuery.openThen(
            [this, tab] {
                showCount(m_browseQuery.recordCount());
                applyColumnWidths(tab);
            },
            [this, couldNotDo](const QString& text) {
                m_services.errors.report(platform::reportedText(platform::Failure(text), couldNotDo));
            });
    });
}

void TFoablak::KeresesoszlopChange()
{
    // Emptying a box that is already empty is no change and runs no search.
    m_kereses->clear();
}
