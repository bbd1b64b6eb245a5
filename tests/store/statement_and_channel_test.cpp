// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"
#include "engine/categories.h"
#include "catalogue/query_channel.h"
#include "support/catalogue_builder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using engine::Statement;

TEST(StatementText, keepsTheWrittenFormWhileTheEngineGetsParameters)
{
    const Statement insert = Statement("insert into games values (")
                                 .quoted("a")
                                 .fixed(",")
                                 .quoted("b\"c")
                                 .fixed(",")
                                 .quoted("")
                                 .fixed(",")
                                 .quoted("d")
                                 .fixed(")");
    EXPECT_EQ(insert.text(), QStringLiteral("insert into games values (\"a\",\"b\"c\",\"\",\"d\")"));
    EXPECT_EQ(insert.sql(), QStringLiteral("insert into games values (?,?,?,?)"));
    EXPECT_EQ(insert.values(), (QVariantList{"a", "b\"c", "", "d"}));

    const Statement byKey = Statement("delete from eloado where (eloado.kod=").bare("17").fixed(")");
    EXPECT_EQ(byKey.text(), QStringLiteral("delete from eloado where (eloado.kod=17)"));
    EXPECT_EQ(byKey.values(), (QVariantList{qlonglong(17)}));

    const Statement narrowed = Statement("delete from games where (games.nev=")
                                   .quoted("x")
                                   .fixed(")")
                                   .sqlOnly(" and rowid = ?", {qlonglong(5)});
    EXPECT_EQ(narrowed.text(), QStringLiteral("delete from games where (games.nev=\"x\")"));
    EXPECT_EQ(narrowed.sql(), QStringLiteral("delete from games where (games.nev=?) and rowid = ?"));
}

TEST(StatementText, browseAndSearchStatementsReadAsWritten)
{
    EXPECT_EQ(engine::category(0).browseStatement().text(),
              QStringLiteral("SELECT eloado, album FROM eloado ORDER BY eloado.ELOADO, eloado.album"));
    EXPECT_EQ(engine::category(2).browseStatement().text(), QStringLiteral("SELECT * FROM DVD_Filmek ORDER BY CIM"));
    EXPECT_EQ(engine::category(5).browseStatement().text(),
              QStringLiteral("SELECT * FROM progs_other ORDER BY Programok"));
    EXPECT_EQ(engine::category(0).searchStatement("ELOADO", "abc", false).text(),
              QStringLiteral("SELECT eloado, album FROM eloado where ELOADO like 'abc%' ORDER BY eloado.ELOADO, "
                             "eloado.album"));
    EXPECT_EQ(engine::category(0).searchStatement("ELOADO", "abc", true).text(),
              QStringLiteral("SELECT eloado, album FROM eloado where ELOADO like '%abc%' ORDER BY eloado.ELOADO, "
                             "eloado.album"));
    EXPECT_EQ(engine::category(4).searchStatement(engine::category(4).searchColumnFor("Méret"), "700", false).text(),
              QStringLiteral("SELECT * FROM games where MERET  like '700%' ORDER BY games.NEV"));
    EXPECT_EQ(engine::trackListStatement("A\"B", "C").text(),
              QStringLiteral("SELECT szamok.CIM, szamok.IDO, szamok.MERET, szamok.BITRATA, szamok.KOD FROM eloado "
                             "INNER JOIN szamok ON eloado.kod = szamok.eloado_azonosito where ((eloado=\"A\"B\") and "
                             "(album=\"C\")) order by cim"));
    EXPECT_TRUE(engine::category(3).searchColumnFor("méret").isEmpty()) << "captions compare with case";
}

class ChannelTest : public ::testing::Test
{
protected:
    ChannelTest() : catalogue(dir.path()), channel("channel_test") { channel.pointAt(catalogue.path()); }

    QTemporaryDir dir;
    TestCatalogue catalogue;
    catalogue::QueryChannel channel;
};

TEST_F(ChannelTest, hostileValuesAreStoredAndFoundAsTyped)
{
    const QStringList hostile = {"Az \"Őrgróf\" visszatér",
                                 "Ödön bácsi 'utolsó' nyara",
                                 "100% _pontos_",
                                 "C:\\Filmek\\",
                                 "cim",
                                 "\"); DROP TABLE games; --",
                                 "",
                                 "ő ű Ő Ű –"};
    for (const QString& value : hostile) {
        channel.setStatement(Statement("insert into games values (")
                                 .quoted(value)
                                 .fixed(", ")
                                 .quoted(value)
                                 .fixed(", ")
                                 .quoted("1 MB")
                                 .fixed(", ")
                                 .quoted(value)
                                 .fixed(")"));
        channel.execute();
    }
    EXPECT_EQ(catalogue.count("games"), hostile.size());
    for (const QString& value : hostile) {
        channel.setStatement(Statement("SELECT * FROM games where (games.nev=").quoted(value).fixed(")"));
        channel.open();
        ASSERT_EQ(channel.recordCount(), 1) << value.toStdString();
        EXPECT_EQ(channel.fieldText(0, "NEV"), value);
        EXPECT_EQ(channel.fieldText(0, "kod"), value) << "columns are found without regard to case";
    }
}

TEST_F(ChannelTest, listsAreCountedExactlyAndClosedByANewStatement)
{
    for (int i = 0; i < 1500; ++i)
        catalogue.insert("progs_other", {QString::number(i), "", "1 MB", i % 2 ? QVariant() : QVariant("CD")});
    channel.setStatement(engine::category(5).browseStatement());
    channel.open();
    EXPECT_EQ(channel.recordCount(), 1500);
    EXPECT_EQ(channel.fieldText(1, "KOD"), QString()) << "a null reads as empty text";
    EXPECT_THROW(channel.fieldText(0, "nincs_ilyen"), platform::Failure);
    channel.setStatement(engine::category(4).browseStatement());
    EXPECT_FALSE(channel.isOpen());
    EXPECT_THROW(channel.recordCount(), platform::Failure);
    channel.open();
    EXPECT_EQ(channel.recordCount(), 0) << "an empty result still opens the list";
}

TEST(ChannelFaults, aMissingPathFailsAtTheFirstListAndLeavesNoFile)
{
    QTemporaryDir dir;
    const QString missing = dir.path() + "/nincs/ilyen.tnx";
    const QString alsoMissing = dir.path() + "/ilyen.tnx";
    catalogue::QueryChannel channel("missing_test");
    channel.pointAt(alsoMissing);
    channel.setStatement(engine::category(0).browseStatement());
    try {
        channel.open();
        FAIL() << "opening a missing catalogue succeeded";
    } catch (const platform::Failure& failure) {
        EXPECT_TRUE(failure.text().contains("unable to open database file")) << failure.text().toStdString();
    }
    EXPECT_FALSE(QFile::exists(alsoMissing));
    channel.pointAt(missing);
    EXPECT_THROW(channel.open(), platform::Failure);
    channel.pointAt(QString());
    EXPECT_THROW(channel.open(), platform::Failure);
}

TEST(ChannelFaults, twoChannelsAndAnotherProgramShareTheFile)
{
    QTemporaryDir dir;
    TestCatalogue catalogue(dir.path());
    catalogue.insert("games", {"Első", "", "1", "A"});
    catalogue::QueryChannel browse("share_browse");
    catalogue::QueryChannel detail("share_detail");
    browse.pointAt(catalogue.path());
    detail.pointAt(catalogue.path());
    detail.setStatement(engine::category(4).browseStatement());
    detail.open();
    // One channel holds a list while the other and another connection write.
    browse.setStatement(Statement("insert into games values (").quoted("Második").fixed(", \"\", \"1\", \"B\")"));
    browse.execute();
    catalogue.insert("games", {"Harmadik", "", "1", "C"});
    EXPECT_EQ(detail.recordCount(), 1) << "an open list is a snapshot";
    detail.close();
    detail.open();
    EXPECT_EQ(detail.recordCount(), 3);
}

TEST(ChannelFaults, brokenFilesReportTheEngineText)
{
    QTemporaryDir dir;
    const QString notADatabase = dir.path() + "/szoveg.tnx";
    QFile text(notADatabase);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray("nem adatbázis ").repeated(200));
    text.close();
    catalogue::QueryChannel channel("broken_test");
    channel.pointAt(notADatabase);
    channel.setStatement(engine::category(0).browseStatement());
    try {
        channel.open();
        FAIL() << "a text file opened as a catalogue";
    } catch (const platform::Failure& failure) {
        EXPECT_TRUE(failure.text().contains("not a database")) << failure.text().toStdString();
    }

    const QString empty = dir.path() + "/ures.tnx";
    QFile(empty).open(QIODevice::WriteOnly);
    channel.pointAt(empty);
    try {
        channel.open();
        FAIL() << "an empty file has no tables";
    } catch (const platform::Failure& failure) {
        EXPECT_TRUE(failure.text().contains("nem Médiatár-katalógus")) << failure.text().toStdString();
    }
}

} // namespace
