// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "main_window/shown_list.h"

#include <QDate>
#include <QPageLayout>
#include <QStringList>
#include <functional>

class QPagedPaintDevice;

// A list printed as a table: a heading on the first page, the column captions on top of every page, the rows
// in the list's order with the columns' widths in proportion to the grid's, and the page number at the foot.
// A column is never narrower than its widest short value (a code such as CD-0445 is not broken); a longer value
// wraps onto as many lines as it needs, and a row taller than the rest of a page goes on over the next pages.

struct ListHeading
{
    QString title;     // the category, as the tab names it
    QStringList lines; // under the title: the catalogue, the date, the count, the search
    QString footer;    // at the foot of every page, beside the page number
};

// The heading of a list: the category, the catalogue's file name, the date, the number of rows and, for a
// filtered list, what it was filtered by ("Cím kezdete: „Al”").
ListHeading listHeading(const QString& category, const QString& catalogue, const QDate& date, int count,
                        const QString& filter);

// The page size and margins a list is printed with: A4, 15 mm round, upright unless the grid's columns are wider
// than an upright page at the screen's size (then across, so that the values keep their size).
void setUpPage(QPagedPaintDevice& device, const ShownList& list);

// Called after each page with the number of rows printed so far, and with 0 now and then while the values are
// measured before the first page; false stops the printing there.
using PrintProgress = std::function<bool(int rowsDone)>;

// Paints the list onto the device, page by page, reading its rows in order. Returns false when progress stopped
// it. Throws platform::Failure when the device cannot be painted on or the rows cannot be read.
bool printList(const ShownList& list, const ListHeading& heading, QPagedPaintDevice& device,
               const PrintProgress& progress = {});
