#include "store/categories.h"
#include "store/hungarian.h"
#include "store/query_channel.h"
#include "support/catalogue_builder.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>

#include "support/qt_printing.h"

namespace {

using store::hungarian::compare;
using store::hungarian::like;

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
    store::QueryChannel channel;
};

TEST_F(CatalogueOrderTest, categoryListsComeInHungarianOrder)
{
    for (const QString& name : shuffled(alphabetical, 4))
        catalogue.insert(QStringLiteral("games"), {name, QString(), QStringLiteral("1 MB"), QStringLiteral("K")});
    channel.setStatement(store::category(4).browseStatement());
    channel.open();
    EXPECT_EQ(joined(column(QStringLiteral("NEV"))).toStdString(), joined(alphabetical).toStdString());
}

TEST_F(CatalogueOrderTest, albumsAreOrderedByArtistThenTitle)
{
    catalogue.addAlbum(QStringLiteral("Csaba"), QStringLiteral("Zsolt"));
    catalogue.addAlbum(QStringLiteral("Cukor"), QStringLiteral("Béke"));
    catalogue.addAlbum(QStringLiteral("Csaba"), QStringLiteral("Álom"));
    catalogue.addAlbum(QStringLiteral("Csaba"), QStringLiteral("alma"));
    channel.setStatement(store::category(0).browseStatement());
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
    channel.setStatement(store::trackListStatement(QStringLiteral("Omega"), QStringLiteral("Gyöngyhajú lány")));
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

TEST_F(CatalogueOrderTest, searchesIgnoreCaseThroughTheEngine)
{
    for (const char* name : {"Ötödik", "ötös", "Otthon", "Élet", "élet", "Elek", "Az ősz", "Zöld"})
        catalogue.insert(QStringLiteral("games"), {name, QString(), QString(), QString()});
    const store::Category& games = store::category(4);
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
    const store::Category& games = store::category(4);
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

} // namespace
