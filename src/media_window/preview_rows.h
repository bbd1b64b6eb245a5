// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/media_reader.h"
#include "media/recording.h"

#include <QStringList>

class QModelIndex;
class QTreeWidget;
class QTreeWidgetItem;

// The rows a reading proposes, as the preview's tree shows them: albums and compilations as groups with their
// tracks beneath, films, discs, games and programs one item a row. Every row has a tick (an unticked row is left
// out) and every cell of the catalogue's columns can be corrected in place.

namespace preview_rows {

// Column headers for the rows of a kind; the last two columns say whether a row is catalogued and where it was
// read from, and cannot be edited.
QStringList headers(media::Kind kind);
// Whether the user may correct this cell: a column of the catalogue's row that the item stands for (an album's
// artist and title, a track's title, length, size and bitrate...), never the note or the file.
bool isEditable(const QModelIndex& index);

// Fills the tree with the reading's rows.
void fill(QTreeWidget* tree, media::Kind kind, const media::Reading& reading);
// The rows as the tree shows them now: the ticked ones, with the user's corrections; an album or compilation
// takes its tracks' group texts.
media::Reading collect(const QTreeWidget* tree, media::Kind kind, bool tickedOnly = true);
// Marks the albums and tracks the catalogue already holds (held lists one entry per album group, in the tree's
// order): a held track is unticked, since recording leaves it out.
void mark(QTreeWidget* tree, const QList<media::HeldAlbum>& held);
// The first column of every row of a film, DVD, game or program reading, in the tree's order.
QStringList titles(const QTreeWidget* tree);
// Notes the rows whose title the catalogue holds (one entry a row); they stay ticked.
void markTitles(QTreeWidget* tree, const QList<bool>& held);
// The ticked rows that recording would write, held tracks excluded.
int rowsToRecord(const QTreeWidget* tree);

} // namespace preview_rows
