// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "media/media_reader.h"
#include "media/recording.h"
#include "platform/failure.h"
#include "catalogue/query_channel.h"

#include <QDir>
#include <QFileInfo>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue scan PATH... FILE|URI [--kind KIND] [--kod CODE] [--dry-run]"),
    QStringLiteral(
        "Reads the media files and folders PATH (folders in any depth) and adds the rows they give to the\n"
        "catalogue FILE or the PostgreSQL catalogue URI, as a drop on the program's list does. KIND says what\n"
        "the files are: music (the default: albums with their tracks, and compilations), films (films and\n"
        "video clips), dvd (DVD films from VIDEO_TS folders or film files), games or programs (one row a\n"
        "folder or file, with its total size). --kod gives every row the medium's code.\n"
        "An album the catalogue holds (the same artist and title, letter case aside) gets only the tracks\n"
        "it lacks (another title or length). Every row is printed, one a line, its columns separated by\n"
        "tabs, after the table's name; then all of them are added in one transaction, or none when anything\n"
        "fails. --dry-run prints the rows and writes nothing. Files that give no row are told on the error\n"
        "output with the reason. The media are only read.\n"),
    2,
    {QStringLiteral("--dry-run")},
    {{QStringLiteral("--kind"), QStringLiteral("KIND")}, {QStringLiteral("--kod"), QStringLiteral("CODE")}},
    {},
    true};

std::optional<media::Kind> kindNamed(const QString& name)
{
    static const QList<std::pair<QString, media::Kind>> kinds = {
        {QStringLiteral("music"), media::Kind::Music},       {QStringLiteral("films"), media::Kind::Films},
        {QStringLiteral("dvd"), media::Kind::DvdFilms},      {QStringLiteral("games"), media::Kind::Games},
        {QStringLiteral("programs"), media::Kind::Programs},
    };
    for (const auto& [known, kind] : kinds)
        if (known == name)
            return kind;
    return std::nullopt;
}

void line(QTextStream& out, const QString& table, const QStringList& columns, const QString& note = QString())
{
    out << table << '\t' << columns.join(QLatin1Char('\t'));
    if (!note.isEmpty())
        out << "\t(" << note << ')';
    out << '\n';
}

// Prints the rows in the order they are recorded; gives how many of them would be written.
int printRows(QTextStream& out, const media::Reading& reading, const QList<media::HeldAlbum>& held)
{
    int rows = 0;
    for (qsizetype i = 0; i < reading.albums.size(); ++i) {
        const media::Album& album = reading.albums.at(i);
        const media::HeldAlbum& found = held.at(i);
        line(out, QStringLiteral("eloado"), {album.ELOADO, album.ALBUM},
             found.held() ? QStringLiteral("catalogued") : QString());
        rows += found.held() ? 0 : 1;
        for (qsizetype t = 0; t < album.tracks.size(); ++t) {
            const media::Track& track = album.tracks.at(t);
            const bool skipped = found.heldTracks.at(t);
            line(out, QStringLiteral("szamok"), {track.CIM, track.IDO, track.MERET, track.BITRATA, track.KOD},
                 skipped ? QStringLiteral("catalogued, left out") : QString());
            rows += skipped ? 0 : 1;
        }
    }
    for (const media::CompilationTrack& t : reading.compilationTracks)
        line(out, QStringLiteral("Valogatasok"), {t.ELOADO, t.ALBUM, t.IDO, t.BITRATA, t.MERET, t.KOD});
    for (const media::DvdFilm& f : reading.dvdFilms)
        line(out, QStringLiteral("DVD_Filmek"),
             {f.CIM, f.EREDETI_CIM, f.Nyelv, f.Felirat, f.db_DVD, f.Hossz, f.Stilus});
    for (const media::Film& f : reading.films)
        line(out, QStringLiteral("Filmek_videoklippek"),
             {f.CIM, f.MEGJEGYZES, f.Nyelv, f.Felbontas, f.MERET, f.Hossz, f.Stilus, f.Video, f.Hang});
    for (const media::Game& g : reading.games)
        line(out, QStringLiteral("games"), {g.NEV, g.Megjegyzes, g.MERET, g.KOD});
    for (const media::Program& p : reading.programs)
        line(out, QStringLiteral("progs_other"), {p.Programok, p.Megjegyzes, p.MERET, p.KOD});
    return rows + int(reading.compilationTracks.size() + reading.dvdFilms.size() + reading.films.size() +
                      reading.games.size() + reading.programs.size());
}

} // namespace

int scanCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const std::optional<media::Kind> kind = kindNamed(parsed->value(QStringLiteral("--kind"), QStringLiteral("music")));
    if (!kind) {
        streams.err << "mediatar-catalogue scan: --kind: '" << parsed->value(QStringLiteral("--kind"))
                    << "' is none of music, films, dvd, games, programs\n";
        return 2;
    }
    const QStringList paths = parsed->positional.mid(0, parsed->positional.size() - 1);
    const QString target = parsed->positional.last();
    for (const QString& path : paths) {
        if (!QFileInfo::exists(path)) {
            streams.err << "mediatar-catalogue scan: " << path << ": no such file or folder\n";
            return 1;
        }
    }

    // The catalogue is opened as the program opens it, before the media are read: a wrong name is told at once.
    catalogue::QueryChannel channel(QStringLiteral("scan"));
    try {
        channel.pointAt(target);
        channel.connect();
        if (!parsed->has(QStringLiteral("--dry-run")) && channel.readOnly())
            throw platform::Failure(engine::readOnlyMessage());

        media::Reading reading = media::readMedia(paths, *kind);
        media::setMediumCode(reading, parsed->value(QStringLiteral("--kod")));
        for (const media::UnreadFile& file : reading.unread)
            streams.err << "not read: " << QDir::toNativeSeparators(file.path) << ": " << file.reason << "\n";
        const int rows = printRows(streams.out, reading, media::heldAlbums(channel, reading.albums));
        if (parsed->has(QStringLiteral("--dry-run"))) {
            streams.out << rows << " rows would be added to " << channel.shownName() << " (nothing written)\n";
            return 0;
        }
        // What the transaction wrote: another program may have added an album since the rows were printed.
        const media::Recorded recorded = rows > 0 ? media::recordReading(channel, reading) : media::Recorded();
        streams.out << recorded.albums + recorded.tracks + recorded.otherRows << " rows added to "
                    << channel.shownName() << "\n";
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue scan: " << failure.text() << "\n";
        streams.err << "nothing was added\n";
        return 1;
    }
    return 0;
}

} // namespace catalogue_tool
