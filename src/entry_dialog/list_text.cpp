#include "entry_dialog/list_text.h"

namespace list_text {

namespace {

// The characters from start to end, both counted from 1; nothing when end comes before start.
QString span(const QString& text, int start, int end)
{
    return end < start ? QString() : text.mid(start - 1, end - start + 1);
}

} // namespace

QString join(const QStringList& items)
{
    QString joined;
    for (const QString& item : items)
        joined += QStringLiteral(", ") + item;
    return joined.mid(2).left(storedLimit);
}

QString joinSubtitles(const QStringList& items)
{
    const QString joined = join(items);
    return joined.isEmpty() ? QStringLiteral("-") : joined;
}

QStringList split(const QString& text)
{
    QStringList items;
    const int length = static_cast<int>(text.size());
    int start = 1;
    for (int i = 1; i <= length; ++i) {
        if (text.at(i - 1) == QLatin1Char(',')) {
            items << span(text, start, i - 1);
            start = i + 2;
        } else if (i == length) {
            items << span(text, start, length);
        }
    }
    return items;
}

} // namespace list_text
