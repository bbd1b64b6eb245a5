// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <stdexcept>

namespace localisation {

namespace {
constexpr const char* codePageName = "windows-1250";
}

QString decode1250(const QByteArray& bytes)
{
    QStringDecoder decoder(codePageName);
    if (!decoder.isValid())
        throw std::runtime_error("code page 1250 is not available in this Qt build");
    QString text = decoder.decode(bytes);
    return text;
}

std::optional<QByteArray> encode1250(const QString& text)
{
    QStringEncoder encoder(codePageName, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        throw std::runtime_error("code page 1250 is not available in this Qt build");
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

} // namespace localisation
