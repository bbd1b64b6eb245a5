// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/row_grid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

// A cell's text as the style draws it, but a text of Latin letters alone (every Hungarian title) is set without the
// font's shaping: the style lays each cell out three times, and shaping those layouts took most of the time a
// grid's screen takes to paint. The letters stand as a list of the designed era set them, without kerning. A text
// with any other letter, a combining accent among them, is shaped as before, so that every script joins and places
// its marks.
class CellTextDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (latinAlone(option->text))
            option->font.setStyleStrategy(QFont::StyleStrategy(option->font.styleStrategy() | QFont::PreferNoShaping));
    }

private:
    // Letters up to the end of Latin Extended-B (precomposed: ő and ű among them), and general punctuation.
    static bool latinAlone(const QString& text)
    {
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x20 || (u > 0x24F && (u < 0x2000 || u > 0x206F)))
                return false;
        }
        return true;
    }
};

// The row indicator: a row header bound to a model of no rows, so that it keeps nothing for the grid's rows. It
// paints a section for each row on the screen, marked while its row is selected, and a press on one selects the
// row.
class RowIndicator : public QHeaderView
{
public:
    explicit RowIndicator(RowGrid* grid)
        : QHeaderView(Qt::Vertical, grid), m_grid(grid), m_rows(new QStringListModel(this))
    {
        QHeaderView::setModel(m_rows);
    }

    // The table view hands its model to its row header; this one keeps its own, which has no rows.
    void setModel(QAbstractItemModel*) override {}
    void setSelectionModel(QItemSelectionModel* selectionModel) override
    {
        if (selectionModel && selectionModel->model() == m_rows)
            QHeaderView::setSelectionModel(selectionModel);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(viewport());
        const int height = m_grid->rowHeight();
        const int first = m_grid->rowAt(std::max(0, event->rect().top()));
        if (first < 0)
            return;
        const int last = m_grid->model()->rowCount(m_grid->rootIndex()) - 1;
        const QItemSelectionModel* selection = m_grid->selectionModel();
        for (int row = first; row <= last; ++row) {
            const int y = m_grid->rowViewportPosition(row);
            if (y > event->rect().bottom())
                break;
            QStyleOptionHeader option;
            initStyleOption(&option);
            option.rect = QRect(0, y, viewport()->width(), height);
            option.section = row;
            option.orientation = Qt::Vertical;
            option.position = QStyleOptionHeader::Middle;
            if (highlightSections() && selection && selection->isRowSelected(row, m_grid->rootIndex()))
                option.state |= QStyle::State_On | QStyle::State_Sunken; // as the table view's row header marks it
            style()->drawControl(QStyle::CE_Header, &option, &painter, this);
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        const int row = m_grid->rowAt(event->position().toPoint().y());
        if (event->button() == Qt::LeftButton && row >= 0 && sectionsClickable())
            m_grid->pressRow(row, event->modifiers());
    }
    void mouseMoveEvent(QMouseEvent*) override {}
    void mouseReleaseEvent(QMouseEvent*) override {}
    void mouseDoubleClickEvent(QMouseEvent*) override {}

private:
    RowGrid* m_grid;
    QStringListModel* m_rows;
};

} // namespace

RowGrid::RowGrid(QWidget* parent) : QTableView(parent)
{
    setVerticalHeader(new RowIndicator(this));
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setItemDelegate(new CellTextDelegate(this));
}

void RowGrid::setModel(QAbstractItemModel* model)
{
    if (model == this->model())
        return;
    for (const QMetaObject::Connection& connection : m_modelConnections)
        disconnect(connection);
    m_modelConnections.clear();
    QTableView::setModel(model);
    if (!model)
        return;
    // The table view learns of new rows from its row header, which here holds none.
    const auto changed = [this] { rowsChanged(); };
    // The rest of a long list, come below the screen, changes only the scroll bar: the rows on the screen are
    // not painted again (at a million rows that paint was most of the time from the search's end to its count).
    const auto inserted = [this](const QModelIndex&, int first, int) {
        const int bottom = rowAt(viewport()->height() - 1); // the row under the last line of pixels, cut or not
        if (bottom >= 0 && first > bottom)
            updateGeometries();
        else
            rowsChanged();
    };
    m_modelConnections = {connect(model, &QAbstractItemModel::rowsInserted, this, inserted),
                          connect(model, &QAbstractItemModel::rowsRemoved, this, changed),
                          connect(model, &QAbstractItemModel::modelReset, this, changed),
                          connect(model, &QAbstractItemModel::layoutChanged, this, changed)};
    doItemsLayout();
}

void RowGrid::setRowHeight(int height)
{
    m_rowHeight = std::max(1, height);
    doItemsLayout();
}

int RowGrid::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int RowGrid::firstRow() const
{
    return std::max(0, rowAt(0));
}

qint64 RowGrid::wantedOffset() const
{
    // A row at a time, but at the end of the list its last row lies on the bottom of the viewport, as the table
    // view lays it out: the first row on the screen is then cut.
    const QScrollBar* rows = verticalScrollBar();
    const qint64 length = static_cast<qint64>(rowCount()) * m_rowHeight;
    if (rows->value() >= rows->maximum() && length > viewport()->height())
        return length - viewport()->height();
    return static_cast<qint64>(rows->value()) * m_rowHeight;
}

int RowGrid::lastColumn() const
{
    return model() ? model()->columnCount(rootIndex()) - 1 : -1;
}

int RowGrid::rowsOnScreen() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

int RowGrid::rowAt(int y) const
{
    // Counted in 64 bits: a row's place in pixels passes the range of int at about 119 million rows.
    const qint64 place = m_offset + y;
    if (place < 0 || place >= static_cast<qint64>(rowCount()) * m_rowHeight)
        return -1;
    return static_cast<int>(place / m_rowHeight);
}

int RowGrid::rowViewportPosition(int row) const
{
    return static_cast<int>(static_cast<qint64>(row) * m_rowHeight - m_offset);
}

QRect RowGrid::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() || isColumnHidden(index.column()))
        return QRect();
    const int grid = showGrid() ? 1 : 0;
    return QRect(columnViewportPosition(index.column()), rowViewportPosition(index.row()),
                 columnWidth(index.column()) - grid, m_rowHeight - grid);
}

QModelIndex RowGrid::indexAt(const QPoint& point) const
{
    const int row = rowAt(point.y());
    const int column = columnAt(point.x());
    if (row < 0 || column < 0)
        return QModelIndex();
    return model()->index(row, column, rootIndex());
}

void RowGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != model() || index.row() >= rowCount())
        return;
    // A longer list that came in this event is laid out now: the scroll bar's range must reach its rows (a key
    // pressed before the next event, Ctrl+End, would otherwise find the old range and leave the rows where they
    // were). A shorter one waits for its layout as ever.
    if (verticalScrollBar()->maximum() < rowCount() - rowsOnScreen())
        executeDelayedItemsLayout();
    // The columns as the table view scrolls them; it would move the rows by its row header, so the scroll bar
    // of the rows is put back, silently, before the rows are placed here.
    QScrollBar* rows = verticalScrollBar();
    const int top = rows->value();
    {
        const QSignalBlocker blocker(rows);
        QTableView::scrollTo(index, hint);
        rows->setValue(top);
    }
    const int row = index.row();
    const int onScreen = rowsOnScreen();
    int wanted = top;
    switch (hint) {
    case EnsureVisible:
        if (row < top)
            wanted = row;
        else if (row >= top + onScreen)
            wanted = row - onScreen + 1;
        break;
    case PositionAtTop:
        wanted = row;
        break;
    case PositionAtBottom:
        wanted = row - onScreen + 1;
        break;
    case PositionAtCenter:
        wanted = row - onScreen / 2;
        break;
    }
    rows->setValue(std::clamp(wanted, 0, std::max(0, rows->maximum())));
    update(index);
}

int RowGrid::verticalOffset() const
{
    return static_cast<int>(m_offset);
}

bool RowGrid::isIndexHidden(const QModelIndex& index) const
{
    return isColumnHidden(index.column());
}

QModelIndex RowGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const int last = rowCount() - 1;
    QHeaderView* columns = horizontalHeader();
    // The visible columns in the order the user sees them.
    std::vector<int> shown;
    for (int visual = 0; visual < columns->count(); ++visual) {
        const int logical = columns->logicalIndex(visual);
        if (!columns->isSectionHidden(logical))
            shown.push_back(logical);
    }
    if (last < 0 || shown.empty())
        return QModelIndex();
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return model()->index(0, shown.front(), rootIndex());
    int row = current.row();
    auto place = std::find(shown.begin(), shown.end(), current.column());
    std::size_t column = place == shown.end() ? 0 : static_cast<std::size_t>(place - shown.begin());
    if (isRightToLeft() && (action == MoveLeft || action == MoveRight))
        action = action == MoveLeft ? MoveRight : MoveLeft;
    switch (action) {
    case MoveUp:
        row = std::max(0, row - 1);
        break;
    case MoveDown:
        row = std::min(last, row + 1);
        break;
    case MoveLeft:
    case MovePrevious:
        column = column > 0 ? column - 1 : column;
        break;
    case MoveRight:
    case MoveNext:
        column = column + 1 < shown.size() ? column + 1 : column;
        break;
    case MoveHome:
        column = 0;
        if (modifiers & Qt::ControlModifier)
            row = 0;
        break;
    case MoveEnd:
        column = shown.size() - 1;
        if (modifiers & Qt::ControlModifier)
            row = last;
        break;
    case MovePageUp: {
        // A screen up or down from the current row, as the table view moves.
        const int above = rowAt(visualRect(current).bottom() - viewport()->height());
        row = above < 0 ? 0 : above;
        break;
    }
    case MovePageDown: {
        const int below = rowAt(visualRect(current).top() + viewport()->height());
        row = below < 0 ? last : below;
        break;
    }
    }
    return model()->index(row, shown[column], rootIndex());
}

void RowGrid::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized();
    const QModelIndex topLeft = indexAt(area.topLeft());
    const QModelIndex bottomRight = indexAt(area.bottomRight());
    if (!selectionModel() || !topLeft.isValid() || !bottomRight.isValid())
        return;
    int left = std::min(topLeft.column(), bottomRight.column());
    int right = std::max(topLeft.column(), bottomRight.column());
    if (selectionBehavior() == SelectRows) {
        left = 0;
        right = lastColumn();
    }
    const QItemSelection selection(model()->index(topLeft.row(), left, rootIndex()),
                                   model()->index(bottomRight.row(), right, rootIndex()));
    selectionModel()->select(selection, command);
}

QRegion RowGrid::visualRegionForSelection(const QItemSelection& selection) const
{
    // Whole rows are repainted: the few on the screen cost nothing, and the columns may be in any order.
    QRegion region;
    const int first = firstRow();
    const int last = first + rowsOnScreen();
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid() || range.parent() != rootIndex() || range.bottom() < first || range.top() > last)
            continue;
        const int top = rowViewportPosition(std::max(range.top(), first));
        const int bottom = rowViewportPosition(std::min(range.bottom(), last) + 1);
        region += QRect(0, top, viewport()->width(), bottom - top);
    }
    return region;
}

void RowGrid::updateGeometries()
{
    // The table view places its headers and the columns' scroll bar; the rows' scroll bar it would set from its
    // row header, so it is put back silently and set here.
    QScrollBar* rows = verticalScrollBar();
    const int top = rows->value();
    const int least = rows->minimum();
    const int most = rows->maximum();
    const int page = rows->pageStep();
    {
        const QSignalBlocker blocker(rows);
        QTableView::updateGeometries();
        rows->setRange(least, most);
        rows->setPageStep(page);
        rows->setValue(top);
    }
    // Set as ever: a change of range shows or hides the scroll bar, a row that goes scrolls the rows.
    const int onScreen = rowsOnScreen();
    rows->setSingleStep(1);
    rows->setPageStep(onScreen);
    rows->setRange(0, std::max(0, rowCount() - onScreen));
    placeRows(); // a viewport that grew at the end of the list shows more of it
}

void RowGrid::scrollContentsBy(int dx, int dy)
{
    if (dx != 0)
        QTableView::scrollContentsBy(dx, 0);
    if (dy != 0)
        placeRows();
}

void RowGrid::placeRows()
{
    const qint64 offset = wantedOffset();
    const qint64 pixels = m_offset - offset;
    m_offset = offset;
    if (pixels != 0) {
        if (std::abs(pixels) < viewport()->height()) {
            viewport()->scroll(0, static_cast<int>(pixels));
            verticalHeader()->viewport()->scroll(0, static_cast<int>(pixels));
        } else {
            viewport()->update();
            verticalHeader()->viewport()->update();
        }
    }
}

void RowGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const int count = rowCount();
    QHeaderView* columns = horizontalHeader();
    if (count == 0 || columns->count() == 0 || !itemDelegate())
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int grid = showGrid() ? 1 : 0;
    const QRect dirty = event->rect();
    const int first = rowAt(std::max(0, dirty.top()));
    if (first < 0)
        return;
    int last = rowAt(dirty.bottom());
    if (last < 0)
        last = count - 1;
    int left = columns->visualIndexAt(dirty.left());
    int right = columns->visualIndexAt(dirty.right());
    if (isRightToLeft())
        std::swap(left, right);
    if (left < 0)
        left = 0;
    if (right < 0)
        right = columns->count() - 1;
    const QItemSelectionModel* selection = selectionModel();
    const QModelIndex current = currentIndex();
    const bool focused = hasFocus() || viewport()->hasFocus();
    for (int row = first; row <= last; ++row) {
        const int y = rowViewportPosition(row);
        for (int visual = left; visual <= right; ++visual) {
            const int column = columns->logicalIndex(visual);
            if (columns->isSectionHidden(column))
                continue;
            const QModelIndex index = model()->index(row, column, rootIndex());
            QStyleOptionViewItem cell = option;
            cell.rect = QRect(columnViewportPosition(column), y, columnWidth(column) - grid, m_rowHeight - grid);
            if (selection && selection->isSelected(index))
                cell.state |= QStyle::State_Selected;
            if (option.state & QStyle::State_Enabled) {
                const bool enabled = model()->flags(index) & Qt::ItemIsEnabled;
                if (!enabled)
                    cell.state &= ~QStyle::State_Enabled;
                cell.palette.setCurrentColorGroup(enabled ? QPalette::Normal : QPalette::Disabled);
            }
            if (focused && index == current)
                cell.state |= QStyle::State_HasFocus;
            style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &cell, &painter, this);
            itemDelegateForIndex(index)->paint(&painter, cell, index);
        }
    }
    if (!grid)
        return;
    // The grid lines, as the table view draws them: below each row and right of each column.
    const QColor color =
        QColor::fromRgba(static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    painter.setPen(QPen(color, 1, gridStyle()));
    const int bottom = std::min(dirty.bottom(), rowViewportPosition(last + 1) - 1);
    for (int row = first; row <= last; ++row) {
        const int y = rowViewportPosition(row) + m_rowHeight - grid;
        painter.drawLine(QLineF(dirty.left(), y, dirty.right(), y).translated(0.5, 0.5));
    }
    for (int visual = left; visual <= right; ++visual) {
        const int column = columns->logicalIndex(visual);
        if (columns->isSectionHidden(column))
            continue;
        int x = columnViewportPosition(column);
        if (!isRightToLeft())
            x += columnWidth(column) - grid;
        painter.drawLine(QLineF(x, dirty.top(), x, bottom).translated(0.5, 0.5));
    }
}

void RowGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    verticalHeader()->viewport()->update();
}

void RowGrid::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTableView::selectionChanged(selected, deselected);
    verticalHeader()->viewport()->update();
}

void RowGrid::pressRow(int row, Qt::KeyboardModifiers modifiers)
{
    if (!selectionModel() || row < 0 || row >= rowCount() || lastColumn() < 0)
        return;
    const int column = std::max(0, horizontalHeader()->logicalIndexAt(isRightToLeft() ? viewport()->width() : 0));
    const QModelIndex index = model()->index(row, column, rootIndex());
    const QModelIndex anchor = currentIndex();
    const bool several = selectionMode() == ExtendedSelection || selectionMode() == MultiSelection;
    if (several && (modifiers & Qt::ShiftModifier) && anchor.isValid()) {
        const QItemSelection rows(model()->index(std::min(anchor.row(), row), 0, rootIndex()),
                                  model()->index(std::max(anchor.row(), row), lastColumn(), rootIndex()));
        selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    } else if (several && (modifiers & Qt::ControlModifier)) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    } else {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    scrollTo(index);
}

void RowGrid::rowsChanged()
{
    // Laid out once the event is over, as the table view does: a keystroke that replaces the list is not held up
    // by measuring the column titles, and the layout comes before the next paint.
    scheduleDelayedItemsLayout();
    verticalHeader()->viewport()->update();
}
