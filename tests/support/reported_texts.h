// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>

// The engine's or the system's own texts of error reports, each taken from behind the report's Hungarian sentence
// (a report without one is its own text), for tests that check which failure was reported.
inline QStringList originalTexts(const QStringList& reports)
{
    const QString marker = QStringLiteral("Eredeti üzenet: ");
    QStringList originals;
    for (const QString& report : reports) {
        const qsizetype at = report.lastIndexOf(marker);
        originals << (at < 0 ? report : report.mid(at + marker.size()));
    }
    return originals;
}
