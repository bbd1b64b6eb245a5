// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/record_statements.h"

namespace record_sql {

engine::Statement sequence(std::initializer_list<std::pair<const char*, QString>> pieces, const char* tail)
{
    engine::Statement statement;
    for (const auto& [fixed, value] : pieces)
        statement.fixed(QString::fromUtf8(fixed)).quoted(value);
    statement.fixed(QString::fromUtf8(tail));
    return statement;
}

engine::Statement& narrow(engine::Statement& statement, const QVariant& identity, const QString& identityColumn)
{
    // Two rows may share the compared values; the identity keeps the change on the row that was opened.
    if (!identity.isNull())
        statement.sqlOnly(QStringLiteral(" and ") + identityColumn + QStringLiteral(" = ?"), {identity});
    return statement;
}

engine::Statement& guard(engine::Statement& statement, const RowKey& old)
{
    // Another window or program may have changed the row since the edit opened it; such a row is not found,
    // so that nothing it holds now is overwritten with what this edit showed.
    for (const auto& [column, value] : old.seen)
        statement.sqlOnly(QStringLiteral(" and ifnull(") + column + QStringLiteral(", '') = ?"),
                          {value.isNull() ? QStringLiteral("") : value});
    return statement;
}

namespace {

// One column an update sets: the fixed text before its value, the column, and the value.
struct Assignment
{
    const char* fixed;
    const char* column;
    QString value;
};

engine::Statement assignments(std::initializer_list<Assignment> pieces, const KeptColumns& kept, const char* tail)
{
    engine::Statement statement;
    for (const Assignment& assignment : pieces) {
        statement.fixed(QString::fromUtf8(assignment.fixed));
        const QString column = QString::fromLatin1(assignment.column);
        if (kept.contains(column, Qt::CaseInsensitive))
            // Left alone by the user: the column is set to itself, so a NULL or any stored text stays as it is.
            statement.piece(QLatin1Char('"') + assignment.value + QLatin1Char('"'), column);
        else
            statement.quoted(assignment.value);
    }
    statement.fixed(QString::fromUtf8(tail));
    return statement;
}

// The row an update reaches: its two compared values (the written-out form), its identity and what it held.
engine::Statement& whereRow(engine::Statement& update, const QString& firstColumn, const QString& equals,
                            const QString& between, const QString& secondColumn, const RowKey& old,
                            const QString& identityColumn = QStringLiteral("rowid"))
{
    update.compared(firstColumn, equals, old.first)
        .fixed(between)
        .compared(secondColumn, equals, old.second)
        .fixed(QStringLiteral(")"));
    narrow(update, old.identity, identityColumn);
    return guard(update, old);
}

} // namespace

engine::Statement albumInsert(const QString& artist, const QString& album)
{
    return sequence({{"insert into eloado (ELOADO, ALBUM) values (", artist}, {", ", album}}, ")");
}

engine::Statement heldAlbumQuery(const QString& artist, const QString& album)
{
    // Blanks typed or stored around a name do not make another album; letter case and accents do, as a
    // collector may keep "Live" and "LIVE" apart. Of several such rows the oldest takes the track, so that
    // every track typed for the album goes to the same row.
    return sequence({{"select kod from eloado where (trim(eloado.eloado) = trim(", artist},
                     {")) and (trim(eloado.album) = trim(", album}},
                    ")) order by kod limit 1");
}

engine::Statement albumKeyQuery(const QString& artist, const QString& album, qint64 insertedKey)
{
    engine::Statement query =
        sequence({{"select kod from eloado where (eloado.eloado = ", artist}, {") and (eloado.album = ", album}}, ")");
    return narrow(query, insertedKey, QStringLiteral("kod"));
}

engine::Statement trackInsert(const Track& track, const QString& albumKey)
{
    return sequence({{"insert into szamok values (", track.title},
                     {", ", track.length},
                     {", ", track.size},
                     {", ", track.bitrate},
                     {", ", track.code},
                     {", ", albumKey}},
                    ")");
}

engine::Statement albumUpdate(const QString& artist, const QString& album, const RowKey& old, const KeptColumns& kept)
{
    engine::Statement update = assignments(
        {{"UPDATE eloado SET eloado= ", "eloado", artist}, {" , album =", "album", album}}, kept, " where (");
    return whereRow(update, QStringLiteral("eloado.eloado"), QStringLiteral(" = "), QStringLiteral(") and ("),
                    QStringLiteral("eloado.album"), old, QStringLiteral("kod"));
}

engine::Statement trackUpdate(const Track& track, const RowKey& old, const KeptColumns& kept)
{
    engine::Statement update = assignments({{"UPDATE szamok SET cim=", "cim", track.title},
                                            {", ido=", "ido", track.length},
                                            {", meret=", "meret", track.size},
                                            {", bitrata=", "bitrata", track.bitrate},
                                            {", kod=", "kod", track.code}},
                                           kept, " where (");
    return whereRow(update, QStringLiteral("szamok.cim"), QStringLiteral("="), QStringLiteral(") and ("),
                    QStringLiteral("szamok.meret"), old);
}

engine::Statement compilationInsert(const Compilation& row)
{
    return sequence({{"insert into Valogatasok values (", row.artistAndTitle},
                     {", ", row.album},
                     {", ", row.length},
                     {", ", row.bitrate},
                     {", ", row.size},
                     {", ", row.code}},
                    ")");
}

engine::Statement compilationUpdate(const Compilation& row, const RowKey& old, const KeptColumns& kept)
{
    engine::Statement update = assignments({{"UPDATE valogatasok SET eloado=", "eloado", row.artistAndTitle},
                                            {", album=", "album", row.album},
                                            {", ido=", "ido", row.length},
                                            {", bitrata=", "bitrata", row.bitrate},
                                            {", meret=", "meret", row.size},
                                            {", kod=", "kod", row.code}},
                                           kept, " where (");
    return whereRow(update, QStringLiteral("valogatasok.eloado"), QStringLiteral("="), QStringLiteral(") and ("),
                    QStringLiteral("valogatasok.meret"), old);
}

engine::Statement dvdInsert(const Dvd& row)
{
    return sequence({{"insert into dvd_filmek values (", row.title},
                     {", ", row.originalTitle},
                     {", ", row.soundTracks},
                     {", ", row.subtitles},
                     {", ", row.discs},
                     {", ", row.length},
                     {", ", row.style}},
                    ")");
}

engine::Statement dvdUpdate(const Dvd& row, const RowKey& old, const KeptColumns& kept)
{
    engine::Statement update = assignments({{"UPDATE dvd_filmek SET cim=", "cim", row.title},
                                            {", eredeti_cim=", "eredeti_cim", row.originalTitle},
                                            {", nyelv=", "nyelv", row.soundTracks},
                                            {", felirat=", "felirat", row.subtitles},
                                            {", db_dvd=", "db_dvd", row.discs},
                                            {", hossz=", "hossz", row.length},
                                            {", stilus=", "stilus", row.style}},
                                           kept, " where (");
    return whereRow(update, QStringLiteral("DVD_Filmek.cim"), QStringLiteral("="), QStringLiteral(" and "),
                    QStringLiteral("DVD_Filmek.hossz"), old);
}

engine::Statement clipInsert(const Clip& row)
{
    // Three of the separators are a blank and a comma.
    return sequence({{"insert into Filmek_videoklippek values (", row.title},
                     {", ", row.description},
                     {", ", row.language},
                     {" ,", row.resolution},
                     {", ", row.size},
                     {" ,", row.length},
                     {" ,", row.style},
                     {", ", row.video},
                     {", ", row.sound}},
                    ")");
}

engine::Statement clipUpdate(const Clip& row, const RowKey& old, const KeptColumns& kept)
{
    engine::Statement update = assignments({{"UPDATE Filmek_videoklippek SET cim=", "cim", row.title},
                                            {", megjegyzes=", "megjegyzes", row.description},
                                            {", nyelv=", "nyelv", row.language},
                                            {", felbontas=", "felbontas", row.resolution},
                                            {", meret=", "meret", row.size},
                                            {", hossz=", "hossz", row.length},
                                            {", stilus=", "stilus", row.style},
                                            {", video=", "video", row.video},
                                            {", hang=", "hang", row.sound}},
                                           kept, " where (");
    return whereRow(update, QStringLiteral("Filmek_videoklippek.cim"), QStringLiteral("="), QStringLiteral(" and "),
                    QStringLiteral("Filmek_videoklippek.MEGJEGYZES"), old);
}

engine::Statement gameInsert(const Item& row)
{
    // Bare commas between the values here.
    return sequence({{"insert into games values (", row.name}, {",", row.note}, {",", row.size}, {",", row.code}}, ")");
}

engine::Statement gameUpdate(const Item& row, const RowKey& old, const KeptColumns& kept)
{
    engine::Statement update = assignments({{"UPDATE games SET nev=", "nev", row.name},
                                            {", megjegyzes=", "megjegyzes", row.note},
                                            {", meret=", "meret", row.size},
                                            {", kod=", "kod", row.code}},
                                           kept, " where (");
    return whereRow(update, QStringLiteral("games.nev"), QStringLiteral("="), QStringLiteral(" and "),
                    QStringLiteral("games.meret"), old);
}

engine::Statement programInsert(const Item& row)
{
    return sequence(
        {{"insert into progs_other values (", row.name}, {", ", row.note}, {", ", row.size}, {", ", row.code}}, ")");
}

engine::Statement programUpdate(const Item& row, const RowKey& old, const KeptColumns& kept)
{
    engine::Statement update = assignments({{"UPDATE progs_other SET programok=", "programok", row.name},
                                            {", megjegyzes=", "megjegyzes", row.note},
                                            {", meret=", "meret", row.size},
                                            {", kod=", "kod", row.code}},
                                           kept, " where (");
    return whereRow(update, QStringLiteral("progs_other.programok"), QStringLiteral("="), QStringLiteral(" and "),
                    QStringLiteral("progs_other.meret"), old);
}

} // namespace record_sql
