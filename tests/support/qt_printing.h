// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>
#include <QVariant>
#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& items, std::ostream* out)
{
    *out << '[' << items.join(QStringLiteral("|")).toStdString() << ']';
}

inline void PrintTo(const QVariant& value, std::ostream* out)
{
    *out << '"' << value.toString().toStdString() << '"';
}
