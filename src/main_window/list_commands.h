// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "main_window/list_printing.h"

#include <QObject>

class CategoryGrid;
class QPagedPaintDevice;
class QPrinter;
class TFoablak;

// Printing, saving as PDF and copying the list on the screen: Ctrl+P anywhere in the main window, Ctrl+C on a
// grid (Ctrl+A first selects every row), and the same three on each grid's context menu. The designed window
// gains no control.
class ListCommands : public QObject
{
    Q_OBJECT

public:
    explicit ListCommands(TFoablak* window);

    static const QString pdfFilter;
    // The longest list shown in the print preview (about 300 pages); a longer one is printed without it.
    static constexpr int previewRowLimit = 10000;

    // The grid the keyboard's commands act on: the active tab's grid that has the focus (the album's tracks
    // or the albums on the first tab), else the active tab's list; null on a tab without data.
    CategoryGrid* activeGrid() const;
    // Shows the print preview of the grid's list; printing goes from there.
    void print(CategoryGrid* grid);
    // Writes the grid's list as a PDF file that the user names in the save dialog.
    void saveAsPdf(CategoryGrid* grid);
    // Puts the grid's selected rows on the clipboard for a spreadsheet.
    void copy(CategoryGrid* grid);

    // How long printing runs before its progress dialog shows, in milliseconds: a short list is done sooner.
    void setProgressDelay(int milliseconds) { m_progressDelay = milliseconds; }

    // The heading printed above the grid's list now.
    ListHeading headingFor(CategoryGrid* grid, const ShownList& list) const;

private:
    void attach(CategoryGrid* grid);
    void showMenu(CategoryGrid* grid, const QPoint& place);
    // The grid's list, complete: a search still counted in the background is finished first.
    ShownList completeList(CategoryGrid* grid) const;
    // Paints with a progress dialog that can stop it; false when the user stopped it. A printer given as
    // abortPrinter has its print run aborted then.
    bool paintWithProgress(CategoryGrid* grid, const ListHeading& heading, QPagedPaintDevice& device,
                           const QString& label, QPrinter* abortPrinter = nullptr);
    template <typename Handler> void run(Handler&& handler);

    TFoablak* m_window;
    QString m_pdfFolder; // where the last PDF went, for the next one
    int m_progressDelay = 300;
};
