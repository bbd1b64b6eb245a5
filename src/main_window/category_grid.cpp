// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/category_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QHideEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QShowEvent>

namespace {

// The row indicator down the left of a grid. A view keeps a few bytes for every row of its list in it, and
// keeps that room when the list goes. The grids are on the screen one at a time, so they hand one row header
// from the grid that is hidden to the grid that is shown: the room for a huge list is taken once, and is at
// hand for the next tab.
QPointer<QHeaderView>& spareRowHeader()
{
    static QPointer<QHeaderView> spare;
    return spare;
}

void setUpRowHeader(QHeaderView* header)
{
    header->setSectionsClickable(true);
    header->setHighlightSections(true);
    header->setDefaultSectionSize(18);
    header->setFixedWidth(12);
}

} // namespace

CategoryGrid::CategoryGrid(const QString& name, RowSetModel* model, QWidget* parent)
    : QTableView(parent), m_model(model)
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
    setUpRowHeader(verticalHeader());
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
    if (QHeaderView* spare = spareRowHeader()) {
        spareRowHeader() = nullptr;
        setVerticalHeader(spare); // this grid's own goes, and the spare takes this grid's rows
        spare->show();
    }
    m_model->setShown(true);
    QTableView::showEvent(event);
}

void CategoryGrid::hideEvent(QHideEvent* event)
{
    m_mouseHeld = false; // a release that comes to a hidden grid is not seen
    if (!event->spontaneous()) {
        m_model->setShown(false);
        if (!spareRowHeader()) {
            QHeaderView* header = verticalHeader();
            header->setParent(nullptr); // so that the view lets it be
            auto* standIn = new QHeaderView(Qt::Vertical, this);
            setUpRowHeader(standIn);
            setVerticalHeader(standIn);
            header->setParent(this); // kept hidden here until a grid is shown
            header->setModel(nullptr);
            spareRowHeader() = header;
        }
    }
    QTableView::hideEvent(event);
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
    return QTableView::eventFilter(watched, event);
}
