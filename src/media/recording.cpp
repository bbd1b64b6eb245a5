// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/recording.h"

#include "entry_dialog/record_statements.h"
#include "media/album_match.h"
#include "platform/failure.h"
#include "catalogue/query_channel.h"
#include "engine/write_transaction.h"

#include <QHash>
#include <QPair>
#include <QSet>

namespace media {

namespace {

// The album rows by artist and title as the search compares them; of equal ones the oldest.
QHash<QPair<QString, QString>, qint64> cataloguedAlbums(catalogue::QueryChannel& channel)
{
    // The search's comparison folds case in ways an index on the stored text cannot serve, so the albums are
    // compared here, each folded once: a catalogue holds some thousands of album rows, a moment's reading.
    QHash<QPair<QString, QString>, qint64> albums;
    for (const QVariantList& row :
         channel.fetch(engine::Statement(QStringLiteral("SELECT kod, ELOADO, ALBUM FROM eloado ORDER BY kod")))) {
        const QPair<QString, QString> key{matchKey(row.value(1).toString()), matchKey(row.value(2).toString())};
        if (!albums.contains(key))
            albums.insert(key, row.value(0).toLongLong());
    }
    return albums;
}

QList<bool> heldTracksOf(catalogue::QueryChannel& channel, qint64 key, const QList<Track>& tracks)
{
    const std::vector<QVariantList> held = channel.fetch(
        engine::Statement().sqlOnly(QStringLiteral("SELECT CIM, IDO FROM szamok WHERE eloado_azonosito = ?"), {key}));
    QList<bool> result;
    for (const Track& track : tracks) {
        bool found = false;
        for (const QVariantList& row : held)
            found = found || sameTrack(track.CIM, track.IDO, row.value(0).toString(), row.value(1).toString());
        result << found;
    }
    return result;
}

void run(catalogue::QueryChannel& channel, const engine::Statement& statement)
{
    channel.setStatement(statement);
    channel.execute();
}

// Writes the album row as the entry dialog does and gives its key as the catalogue holds it.
QString insertAlbum(catalogue::QueryChannel& channel, const Album& album)
{
    run(channel, record_sql::albumInsert(album.ELOADO, album.ALBUM));
    const qint64 inserted = channel.lastInsertedKey();
    const std::vector<QVariantList> found =
        channel.fetch(record_sql::albumKeyQuery(album.ELOADO, album.ALBUM, inserted));
    if (found.empty() || found.front().isEmpty())
        // The tracks would otherwise be filed under no album, out of reach of every list.
        throw platform::Failure(
            QStringLiteral("A(z) „%1 – %2” album sora nem található a rögzítés után.").arg(album.ELOADO, album.ALBUM));
    return found.front().front().toString();
}

} // namespace

QList<HeldAlbum> heldAlbums(catalogue::QueryChannel& channel, const QList<Album>& albums)
{
    QList<HeldAlbum> result;
    if (albums.isEmpty())
        return result;
    const QHash<QPair<QString, QString>, qint64> catalogued = cataloguedAlbums(channel);
    for (const Album& album : albums) {
        HeldAlbum held;
        held.key = catalogued.value({matchKey(album.ELOADO), matchKey(album.ALBUM)}, -1);
        if (held.held())
            held.heldTracks = heldTracksOf(channel, held.key, album.tracks);
        else
            held.heldTracks = QList<bool>(album.tracks.size(), false);
        result << held;
    }
    return result;
}

QList<bool> heldTitles(catalogue::QueryChannel& channel, Kind kind, const QStringList& titles)
{
    QString query;
    switch (kind) {
    case Kind::Films:
        query = QStringLiteral("SELECT CIM FROM Filmek_videoklippek");
        break;
    case Kind::DvdFilms:
        query = QStringLiteral("SELECT CIM FROM DVD_Filmek");
        break;
    case Kind::Games:
        query = QStringLiteral("SELECT NEV FROM games");
        break;
    case Kind::Programs:
        query = QStringLiteral("SELECT Programok FROM progs_other");
        break;
    case Kind::Music:
        return QList<bool>(titles.size(), false);
    }
    QSet<QString> held;
    for (const QVariantList& row : channel.fetch(engine::Statement(query)))
        held.insert(matchKey(row.value(0).toString()));
    QList<bool> result;
    for (const QString& title : titles)
        result << held.contains(matchKey(title));
    return result;
}

void setMediumCode(Reading& reading, const QString& code)
{
    for (Album& album : reading.albums)
        for (Track& track : album.tracks)
            track.KOD = code;
    for (CompilationTrack& track : reading.compilationTracks)
        track.KOD = code;
    for (Game& game : reading.games)
        game.KOD = code;
    for (Program& program : reading.programs)
        program.KOD = code;
}

Recorded recordReading(catalogue::QueryChannel& channel, const Reading& reading)
{
    Recorded recorded;
    // The look-up runs inside the transaction, so that another writer cannot add the same album between the
    // look-up and the insert.
    engine::WriteTransaction transaction(channel);
    const QList<HeldAlbum> held = heldAlbums(channel, reading.albums);
    QHash<QPair<QString, QString>, QString> written; // the album rows this recording wrote, by their match
    for (qsizetype i = 0; i < reading.albums.size(); ++i) {
        const Album& album = reading.albums.at(i);
        QList<Track> tracks;
        for (qsizetype t = 0; t < album.tracks.size(); ++t) {
            if (held.at(i).heldTracks.at(t))
                ++recorded.heldTracks;
            else
                tracks << album.tracks.at(t);
        }
        if (tracks.isEmpty())
            continue;
        // Two albums of the reading that the search takes for one (tags that differ in letter case only) are
        // one album row, as they would be had they been recorded one after the other.
        const QPair<QString, QString> match{matchKey(album.ELOADO), matchKey(album.ALBUM)};
        QString key = held.at(i).held() ? QString::number(held.at(i).key) : written.value(match);
        if (key.isEmpty()) {
            key = insertAlbum(channel, album);
            written.insert(match, key);
            ++recorded.albums;
        }
        for (const Track& track : tracks) {
            run(channel, record_sql::trackInsert({track.CIM, track.IDO, track.MERET, track.BITRATA, track.KOD}, key));
            ++recorded.tracks;
        }
    }
    // A compilation's track the catalogue holds (the same artist and title, as the search compares them, and the
    // same length on the same compilation) is not added twice: a disc read again adds only what is new.
    QHash<QString, QSet<QPair<QString, QString>>> heldOnCompilation;
    int compilationRows = 0;
    for (const CompilationTrack& track : reading.compilationTracks) {
        if (!heldOnCompilation.contains(track.ALBUM)) {
            engine::Statement rows(QStringLiteral("select ELOADO, IDO from Valogatasok where ("));
            rows.compared(QStringLiteral("Valogatasok.ALBUM"), QStringLiteral(" = "), track.ALBUM).fixed(")");
            QSet<QPair<QString, QString>>& held = heldOnCompilation[track.ALBUM];
            for (const QVariantList& row : channel.fetch(rows))
                held.insert({matchKey(row.value(0).toString()), row.value(1).toString()});
        }
        QSet<QPair<QString, QString>>& held = heldOnCompilation[track.ALBUM];
        const QPair<QString, QString> match{matchKey(track.ELOADO), track.IDO};
        if (held.contains(match)) {
            ++recorded.heldTracks;
            continue;
        }
        held.insert(match);
        run(channel, record_sql::compilationInsert(
                         {track.ELOADO, track.ALBUM, track.IDO, track.BITRATA, track.MERET, track.KOD}));
        ++compilationRows;
    }
    for (const DvdFilm& film : reading.dvdFilms)
        run(channel, record_sql::dvdInsert(
                         {film.CIM, film.EREDETI_CIM, film.Nyelv, film.Felirat, film.db_DVD, film.Hossz, film.Stilus}));
    for (const Film& film : reading.films)
        run(channel, record_sql::clipInsert({film.CIM, film.MEGJEGYZES, film.Nyelv, film.Felbontas, film.MERET,
                                             film.Hossz, film.Stilus, film.Video, film.Hang}));
    for (const Game& game : reading.games)
        run(channel, record_sql::gameInsert({game.NEV, game.Megjegyzes, game.MERET, game.KOD}));
    for (const Program& program : reading.programs)
        run(channel, record_sql::programInsert({program.Programok, program.Megjegyzes, program.MERET, program.KOD}));
    recorded.otherRows = int(compilationRows + reading.dvdFilms.size() + reading.films.size() + reading.games.size() +
                             reading.programs.size());
    transaction.commit();
    return recorded;
}

} // namespace media
