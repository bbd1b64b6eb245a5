// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>

// The sound tracks and the subtitles of a DVD film are stored as one text each: the items joined by ", ".

namespace list_text {

// The longest list text the user can build by adding items; an item that would make it longer is refused
// when it is added, so that what is stored is always what the list shows.
constexpr int storedLimit = 255;

// The items joined with ", "; no items give the empty text. Nothing is cut.
QString join(const QStringList& items);
// The subtitles joined as above; none give "-".
QString joinSubtitles(const QStringList& items);
// Whether the items, joined, stay within storedLimit.
bool fits(const QStringList& items);
// Taken apart at every comma; one blank right after a comma belongs to the separator and is dropped, any
// other character after a comma starts the next item (a list joined by bare commas comes back whole). Items
// are not trimmed otherwise, so an item that held a comma comes back as two.
QStringList split(const QString& text);

} // namespace list_text
