// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QTableView>
#include <vector>

// A table whose rows all have one height, however long its list. Qt's table view places its rows through its
// row header, which keeps an entry for every row of the model (8 bytes a row, 8 MB for a list of a million rows,
// and kept at its largest while the view lives). Here the row header holds no rows at all: a row's place is
// its number times the row height, and the row indicator down the left is painted for the rows on the screen.
// The columns stay with Qt's header, which the user drags; the scroll bar moves a row at a time.
//
// Everything else is the table view's own: selection, the keys, the titles, the painting of a cell.
class RowGrid : public QTableView
{
    Q_OBJECT

public:
    explicit RowGrid(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    // The height of every row, in pixels.
    int rowHeight() const { return m_rowHeight; }
    void setRowHeight(int height);
    // The row at a height of the viewport, or -1 where there is none. These replace the table view's own, which
    // ask the row header.
    int rowAt(int y) const;
    int rowViewportPosition(int row) const;
    // The rows fully on the screen.
    int rowsOnScreen() const;
    // Selects a whole row as a press on its indicator does, with the keyboard's modifiers.
    void pressRow(int row, Qt::KeyboardModifiers modifiers);

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    int rowCount() const;
    int firstRow() const;
    qint64 wantedOffset() const;
    void placeRows();
    int lastColumn() const;
    void rowsChanged();

    int m_rowHeight = 18;
    qint64 m_offset = 0; // of the rows, in pixels, as they are painted now
    std::vector<QMetaObject::Connection> m_modelConnections;
};
