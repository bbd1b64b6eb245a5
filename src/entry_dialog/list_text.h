#pragma once

#include <QStringList>

// The sound tracks and the subtitles of a DVD film are stored as one text each: the items joined by ", ".

namespace list_text {

constexpr int storedLimit = 255;

// The items joined with ", ", cut to the first 255 characters; no items give the empty text.
QString join(const QStringList& items);
// The subtitles joined as above; none give "-".
QString joinSubtitles(const QStringList& items);
// Taken apart at every comma. The character right after a comma is skipped whatever it is (normally the
// blank of ", "); items are not trimmed, so an item that held a comma comes back as two.
QStringList split(const QString& text);

} // namespace list_text
