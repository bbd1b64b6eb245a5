// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/video_facts.h"

#include "entry_dialog/list_text.h"
#include "media/tag_text.h"

#include <QHash>

namespace media {

namespace {

// Two-letter and three-letter codes (ISO 639-1 and both forms of 639-2) of the languages a collection mostly
// holds. The entry dialog offers "magyar", "angol" and "egyéb"; the others are named as a Hungarian writes them.
const QHash<QString, QString>& languageNames()
{
    static const QHash<QString, QString> names = [] {
        const struct
        {
            const char* codes;
            const char* name;
        } table[] = {
            {"hu hun", "magyar"},     {"en eng", "angol"},     {"de ger deu", "német"},     {"fr fre fra", "francia"},
            {"it ita", "olasz"},      {"es spa", "spanyol"},   {"pt por", "portugál"},      {"ru rus", "orosz"},
            {"pl pol", "lengyel"},    {"cs cze ces", "cseh"},  {"sk slo slk", "szlovák"},   {"ro rum ron", "román"},
            {"hr hrv scr", "horvát"}, {"sr srp scc", "szerb"}, {"nl dut nld", "holland"},   {"sv swe", "svéd"},
            {"fi fin", "finn"},       {"da dan", "dán"},       {"no nor nb nob", "norvég"}, {"ja jpn", "japán"},
            {"zh chi zho", "kínai"},  {"ko kor", "koreai"},    {"tr tur", "török"},         {"el gre ell", "görög"},
        };
        QHash<QString, QString> result;
        for (const auto& row : table) {
            for (const QString& code : QString::fromLatin1(row.codes).split(QLatin1Char(' ')))
                result.insert(code, QString::fromUtf8(row.name));
        }
        return result;
    }();
    return names;
}

QString baseCode(const QString& code)
{
    // "en-US", "hu_HU", "Hungarian / hu": the first code is the language.
    return code.section(QLatin1Char('/'), 0, 0)
        .section(QLatin1Char('-'), 0, 0)
        .section(QLatin1Char('_'), 0, 0)
        .trimmed()
        .toLower();
}

QString shortCode(const QString& code)
{
    const QString base = baseCode(code);
    if (base.size() == 2)
        return base.toUpper();
    // A three-letter code goes back to its two-letter form through the name it shares with it.
    const QString name = languageNames().value(base);
    for (auto it = languageNames().cbegin(); it != languageNames().cend(); ++it) {
        if (it.value() == name && it.key().size() == 2)
            return it.key().toUpper();
    }
    return base.toUpper();
}

} // namespace

QString languageName(const QString& code)
{
    const QString base = baseCode(code);
    if (base.isEmpty() || base == QLatin1String("und") || base == QLatin1String("zxx"))
        return {};
    return languageNames().value(base, QStringLiteral("egyéb"));
}

QString videoCodecName(const VideoFacts& facts)
{
    const QString& format = facts.videoFormat;
    if (format == QLatin1String("AVC"))
        return QStringLiteral("H.264");
    if (format == QLatin1String("HEVC"))
        return QStringLiteral("H.265");
    if (format == QLatin1String("MPEG Video"))
        return facts.videoVersion.contains(QLatin1Char('1')) ? QStringLiteral("MPEG-1") : QStringLiteral("MPEG-2");
    if (format == QLatin1String("MPEG-4 Visual")) {
        const QString id = facts.videoCodecId.toUpper();
        if (id == QLatin1String("XVID"))
            return QStringLiteral("Xvid");
        if (id.startsWith(QLatin1String("DX")) || id == QLatin1String("DIVX"))
            return QStringLiteral("DivX");
        return QStringLiteral("MPEG-4");
    }
    return format;
}

QString audioCodecName(const AudioStream& stream)
{
    const QString& format = stream.format;
    if (format == QLatin1String("AC-3"))
        return QStringLiteral("AC3");
    if (format == QLatin1String("E-AC-3"))
        return QStringLiteral("E-AC3");
    if (format == QLatin1String("MPEG Audio"))
        return stream.profile.contains(QLatin1Char('3')) ? QStringLiteral("MP3") : QStringLiteral("MPEG");
    return format;
}

QString soundTrackItem(const AudioStream& stream)
{
    // The list writes MPEG sound of any layer as "MPEG"; the channels follow the codec after a slash.
    QString codec = audioCodecName(stream);
    if (stream.format == QLatin1String("MPEG Audio"))
        codec = QStringLiteral("MPEG");
    QString item = codec;
    if (stream.channels > 0)
        item += QLatin1Char('/') + QString::number(stream.channels);
    // An undetermined language ("und") is no language.
    if (!languageName(stream.language).isEmpty())
        item += QLatin1Char(' ') + shortCode(stream.language);
    return item;
}

Film filmRow(const VideoFacts& facts)
{
    Film film;
    film.CIM = facts.title.simplified();
    if (film.CIM.isEmpty()) {
        const qsizetype dot = facts.fileName.lastIndexOf(QLatin1Char('.'));
        film.CIM = dot > 0 ? facts.fileName.left(dot) : facts.fileName;
    }
    for (const AudioStream& stream : facts.audio) {
        film.Nyelv = languageName(stream.language);
        if (!film.Nyelv.isEmpty())
            break;
    }
    if (facts.width > 0 && facts.height > 0)
        film.Felbontas = QStringLiteral("%1x%2").arg(facts.width).arg(facts.height);
    film.MERET = sizeText(facts.sizeBytes);
    film.Hossz = durationText(facts.lengthMs);
    film.Video = videoCodecName(facts);
    if (!facts.audio.isEmpty())
        film.Hang = audioCodecName(facts.audio.first());
    film.source = facts.source;
    return film;
}

DvdFilm dvdFilmRow(const VideoFacts& mainTitle, const QString& title)
{
    DvdFilm film;
    film.CIM = title;
    QStringList soundTracks;
    for (const AudioStream& stream : mainTitle.audio)
        soundTracks << soundTrackItem(stream);
    QStringList subtitles;
    for (const QString& code : mainTitle.subtitleLanguages) {
        // A subtitle of no stated language is still one the film has.
        QString name = languageName(code);
        if (name.isEmpty())
            name = QStringLiteral("egyéb");
        if (!subtitles.contains(name))
            subtitles << name;
    }
    // The lists are stored as the entry dialog stores them, and no longer than it lets them grow.
    while (!list_text::fits(soundTracks))
        soundTracks.removeLast();
    while (!list_text::fits(subtitles))
        subtitles.removeLast();
    film.Nyelv = list_text::join(soundTracks);
    film.Felirat = list_text::joinSubtitles(subtitles);
    film.db_DVD = QStringLiteral("1");
    film.Hossz = durationText(mainTitle.lengthMs);
    film.source = mainTitle.source;
    return film;
}

} // namespace media
