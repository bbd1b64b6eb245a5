// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The settings file and the language file are 8-bit text in code page 1250 (Central European).

namespace localisation {

QString decode1250(const QByteArray& bytes);
// Empty when the text holds a character that code page 1250 cannot represent.
std::optional<QByteArray> encode1250(const QString& text);

} // namespace localisation
