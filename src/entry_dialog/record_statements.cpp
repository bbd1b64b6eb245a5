#include "entry_dialog/record_statements.h"

namespace record_sql {

store::Statement sequence(std::initializer_list<std::pair<const char*, QString>> pieces, const char* tail)
{
    store::Statement statement;
    for (const auto& [fixed, value] : pieces)
        statement.fixed(QString::fromUtf8(fixed)).quoted(value);
    statement.fixed(QString::fromUtf8(tail));
    return statement;
}

store::Statement& narrow(store::Statement& statement, const QVariant& identity, const QString& identityColumn)
{
    // Two rows may share the compared values; the identity keeps the change on the row that was opened.
    if (!identity.isNull())
        statement.sqlOnly(QStringLiteral(" and ") + identityColumn + QStringLiteral(" = ?"), {identity});
    return statement;
}

store::Statement albumInsert(const QString& artist, const QString& album)
{
    return sequence({{"insert into eloado (ELOADO, ALBUM) values (", artist}, {", ", album}}, ")");
}

store::Statement albumKeyQuery(const QString& artist, const QString& album, qint64 insertedKey)
{
    store::Statement query =
        sequence({{"select kod from eloado where (eloado.eloado = ", artist}, {") and (eloado.album = ", album}}, ")");
    return narrow(query, insertedKey, QStringLiteral("kod"));
}

store::Statement trackInsert(const Track& track, const QString& albumKey)
{
    return sequence({{"insert into szamok values (", track.title},
                     {", ", track.length},
                     {", ", track.size},
                     {", ", track.bitrate},
                     {", ", track.code},
                     {", ", albumKey}},
                    ")");
}

store::Statement albumUpdate(const QString& artist, const QString& album, const RowKey& old)
{
    store::Statement update = sequence({{"UPDATE eloado SET eloado= ", artist}, {" , album =", album}}, " where (");
    update.compared(QStringLiteral("eloado.eloado"), QStringLiteral(" = "), old.first)
        .fixed(QStringLiteral(") and ("))
        .compared(QStringLiteral("eloado.album"), QStringLiteral(" = "), old.second)
        .fixed(QStringLiteral(")"));
    return narrow(update, old.identity, QStringLiteral("kod"));
}

store::Statement trackUpdate(const Track& track, const RowKey& old)
{
    store::Statement update = sequence({{"UPDATE szamok SET cim=", track.title},
                                        {", ido=", track.length},
                                        {", meret=", track.size},
                                        {", bitrata=", track.bitrate},
                                        {", kod=", track.code}},
                                       " where (");
    update.compared(QStringLiteral("szamok.cim"), QStringLiteral("="), old.first)
        .fixed(QStringLiteral(") and ("))
        .compared(QStringLiteral("szamok.meret"), QStringLiteral("="), old.second)
        .fixed(QStringLiteral(")"));
    return narrow(update, old.identity);
}

store::Statement compilationInsert(const Compilation& row)
{
    return sequence({{"insert into Valogatasok values (", row.artistAndTitle},
                     {", ", row.album},
                     {", ", row.length},
                     {", ", row.bitrate},
                     {", ", row.size},
                     {", ", row.code}},
                    ")");
}

store::Statement compilationUpdate(const Compilation& row, const RowKey& old)
{
    store::Statement update = sequence({{"UPDATE valogatasok SET eloado=", row.artistAndTitle},
                                        {", album=", row.album},
                                        {", ido=", row.length},
                                        {", bitrata=", row.bitrate},
                                        {", meret=", row.size},
                                        {", kod=", row.code}},
                                       " where (");
    update.compared(QStringLiteral("valogatasok.eloado"), QStringLiteral("="), old.first)
        .fixed(QStringLiteral(") and ("))
        .compared(QStringLiteral("valogatasok.meret"), QStringLiteral("="), old.second)
        .fixed(QStringLiteral(")"));
    return narrow(update, old.identity);
}

store::Statement dvdInsert(const Dvd& row)
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

store::Statement dvdUpdate(const Dvd& row, const RowKey& old)
{
    store::Statement update = sequence({{"UPDATE dvd_filmek SET cim=", row.title},
                                        {", eredeti_cim=", row.originalTitle},
                                        {", nyelv=", row.soundTracks},
                                        {", felirat=", row.subtitles},
                                        {", db_dvd=", row.discs},
                                        {", hossz=", row.length},
                                        {", stilus=", row.style}},
                                       " where (");
    update.compared(QStringLiteral("DVD_Filmek.cim"), QStringLiteral("="), old.first)
        .fixed(QStringLiteral(" and "))
        .compared(QStringLiteral("DVD_Filmek.hossz"), QStringLiteral("="), old.second)
        .fixed(QStringLiteral(")"));
    return narrow(update, old.identity);
}

store::Statement clipInsert(const Clip& row)
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

store::Statement clipUpdate(const Clip& row, const RowKey& old)
{
    store::Statement update = sequence({{"UPDATE Filmek_videoklippek SET cim=", row.title},
                                        {", megjegyzes=", row.description},
                                        {", nyelv=", row.language},
                                        {", felbontas=", row.resolution},
                                        {", meret=", row.size},
                                        {", hossz=", row.length},
                                        {", stilus=", row.style},
                                        {", video=", row.video},
                                        {", hang=", row.sound}},
                                       " where (");
    update.compared(QStringLiteral("Filmek_videoklippek.cim"), QStringLiteral("="), old.first)
        .fixed(QStringLiteral(" and "))
        .compared(QStringLiteral("Filmek_videoklippek.MEGJEGYZES"), QStringLiteral("="), old.second)
        .fixed(QStringLiteral(")"));
    return narrow(update, old.identity);
}

store::Statement gameInsert(const Item& row)
{
    // Bare commas between the values here.
    return sequence({{"insert into games values (", row.name}, {",", row.note}, {",", row.size}, {",", row.code}}, ")");
}

store::Statement gameUpdate(const Item& row, const RowKey& old)
{
    store::Statement update = sequence({{"UPDATE games SET nev=", row.name},
                                        {", megjegyzes=", row.note},
                                        {", meret=", row.size},
                                        {", kod=", row.code}},
                                       " where (");
    update.compared(QStringLiteral("games.nev"), QStringLiteral("="), old.first)
        .fixed(QStringLiteral(" and "))
        .compared(QStringLiteral("games.meret"), QStringLiteral("="), old.second)
        .fixed(QStringLiteral(")"));
    return narrow(update, old.identity);
}

store::Statement programInsert(const Item& row)
{
    return sequence(
        {{"insert into progs_other values (", row.name}, {", ", row.note}, {", ", row.size}, {", ", row.code}}, ")");
}

store::Statement programUpdate(const Item& row, const RowKey& old)
{
    store::Statement update = sequence({{"UPDATE progs_other SET programok=", row.name},
                                        {", megjegyzes=", row.note},
                                        {", meret=", row.size},
                                        {", kod=", row.code}},
                                       " where (");
    update.compared(QStringLiteral("progs_other.programok"), QStringLiteral("="), old.first)
        .fixed(QStringLiteral(" and "))
        .compared(QStringLiteral("progs_other.meret"), QStringLiteral("="), old.second)
        .fixed(QStringLiteral(")"));
    return narrow(update, old.identity);
}

} // namespace record_sql
