// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/failure.h"

#include <QStringList>
#include <functional>

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

// The text a step fails with; empty when it does not fail.
inline QString failureOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const platform::Failure& failure) {
        return failure.text();
    }
    return QString();
}
