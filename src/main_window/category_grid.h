// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "main_window/row_grid.h"
#include "main_window/row_set_model.h"

#include <vector>

// A read-only grid over a query channel: whole-row selection, titles, columns whose widths the user drags,
// no editing in place.
class CategoryGrid : public RowGrid
{
    Q_OBJECT

public:
    CategoryGrid(const QString& name, RowSetModel* model, QWidget* parent);

    RowSetModel* rowSetModel() const { return m_model; }
    std::vector<int> columnWidths() const;
    void setColumnWidths(const std::vector<int>& widths);
    // A mouse button is held down over the rows or the column titles: a click, a selection or a column border
    // being dragged, during which the rows must stay where they are.
    bool mouseHeld() const { return m_mouseHeld; }

signals:
    // A cell was clicked: the row under the mouse, not the grid's cursor.
    void rowClicked(int row);
    // A mouse button was released over the grid or its column titles (which also ends a column drag).
    void mouseReleased();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    RowSetModel* m_model;
    bool m_mouseHeld = false;
};
