// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/category_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QHideEvent>
#include <QMouseEvent>
#include <QShowEvent>

CategoryGrid::CategoryGrid(const QString& name, RowSetModel* model, QWidget* parent) : RowGrid(parent), m_model(model)
{
    setObjectName(name);
    model->setParent(this);
    setModel(model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    // The row indicator down the left, 12 pixels wide; a press on it selects its row.
    verticalHeader()->setSectionsClickable(true);
    verticalHeader()->setHighlightSections(true);
    verticalHeader()->setFixedWidth(12);
    setRowHeight(18);
    viewport()->installEventFilter(this);
    // A column border is dragged on the header, and Qt gives the drag's release to the header's viewport.
    horizontalHeader()->viewport()->installEventFilter(this);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit rowClicked(index.row());
    });
}

std::vector<int> CategoryGrid::columnWidths() const
{
    std::vector<int> widths;
    for (int i = 0; i < m_model->columnCount(); ++i)
        widths.push_back(horizontalHeader()->sectionSize(i));
    return widths;
}

void CategoryGrid::setColumnWidths(const std::vector<int>& widths)
{
    for (int i = 0; i < m_model->columnCount() && i < static_cast<int>(widths.size()); ++i)
        horizontalHeader()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
}

// Only a grid on the screen holds its list's rows (a minimised window keeps them).
void CategoryGrid::showEvent(QShowEvent* event)
{
    m_model->setShown(true);
    RowGrid::showEvent(event);
}

void CategoryGrid::hideEvent(QHideEvent* event)
{
    m_mouseHeld = false; // a release that comes to a hidden grid is not seen
    if (!event->spontaneous())
        m_model->setShown(false);
    RowGrid::hideEvent(event);
}

bool CategoryGrid::eventFilter(QObject* watched, QEvent* event)
{
    const bool onGrid = watched == viewport() || watched == horizontalHeader()->viewport();
    if (onGrid && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick))
        m_mouseHeld = true;
    if (event->type() == QEvent::MouseButtonRelease && onGrid) {
        m_mouseHeld = static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton;
        emit mouseReleased();
    }
    return RowGrid::eventFilter(watched, event);
}
