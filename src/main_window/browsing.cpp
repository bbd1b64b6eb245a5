// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "main_window/category_grid.h"
#include "platform/failure.h"
#include "engine/categories.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

namespace {

std::vector<int> titleSlots(const engine::Category& category)
{
    std::vector<int> slotIds;
    for (const engine::GridColumn& column : category.columns)
        slotIds.push_back(column.titleSlot);
    return slotIds;
}

} // namespace

void TFoablak::OlvasasChange()
{
    const int tab = activeTab();
    if (tab < 0 || tab >= engine::dataCategoryCount)
        return;
    const engine::Category& category = engine::category(tab);
    m_detailQuery.close();
    m_editState.currentRow.clearKeyFields();
    m_editState.trackGridActive = false;
    m_editState.albumGridActive = true;
    m_browseQuery.setStatement(category.browseStatement());
    fillSearchColumns(titleSlots(category));
    m_keresesoszlop->setCurrentIndex(0);
    // Waiting repaints are handled before the list opens; user input waits until this operation is over,
    // so no other handler can run in the middle of it.
    if (!m_inBrowse) {
        m_inBrowse = true;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_inBrowse = false;
    }
    platform::describeFailure(
        QStringLiteral("A katalógus „%1” táblája nem olvasható be: %2").arg(category.table, shownCatalogueName()),
        [this] {
            m_browseQuery.open();
            m_browseQuery.connect();
        });
    const int count = m_browseQuery.recordCount();
    showCount(count);
    CategoryGrid* grid = m_grids[static_cast<std::size_t>(tab)];
    QLabel* empty = m_emptyLabels[static_cast<std::size_t>(tab)];
    if (count < 1) {
        grid->setVisible(false);
        if (tab == 0)
            m_trackGrid->setVisible(false);
        empty->setVisible(true);
    } else {
        applyColumnWidths(tab);
        grid->setVisible(true);
        if (tab == 0)
            m_trackGrid->setVisible(true);
        empty->setVisible(false);
    }
    m_kereses->clear();
}

void TFoablak::applyColumnWidths(int tab)
{
    m_grids[static_cast<std::size_t>(tab)]->setColumnWidths(columnWidths[static_cast<std::size_t>(tab)]);
}
