#include "store/categories.h"

namespace store {

const QString rowIdentityColumn = QStringLiteral("row_identity");
const QString trackGridName = QStringLiteral("DBGrid2");

const std::vector<Category>& categories()
{
    static const std::vector<Category> table = {
        {0, "Mp3_Albumok", "Mp3 Albumok", 113, "eloado", "DBGrid1", "album_nincs_adat",
         {{"Eloado", 124, 150}, {"album", 125, 200}},
         "SELECT eloado, album FROM eloado", " ORDER BY eloado.ELOADO, eloado.album",
         " ORDER BY eloado.ELOADO, eloado.album",
         {{"Előadó", "ELOADO"}, {"Album", "ALBUM"}}},
        {1, "Mp3_valogatasok", "Mp3 válogatások", 114, "Valogatasok", "DBGrid3", "valogatas_nincs_adat",
         {{"ELOADO", 124, 300}, {"ALBUM", 125, 200}, {"IDO", 127, 50}, {"BITRATA", 129, 50}, {"MERET", 128, 60},
          {"KOD", 130, 30}},
         "SELECT * FROM Valogatasok", " ORDER BY ELOADO", " ORDER BY valogatasok.ELOADO",
         {{"Előadó", "ELOADO"}, {"Album", "ALBUM"}, {"Idő", "IDO"}, {"Bitráta", "BITRATA"}, {"Méret", "MERET"},
          {"Kód", "KOD"}}},
        {2, "DVD_movies", "DVD Filmek", 115, "DVD_Filmek", "DBGrid4", "dvd_nincs_adat",
         {{"CIM", 126, 300}, {"EREDETI_CIM", 131, 300}, {"Nyelv", 132, 150}, {"Felirat", 133, 100},
          {"db_DVD", 134, 40}, {"Hossz", 135, 50}, {"Stilus", 136, 60}},
         "SELECT * FROM DVD_Filmek", " ORDER BY CIM", " ORDER BY DVD_Filmek.CIM",
         {{"Cím", "CIM"}, {"Eredeti cím", "EREDETI_CIM"}, {"Nyelv", "Nyelv"}, {"Felirat", "Felirat"},
          {"db DVD", "db_DVD"}, {"Hossz", "Hossz"}, {"Stílus", "Stilus"}}},
        {3, "Movies", "Filmek és videoklipek", 116, "Filmek_videoklippek", "DBGrid5", "videoklip_nincs_adat",
         {{"CIM", 126, 200}, {"MEGJEGYZES", 138, 200}, {"Nyelv", 132, 70}, {"Felbontas", 142, 50},
          {"MERET", 128, 70}, {"Hossz", 135, 50}, {"Stilus", 136, 70}, {"Video", 140, 50}, {"Hang", 141, 50}},
         "SELECT * FROM Filmek_videoklippek", " ORDER BY CIM", " ORDER BY Filmek_videoklippek.CIM",
         {{"Cím", "CIM"}, {"Megjegyzés", "MEGJEGYZES"}, {"Nyelv", "Nyelv"}, {"Felbontás", "Felbontas"},
          {"Méret", "MERET"}, {"Hossz", "Hossz"}, {"Stílus", "Stilus"}, {"Video", "Video"}, {"Hang", "Hang"}}},
        {4, "Games", "Játékok", 117, "games", "DBGrid6", "games_nincs_adat",
         {{"NEV", 139, 250}, {"Megjegyzes", 138, 100}, {"MERET", 128, 60}, {"KOD", 130, 80}},
         "SELECT * FROM games", " ORDER BY NEV", " ORDER BY games.NEV",
         {{"Játék neve", "NEV"}, {"Megjegyzés", "Megjegyzes"}, {"Méret", "MERET "}, {"Kód", "KOD"}}},
        {5, "Progs_others", "Programok és egyéb dolgok", 118, "progs_other", "DBGrid7", "progs_nincs_adat",
         {{"Programok", 137, 200}, {"Megjegyzes", 138, 250}, {"MERET", 128, 60}, {"KOD", 130, 40}},
         "SELECT * FROM progs_other", " ORDER BY Programok", " ORDER BY progs_other.Programok",
         {{"Programok", "Programok"}, {"Megjegyzés", "Megjegyzes"}, {"Méret", "MERET "}, {"Kód", "KOD"}}},
        {6, "TabSheet1", "VHS", 119, "", "DBGrid8", "vhs_nincs_adat",
         {{"CIM", 126, 0}, {"EREDETI_CIM", 131, 0}, {"HANG", 141, 0}, {"HOSSZ", 135, 0}, {"KOD", 130, 0}},
         "", "", "", {}},
        {7, "TabSheet2", "könyv", 120, "", "DBGrid9", "books_nincs_adat", {}, "", "", "", {}},
    };
    return table;
}

const Category& category(int tab)
{
    return categories().at(static_cast<std::size_t>(tab));
}

Statement Category::select() const
{
    // "SELECT eloado, album FROM eloado" / "SELECT * FROM games": the identity goes first in the select list.
    const QString identity = tab == 0 ? QStringLiteral("kod") : QStringLiteral("rowid");
    Statement statement;
    statement.fixed(QStringLiteral("SELECT "));
    statement.sqlOnly(identity + QStringLiteral(" AS ") + rowIdentityColumn + QStringLiteral(", "));
    statement.fixed(selectText.mid(7));
    return statement;
}

Statement Category::browseStatement() const
{
    return select().fixed(browseOrder);
}

Statement Category::searchStatement(const QString& column, const QString& text, bool containment) const
{
    // The text goes in as typed: % and _ keep their meaning in the pattern, a quote is only a character.
    return select()
        .fixed(QStringLiteral(" where ") + column + QStringLiteral(" like "))
        .pattern(containment ? QStringLiteral("%") : QString(), text, QStringLiteral("%"))
        .fixed(searchOrder);
}

QString Category::searchColumnFor(const QString& caption) const
{
    for (const SearchCaption& entry : searchCaptions) {
        if (entry.caption == caption)
            return entry.column;
    }
    return QString();
}

const std::vector<GridColumn>& trackColumns()
{
    static const std::vector<GridColumn> columns = {
        {"CIM", 126, 200}, {"IDO", 127, 50}, {"MERET", 128, 60}, {"BITRATA", 129, 50}, {"KOD", 130, 30}};
    return columns;
}

Statement trackListStatement(const QString& artist, const QString& album, const QVariant& albumKey)
{
    Statement statement;
    statement.fixed(QStringLiteral("SELECT "))
        .sqlOnly(QStringLiteral("szamok.rowid AS ") + rowIdentityColumn + QStringLiteral(", "))
        .fixed(QStringLiteral("szamok.CIM, szamok.IDO, szamok.MERET, szamok.BITRATA, szamok.KOD FROM eloado INNER "
                              "JOIN szamok ON eloado.kod = szamok.eloado_azonosito where ("));
    if (albumKey.isNull()) {
        statement.fixed(QStringLiteral("(eloado=")).quoted(artist).fixed(QStringLiteral(") and (album="));
        return statement.quoted(album).fixed(QStringLiteral(")) order by cim"));
    }
    // The clicked album's own key picks its tracks, so two albums that share artist and title never show each
    // other's tracks, and an album with a missing (null) artist or title still lists its own.
    return statement.piece(QStringLiteral("(eloado="), QStringLiteral("(ifnull(eloado, '')="))
        .quoted(artist)
        .piece(QStringLiteral(") and (album="), QStringLiteral(") and (ifnull(album, '')="))
        .quoted(album)
        .fixed(QStringLiteral(")) "))
        .sqlOnly(QStringLiteral("and eloado.kod = ? "), {albumKey})
        .fixed(QStringLiteral("order by cim"));
}
} // namespace store
