// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/categories.h"

#include "hungarian/hungarian.h"
#include "engine/tables.h"

#include <algorithm>

namespace engine {

const QString rowIdentityColumn = QStringLiteral("row_identity");
const QString trackGridName = QStringLiteral("DBGrid2");

const std::vector<Category>& categories()
{
    // clang-format off
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
    // clang-format on
    return table;
}

const Category& category(int tab)
{
    return categories().at(static_cast<std::size_t>(tab));
}

namespace {

// The album key on the albums tab, the table's own rowid elsewhere.
QString identityOf(const Category& category)
{
    return category.tab == 0 ? QStringLiteral("kod") : QStringLiteral("rowid");
}

QString keyOf(const QString& column)
{
    return QString::fromLatin1(hungarian::keyFunctionName) + QLatin1Char('(') + column + QLatin1Char(')');
}

// " ORDER BY a, b" as the engine runs it: the columns' Hungarian sort keys, then the columns themselves and the
// identity, so that rows with equal keys keep one order; the catalogue's order indexes hold exactly these.
QStringList orderColumns(const QString& orderText)
{
    QStringList columns = orderText.mid(orderText.indexOf(QStringLiteral("ORDER BY ")) + 9).split(QLatin1Char(','));
    for (QString& column : columns)
        column = column.trimmed();
    return columns;
}

ListPlan planFor(const Category& category, const QString& orderText)
{
    ListPlan plan;
    plan.table = category.table;
    plan.identity = identityOf(category);
    const int from = category.selectText.indexOf(QStringLiteral(" FROM "));
    plan.columns = plan.identity + QStringLiteral(" AS ") + rowIdentityColumn + QStringLiteral(", ") +
                   category.selectText.mid(7, from - 7);
    plan.orderColumns = orderColumns(orderText);
    return plan;
}

// " ORDER BY ..." as the engine runs it on the data: the columns' Hungarian sort keys, then the columns
// themselves and the identity, so that rows with equal keys keep one order.
QString orderSql(const ListPlan& plan)
{
    QStringList terms;
    for (const QString& column : plan.orderColumns)
        terms << keyOf(column);
    terms << plan.orderColumns << plan.identity;
    return QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
}

QString unqualified(const QString& column)
{
    return column.section(QLatin1Char('.'), -1).trimmed();
}

} // namespace

Statement Category::select() const
{
    // "SELECT eloado, album FROM eloado" / "SELECT * FROM games": the identity goes first in the select list.
    Statement statement;
    statement.fixed(QStringLiteral("SELECT "));
    statement.sqlOnly(identityOf(*this) + QStringLiteral(" AS ") + rowIdentityColumn + QStringLiteral(", "));
    statement.fixed(selectText.mid(7));
    return statement;
}

Statement Category::browseStatement() const
{
    const ListPlan plan = planFor(*this, browseOrder);
    return select().piece(browseOrder, orderSql(plan)).readAsList(plan);
}

Statement Category::searchStatement(const QString& column, const QString& text, bool containment) const
{
    // The text goes in as typed: % and _ keep their meaning in the pattern, a quote is only a character.
    const QString before = containment ? QStringLiteral("%") : QString();
    const QString after = QStringLiteral("%");
    ListPlan plan = planFor(*this, searchOrder);
    plan.filterColumn = column;
    plan.pattern = before + text + after;
    Statement statement = select();
    statement.fixed(QStringLiteral(" where "));
    // A search on the list's first order column reads only the stretch of the order that the typed start can
    // reach; the LIKE still decides every row. A column outside the order is searched by one pass over the
    // table.
    for (int i = 0; i < plan.orderColumns.size(); ++i) {
        if (unqualified(column).compare(unqualified(plan.orderColumns.at(i)), Qt::CaseInsensitive) == 0) {
            plan.filterOrderColumn = i;
            break;
        }
    }
    const auto range = hungarian::prefixRange(plan.pattern);
    if (range && plan.filterOrderColumn == 0) {
        plan.ranged = true;
        plan.lower = range->lower;
        plan.upper = range->upper;
        const QString key = keyOf(column.trimmed());
        statement.sqlOnly(key + QStringLiteral(" >= ? AND ") + key + QStringLiteral(" < ? AND "),
                          {range->lower, range->upper});
        const int typed = static_cast<int>(text.toUcs4().size());
        if (!containment && typed <= countedPrefixLength && !text.contains(QLatin1Char('%')) &&
            !text.contains(QLatin1Char('_')))
            plan.countedPrefix = hungarian::foldedPrefix(text, typed).value_or(QString());
    }
    statement.fixed(column + QStringLiteral(" like ")).pattern(before, text, after);
    return statement.piece(searchOrder, orderSql(plan)).readAsList(plan);
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

namespace {
// Tracks in Hungarian order of their titles.
QString trackOrder()
{
    return QStringLiteral("order by ") + keyOf(QStringLiteral("szamok.CIM")) +
           QStringLiteral(", szamok.CIM, szamok.rowid");
}
} // namespace

Statement trackListStatement(const QString& artist, const QString& album, const QVariant& albumKey)
{
    Statement statement;
    statement.fixed(QStringLiteral("SELECT "))
        .sqlOnly(QStringLiteral("szamok.rowid AS ") + rowIdentityColumn + QStringLiteral(", "))
        .fixed(QStringLiteral("szamok.CIM, szamok.IDO, szamok.MERET, szamok.BITRATA, szamok.KOD FROM eloado INNER "
                              "JOIN szamok ON eloado.kod = szamok.eloado_azonosito where ("));
    if (albumKey.isNull()) {
        statement.fixed(QStringLiteral("(eloado=")).quoted(artist).fixed(QStringLiteral(") and (album="));
        return statement.quoted(album).piece(QStringLiteral(")) order by cim"), QStringLiteral(")) ") + trackOrder());
    }
    // The clicked album's own key picks its tracks, so two albums that share artist and title never show each
    // other's tracks, and an album with a missing (null) artist or title still lists its own.
    return statement.piece(QStringLiteral("(eloado="), QStringLiteral("(ifnull(eloado, '')="))
        .quoted(artist)
        .piece(QStringLiteral(") and (album="), QStringLiteral(") and (ifnull(album, '')="))
        .quoted(album)
        .fixed(QStringLiteral(")) "))
        .sqlOnly(QStringLiteral("and eloado.kod = ? "), {albumKey})
        .piece(QStringLiteral("order by cim"), trackOrder());
}
} // namespace engine
