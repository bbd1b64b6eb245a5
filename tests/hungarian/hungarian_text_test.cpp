// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/categories.h"
#include "hungarian/hungarian.h"
#include "catalogue/query_channel.h"
#include "store/schema.h"
#include "support/catalogue_builder.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "support/qt_printing.h"
#include "store/hungarian_functions.h"

namespace {

using hungarian::compare;
using hungarian::like;

// The Hungarian alphabetical order of names that trip up byte order and naive collations: long vowels equal to
// short ones until the end, digraphs as letters (cs after c, dzs after dz), doubled digraphs (kassza), ö and ő
// as one letter after o, lower case before upper, blanks and digits before letters.
const QStringList alphabetical = {"2001: Űrodüsszeia",
                                  "ábécé",
                                  "Ada",
                                  "Áda",
                                  "ág",
                                  "alma",
                                  "Bartók",
                                  "Čapek",
                                  "Cukor",
                                  "Czuczor",
                                  "Csaba",
                                  "Csuka",
                                  "Dunai",
                                  "Dzéta",
                                  "Dzsungel",
                                  "Ede",
                                  "Gulyás",
                                  "Gyula",
                                  "kasza",
                                  "kassza",
                                  "kaszt",
                                  "Lukács",
                                  "Lyukas",
                                  "megy",
                                  "meggy",
                                  "Nulla",
                                  "Nyúl",
                                  "Orosz",
                                  "Ózd",
                                  "Öböl",
                                  "ősz",
                                  "öt",
                                  "Öt",
                                  "ötödik",
                                  "ÖTÖDIK",
                                  "Star Wars",
                                  "Stardust",
                                  "Sütő",
                                  "Szabó",
                                  "Szűcs",
                                  "Tóth",
                                  "Tyúk",
                                  "Ubul",
                                  "Úr",
                                  "Űr",
                                  "Üveg",
                                  "Zoltán",
                                  "Zsolt"};

QStringList shuffled(QStringList names, unsigned seed)
{
    std::mt19937 random(seed);
    std::shuffle(names.begin(), names.end(), random);
    return names;
}

QString joined(const QStringList& names)
{
    return names.join(QStringLiteral(" | "));
}

TEST(HungarianOrder, sortsTrickyNamesAlphabetically)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        QStringList names = shuffled(alphabetical, seed);
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return compare(a, b) < 0; });
        EXPECT_EQ(joined(names).toStdString(), joined(alphabetical).toStdString()) << "shuffle " << seed;
    }
}

TEST(HungarianOrder, onlyEqualTextsCompareEqual)
{
    EXPECT_EQ(compare(QStringLiteral("öt"), QStringLiteral("öt")), 0);
    EXPECT_LT(compare(QStringLiteral("öt"), QStringLiteral("Öt")), 0);
    EXPECT_GT(compare(QStringLiteral("Öt"), QStringLiteral("öt")), 0);
    // Decomposed ö (o and a combining mark) is another text than ö, though it looks the same.
    EXPECT_NE(compare(QStringLiteral("ö"), QStringLiteral("o\u0308")), 0);
    EXPECT_NE(compare(QByteArray("\xff\xfe").constData(), 2, "a", 1), 0);
}

class CatalogueOrderTest : public ::testing::Test
{
protected:
    CatalogueOrderTest() : catalogue(dir.path()), channel(QStringLiteral("order_test"))
    {
        channel.pointAt(catalogue.path());
    }

    QStringList column(const QString& name)
    {
        QStringList values;
        for (int row = 0; row < channel.recordCount(); ++row)
            values << channel.fieldText(row, name);
        return values;
    }

    QTemporaryDir dir;
    TestCatalogue catalogue;
    catalogue::QueryChannel channel;
};

TEST_F(CatalogueOrderTest, categoryListsComeInHungarianOrder)
{
    for (const QString& name : shuffled(alphabetical, 4))
        catalogue.insert(QStringLiteral("games"), {name, QString(), QStringLiteral("1 MB"), QStringLiteral("K")});
    channel.setStatement(engine::category(4).browseStatement());
    channel.open();
    EXPECT_EQ(joined(column(QStringLiteral("NEV"))).toStdString(), joined(alphabetical).toStdString());
}

TEST_F(CatalogueOrderTest, albumsAreOrderedByArtistThenTitle)
{
    catalogue.addAlbum(QStringLiteral("Csaba"), QStringLiteral("Zsolt"));
    catalogue.addAlbum(QStringLiteral("Cukor"), QStringLiteral("Béke"));
    catalogue.addAlbum(QStringLiteral("Csaba"), QStringLiteral("Álom"));
    catalogue.addAlbum(QStringLiteral("Csaba"), QStringLiteral("alma"));
    channel.setStatement(engine::category(0).browseStatement());
    channel.open();
    EXPECT_EQ(column(QStringLiteral("eloado")), QStringList({"Cukor", "Csaba", "Csaba", "Csaba"}));
    EXPECT_EQ(column(QStringLiteral("album")), QStringList({"Béke", "alma", "Álom", "Zsolt"}));
}

TEST_F(CatalogueOrderTest, albumTracksAreInHungarianOrder)
{
    const qint64 album = catalogue.addAlbum(QStringLiteral("Omega"), QStringLiteral("Gyöngyhajú lány"));
    for (const char* title : {"Zsuzsi", "Csillag", "Cukor", "ének", "Ének"})
        catalogue.addTrack(album, QString::fromUtf8(title), QStringLiteral("00:03:00"), QString(), QString(),
                           QString());
    channel.setStatement(engine::trackListStatement(QStringLiteral("Omega"), QStringLiteral("Gyöngyhajú lány")));
    channel.open();
    EXPECT_EQ(column(QStringLiteral("CIM")), QStringList({"Cukor", "Csillag", "ének", "Ének", "Zsuzsi"}));
}

TEST(HungarianLike, ignoresCaseOfEveryLetter)
{
    EXPECT_TRUE(like(QStringLiteral("ö%"), QStringLiteral("Ötödik")));
    EXPECT_TRUE(like(QStringLiteral("É%"), QStringLiteral("élet")));
    EXPECT_TRUE(like(QStringLiteral("%ŐSZ%"), QStringLiteral("Az ősz")));
    EXPECT_TRUE(like(QStringLiteral("árvíztűrő tükörfúrógép"), QStringLiteral("ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP")));
    EXPECT_TRUE(like(QStringLiteral("čapek%"), QStringLiteral("ČAPEK")));
    // Letters that fold to a plain one though they are written with more bytes: the Kelvin sign, the long s.
    EXPECT_TRUE(like(QStringLiteral("%kör%"), QStringLiteral("A \u212Aör")));
    EXPECT_TRUE(like(QStringLiteral("%S"), QStringLiteral("Ha\u017F")));
    // Case only: accents still count.
    EXPECT_FALSE(like(QStringLiteral("o%"), QStringLiteral("Ötödik")));
    EXPECT_FALSE(like(QStringLiteral("ő%"), QStringLiteral("öt")));
    EXPECT_FALSE(like(QStringLiteral("e%"), QStringLiteral("Élet")));
}

TEST(HungarianLike, wildcardsKeepTheirMeaning)
{
    EXPECT_TRUE(like(QStringLiteral("abc%"), QStringLiteral("ABCD")));
    EXPECT_FALSE(like(QStringLiteral("abc%"), QStringLiteral("xabc")));
    EXPECT_TRUE(like(QStringLiteral("%abc%"), QStringLiteral("xabc")));
    EXPECT_TRUE(like(QStringLiteral("_t"), QStringLiteral("öt")));   // one letter, however many bytes
    EXPECT_FALSE(like(QStringLiteral("_t"), QStringLiteral("őzt"))); // but only one
    EXPECT_TRUE(like(QStringLiteral("a%b%c"), QStringLiteral("AxxBxxC")));
    EXPECT_FALSE(like(QStringLiteral("a%b%c"), QStringLiteral("AxxCxxB")));
    EXPECT_TRUE(like(QStringLiteral("700 %"), QStringLiteral("700 MB")));
    EXPECT_FALSE(like(QStringLiteral("700 %"), QStringLiteral("700MB"))); // a trailing blank is part of it
    EXPECT_TRUE(like(QStringLiteral("10\\%%"), QStringLiteral("10% kedvezmény"), U'\\'));
    EXPECT_FALSE(like(QStringLiteral("10\\%%"), QStringLiteral("100 kedvezmény"), U'\\'));
    EXPECT_TRUE(like(QStringLiteral("%"), QString()));
}

// The plain definition of the case-blind LIKE, one character after the other with every way a % can stretch.
bool referenceLike(const std::u32string& pattern, std::size_t p, const std::u32string& text, std::size_t t)
{
    const auto folded = [](char32_t c) { return c > 0x10FFFF ? c : QChar::toCaseFolded(c); };
    if (p == pattern.size())
        return t == text.size();
    if (pattern[p] == U'%') {
        for (std::size_t k = t; k <= text.size(); ++k) {
            if (referenceLike(pattern, p + 1, text, k))
                return true;
        }
        return false;
    }
    if (t == text.size())
        return false;
    return (pattern[p] == U'_' || folded(pattern[p]) == folded(text[t])) && referenceLike(pattern, p + 1, text, t + 1);
}

// The engine's LIKE reads a text one character at a time and stops as soon as the pattern is decided; whatever
// the texts (accents, characters beyond the basic plane, malformed bytes), it must agree with the definition.
TEST(HungarianLike, agreesWithThePlainDefinitionOnRandomTexts)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_TRUE(store::installHungarian(db));
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT CAST(?2 AS TEXT) LIKE ?1", -1, &statement, nullptr), SQLITE_OK);
    // Pieces of text as UTF-8 bytes, with the code points they stand for and the other case's piece; a lone
    // continuation byte stands for itself.
    struct Piece
    {
        std::string bytes;
        std::u32string points;
        std::size_t otherCase;
    };
    const std::vector<Piece> pieces = {{"a", U"a", 1},
                                       {"A", U"A", 0},
                                       {"\xc3\xb6", U"ö", 3},
                                       {"\xc3\x96", U"Ö", 2},
                                       {"\xc5\x91", U"ő", 5},
                                       {"\xc5\x90", U"Ő", 4},
                                       {"\xf0\x9d\x84\x9e", U"\U0001D11E", 6},
                                       {" ", U" ", 7},
                                       {"\x80", {0x110080}, 8}};
    const std::size_t malformed = 8;
    std::mt19937 random(7);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const auto randomText = [&] {
        std::vector<std::size_t> text;
        for (std::size_t i = pick(8); i > 0; --i)
            text.push_back(pick(pieces.size()));
        return text;
    };
    int matched = 0;
    for (int round = 0; round < 100000; ++round) {
        const std::vector<std::size_t> text = randomText();
        std::string textBytes;
        std::u32string textPoints;
        for (std::size_t piece : text) {
            textBytes += pieces[piece].bytes;
            textPoints += pieces[piece].points;
        }
        // A pattern made from this text or another, its characters turned into wildcards or the other case
        // here and there, and a stray % put in: near misses as often as matches.
        std::string patternBytes;
        std::u32string pattern;
        const auto add = [&](const std::string& bytes, const std::u32string& points) {
            patternBytes += bytes;
            pattern += points;
        };
        for (std::size_t piece : round % 2 == 0 ? text : randomText()) {
            if (pick(6) == 0)
                add("%", U"%");
            const std::size_t change = pick(10);
            if (change < 2)
                add("_", U"_");
            else if (change < 3)
                add("%", U"%");
            else if (piece != malformed) // a pattern is valid text
                add(pieces[change < 6 ? pieces[piece].otherCase : piece].bytes,
                    pieces[change < 6 ? pieces[piece].otherCase : piece].points);
        }
        if (pick(3) == 0)
            add("%", U"%");
        sqlite3_bind_text(statement, 1, patternBytes.data(), static_cast<int>(patternBytes.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(statement, 2, textBytes.data(), static_cast<int>(textBytes.size()), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
        const bool engine = sqlite3_column_int(statement, 0) != 0;
        sqlite3_reset(statement);
        const bool expected = referenceLike(pattern, 0, textPoints, 0);
        matched += expected ? 1 : 0;
        ASSERT_EQ(engine, expected) << "pattern " << patternBytes << ", text " << textBytes;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    // Both answers came up often enough for the comparison to mean something.
    EXPECT_GT(matched, 20000);
    EXPECT_LT(matched, 80000);
}

// The engine keeps a compiled pattern between rows; another pattern or another escape in the same statement
// must be compiled anew, and a wrong escape is the engine's error.
TEST(HungarianLike, theEnginesLikeFollowsEachRowsPatternAndEscape)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_TRUE(store::installHungarian(db));
    // Row 2: with # as the escape, ! is a character of its own and % a wildcard again.
    const char* rows = "CREATE TABLE t (id, pat, esc, text);"
                       "INSERT INTO t VALUES (1, '10!%%', '!', '10% kedvezmény'),"
                       "                     (2, '10!%%', '#', '10!x'),"
                       "                     (3, '10#%%', '#', '10% KEDVEZMÉNY'),"
                       "                     (4, '10#%%', '#', '100 kedvezmény'),"
                       "                     (5, 'öt%', '#', 'ÖTÖS'),"
                       "                     (6, 'öt%', '#', 'őt'),"
                       "                     (7, '%ŐSZ', '#', 'az ősz'),"
                       "                     (8, '%ŐSZ', '#', 'az ősz után');";
    ASSERT_EQ(sqlite3_exec(db, rows, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT group_concat(id) FROM (SELECT id FROM t WHERE text LIKE pat ESCAPE esc "
                                 "ORDER BY id)",
                                 -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "1,2,3,5,7");
    sqlite3_finalize(statement);
    // One pattern for the whole statement, kept compiled, and each row's own escape.
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT group_concat(id) FROM (SELECT id FROM t WHERE text LIKE '10!%%' ESCAPE esc "
                                 "ORDER BY id)",
                                 -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "1,2");
    sqlite3_finalize(statement);
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT 'a' LIKE 'a' ESCAPE 'ab'", -1, &statement, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_ERROR);
    EXPECT_STREQ(sqlite3_errmsg(db), "ESCAPE expression must be a single character");
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

TEST_F(CatalogueOrderTest, searchesIgnoreCaseThroughTheEngine)
{
    for (const char* name : {"Ötödik", "ötös", "Otthon", "Élet", "élet", "Elek", "Az ősz", "Zöld"})
        catalogue.insert(QStringLiteral("games"), {name, QString(), QString(), QString()});
    const engine::Category& games = engine::category(4);
    const auto found = [&](const QString& text, bool containment) {
        channel.setStatement(games.searchStatement(QStringLiteral("NEV"), text, containment));
        channel.open();
        return column(QStringLiteral("NEV"));
    };
    EXPECT_EQ(found(QStringLiteral("ö"), false), QStringList({"Ötödik", "ötös"}));
    EXPECT_EQ(found(QStringLiteral("É"), false), QStringList({"élet", "Élet"}));
    EXPECT_EQ(found(QStringLiteral("ö"), true), QStringList({"Ötödik", "ötös", "Zöld"}));
    EXPECT_EQ(found(QStringLiteral("ŐSZ"), true), QStringList({"Az ősz"}));
    EXPECT_EQ(found(QStringLiteral("_t"), false), QStringList({"Otthon", "Ötödik", "ötös"}));
}

// A prefix search reads only a stretch of the order index. Whatever the typed start (a digraph cut in half,
// a doubled digraph, capitals, accents, wildcards), it must find exactly what LIKE finds in the whole table.
TEST_F(CatalogueOrderTest, prefixSearchFindsExactlyWhatLikeFinds)
{
    QStringList names = alphabetical;
    names << "Cs"
          << "C"
          << "cz"
          << "Dz"
          << "dzsem"
          << "Kasszandra"
          << "kasszás"
          << "kaszinó"
          << "kas"
          << "Ssz"
          << "sz"
          << "s"
          << "Mennyi"
          << "Menny"
          << "meny"
          << "Gyöngy"
          << "ggy"
          << "Lyuk"
          << "lly"
          << "ty"
          << "tty"
          << "Zs"
          << "zzs"
          << "ÖTÖS"
          << "őz"
          << "öz"
          << "10% kedvezmény"
          << "100 kedvezmény"
          << "_x";
    for (const QString& name : names)
        catalogue.insert(QStringLiteral("games"), {name, QString(), QString(), QString()});
    QStringList typed;
    for (const QString& name : names) {
        for (int length = 1; length <= 4 && length <= name.size(); ++length) {
            typed << name.left(length) << name.left(length).toUpper() << name.left(length).toLower();
        }
    }
    typed << "k_s"
          << "c%s"
          << "%"
          << "_";
    typed.removeDuplicates();
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) { return compare(a, b) < 0; });
    const engine::Category& games = engine::category(4);
    for (const QString& text : typed) {
        QStringList expected;
        for (const QString& name : sorted) {
            if (like(text + QLatin1Char('%'), name))
                expected << name;
        }
        channel.setStatement(games.searchStatement(QStringLiteral("NEV"), text, false));
        channel.open();
        EXPECT_EQ(joined(column(QStringLiteral("NEV"))).toStdString(), joined(expected).toStdString())
            << "typed: " << text.toStdString();
    }
}

// Every tab's short prefix search on its first column is counted from the kept counts of that table and
// column; the other columns hold other starts, so counts kept for a wrong column would show.
TEST_F(CatalogueOrderTest, everyTabsShortPrefixSearchCountsWhatItShows)
{
    const QStringList names = {"Szél", "szoba", "Sárga", "sas", "Ötödik", "öt", "Csata", "Cukor", "s"};
    struct Tab
    {
        int index;
        const char* table;
        const char* column;
    };
    for (const Tab& tab :
         {Tab{0, "eloado", "ELOADO"}, Tab{1, "Valogatasok", "ELOADO"}, Tab{2, "DVD_Filmek", "CIM"},
          Tab{3, "Filmek_videoklippek", "CIM"}, Tab{4, "games", "NEV"}, Tab{5, "progs_other", "Programok"}}) {
        SCOPED_TRACE(tab.table);
        for (const QString& name : names) {
            if (tab.index == 0) {
                catalogue.addAlbum(name, QStringLiteral("Ötös szám"));
                continue;
            }
            const engine::TableDefinition& table =
                *std::find_if(engine::catalogueTables().begin(), engine::catalogueTables().end(),
                              [&](const engine::TableDefinition& t) { return t.name == QLatin1String(tab.table); });
            QVariantList values{name};
            while (values.size() < table.columns.size())
                values << QStringLiteral("Sz%1").arg(values.size());
            catalogue.insert(table.name, values);
        }
        for (const char* typed : {"s", "SZ", "Ötö", "cs", "sá", "x"}) {
            const QString text = QString::fromUtf8(typed);
            QStringList expected;
            for (const QString& name : names) {
                if (like(text + QLatin1Char('%'), name))
                    expected << name;
            }
            std::sort(expected.begin(), expected.end(),
                      [](const QString& a, const QString& b) { return compare(a, b) < 0; });
            channel.setStatement(engine::category(tab.index).searchStatement(QLatin1String(tab.column), text, false));
            channel.open();
            EXPECT_EQ(joined(column(QLatin1String(tab.column))).toStdString(), joined(expected).toStdString())
                << "typed: " << typed;
        }
    }
}

} // namespace
