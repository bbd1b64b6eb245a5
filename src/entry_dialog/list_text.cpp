// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/list_text.h"

namespace list_text {

QString join(const QStringList& items)
{
    return items.join(QStringLiteral(", "));
}

QString joinSubtitles(const QStringList& items)
{
    const QString joined = join(items);
    return joined.isEmpty() ? QStringLiteral("-") : joined;
}

bool fits(const QStringList& items)
{
    return join(items).size() <= storedLimit;
}

QStringList split(const QString& text)
{
    QStringList items;
    const qsizetype length = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < length; ++i) {
        if (text.at(i) == QLatin1Char(',')) {
            items << text.mid(start, i - start);
            start = i + 1;
            // The blank of ", " is part of the separator; a list stored with bare commas loses nothing.
            if (start < length && text.at(start) == QLatin1Char(' '))
                ++start;
            i = start - 1;
            if (start == length && text.at(length - 1) == QLatin1Char(' '))
                items << QString(); // "a, " ends in an empty item
        } else if (i == length - 1) {
            items << text.mid(start);
        }
    }
    return items;
}

} // namespace list_text
