// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/language_file.h"

#include "localisation/codepage.h"
#include "platform/failure.h"

#include <QFile>
#include <QFileInfo>
#include <limits>

namespace localisation {

const QByteArray supportedLanguageVersion = QByteArrayLiteral("1.0");

namespace {

// Only the first ten characters of a line may hold the "=" of an entry, so an ID has at most nine.
constexpr qsizetype idSearchLength = 10;

// Hands out the lines of the file one by one. A line ends at LF or CR LF; a lone CR is an ordinary character.
// Reading at the end of the bytes gives an empty line.
class LineReader
{
public:
    explicit LineReader(const QByteArray& bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_position >= m_bytes.size(); }

    QByteArray next()
    {
        if (atEnd())
            return QByteArray();
        const qsizetype lineFeed = m_bytes.indexOf('\n', m_position);
        const qsizetype end = lineFeed < 0 ? m_bytes.size() : lineFeed;
        qsizetype length = end - m_position;
        if (lineFeed >= 0 && length > 0 && m_bytes.at(end - 1) == '\r')
            --length;
        const QByteArray line = m_bytes.mid(m_position, length);
        m_position = lineFeed < 0 ? m_bytes.size() : lineFeed + 1;
        return line;
    }

private:
    const QByteArray& m_bytes;
    qsizetype m_position = 0;
};

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int value = -1;
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (base == 16 && u >= u'a' && u <= u'f')
        value = u - u'a' + 10;
    else if (base == 16 && u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    return value < base ? value : -1;
}

// Carries out every "=" among the first ten characters of one entry line. False when an ID text is no integer;
// the entries of earlier "=" signs of the line are kept.
bool scanEntryLine(const QByteArray& line, LanguageScan& scan)
{
    const qsizetype limit = std::min(line.size(), idSearchLength);
    for (qsizetype p = 0; p < limit; ++p) {
        if (line.at(p) != '=')
            continue;
        const QString idText = decode1250(line.left(p));
        const std::optional<int> id = convertLanguageId(idText);
        if (!id) {
            scan.failure = platform::invalidInteger(idText).text();
            return false;
        }
        // The character after the "=" and the last one of the line are the delimiters; neither is looked at.
        const qsizetype textLength = line.size() - p - 3;
        scan.entries.push_back({*id, textLength > 0 ? decode1250(line.mid(p + 2, textLength)) : QString()});
    }
    return true;
}

} // namespace

std::optional<int> convertLanguageId(const QString& text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < size && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < size && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < size && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= size)
        return std::nullopt;
    // The magnitude may reach 2^31 only for a negative number; anything larger is out of range either way.
    const qint64 limit = negative ? qint64(std::numeric_limits<int>::max()) + 1 : std::numeric_limits<int>::max();
    qint64 magnitude = 0;
    for (; i < size; ++i) {
        const int digit = digitValue(text.at(i), base);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

LanguageScan scanLanguageBytes(const QByteArray& bytes)
{
    LanguageScan scan;
    scan.exists = true;
    LineReader reader(bytes);
    // The version line is compared whole, byte for byte: a byte-order mark or a trailing blank makes it differ.
    if (reader.next() != supportedLanguageVersion)
        return scan;
    scan.versionOk = true;
    // At least one entry line is read, even right after the version line at the end of the file.
    do {
        if (!scanEntryLine(reader.next(), scan))
            return scan;
    } while (!reader.atEnd());
    return scan;
}

LanguageScan readLanguageFile(const QString& path)
{
    // An empty file name leaves the program directory itself, which is no language file.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return LanguageScan();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LanguageScan scan;
        scan.exists = true;
        scan.failure = QStringLiteral("%1: %2").arg(path, file.errorString());
        return scan;
    }
    QByteArray bytes = file.readAll();
    if (file.error() == QFileDevice::NoError)
        return scanLanguageBytes(bytes);
    // The lines read whole before the error still take effect; a line cut off by it does not.
    const QString error = QStringLiteral("%1: %2").arg(path, file.errorString());
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    LanguageScan scan = scanLanguageBytes(bytes);
    if (!scan.failure)
        scan.failure = error;
    return scan;
}

} // namespace localisation
