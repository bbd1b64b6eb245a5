// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary tag values to the code that turns a music file's tags into catalogue rows. Besides crashes,
// hangs and memory faults it checks what must hold for every input: text is only ever read again as code page
// 1250 when it came as Latin-1, and then keeps its length; a cell holds no control character and no padding;
// a length is always hh:mm:ss; and grouping loses and doubles no track.

#include "localisation/codepage.h"
#include "media/tag_text.h"

#include <QRegularExpression>
#include <cstdint>
#include <cstdlib>

using namespace media;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Takes the input apart: a flag byte and a length byte before each field.
class Input
{
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_at >= m_size; }
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    QByteArray bytes()
    {
        const size_t length = std::min<size_t>(byte(), m_size - m_at);
        const QByteArray result(reinterpret_cast<const char*>(m_data + m_at), qsizetype(length));
        m_at += length;
        return result;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

TagValue value(Input& input)
{
    const bool latin1 = input.byte() & 1;
    const QByteArray bytes = input.bytes();
    return TagValue{latin1 ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes), latin1};
}

void checkText(const TagValue& tag)
{
    const QString read = readAsWritten(tag);
    if (!tag.latin1) {
        require(read == tag.text);
        return;
    }
    require(read == tag.text || read == localisation::decode1250(tag.text.toLatin1()));
    require(read.size() == tag.text.size());
    const QString cell = cellText(tag);
    require(cell == cell.trimmed());
    for (const QChar ch : cell)
        require(ch.category() != QChar::Other_Control);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QRegularExpression length(QStringLiteral("^\\d{2,}:\\d{2}:\\d{2}$"));
    Input input(data, size);
    QList<TrackTags> tracks;
    while (!input.empty() && tracks.size() < 64) {
        TrackTags tags;
        tags.title = value(input);
        tags.artist = value(input);
        tags.albumArtist = value(input);
        tags.album = value(input);
        tags.trackNumber = input.byte() - 8;
        tags.lengthMs = qint64(input.byte()) << (input.byte() % 40);
        tags.sizeBytes = qint64(input.byte()) << (input.byte() % 40);
        tags.bitrateKbps = input.byte();
        tags.fileName = QString::fromUtf8(input.bytes());
        tags.folderPath = QString::fromUtf8(input.bytes());
        tags.folderName = tags.folderPath.section(QLatin1Char('/'), -1);
        for (const TagValue* tag : {&tags.title, &tags.artist, &tags.albumArtist, &tags.album})
            checkText(*tag);
        require(length.match(durationText(tags.lengthMs)).hasMatch());
        require(!sizeText(tags.sizeBytes).isEmpty());
        tracks << tags;
    }
    const MusicRows rows = groupTracks(tracks);
    qsizetype grouped = rows.compilationTracks.size();
    for (const Album& album : rows.albums) {
        require(!album.tracks.isEmpty());
        grouped += album.tracks.size();
    }
    require(grouped == tracks.size());
    return 0;
}
