// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/commands.h"
#include "engine/categories.h"
#include "catalogue/query_channel.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A seed file's rows go into the indexed tables, and the program lists them in Hungarian order.
TEST(SeedTest, aSeededCatalogueIsListedInHungarianOrder)
{
    QTemporaryDir dir;
    QFile seed(dir.filePath("seed.sql"));
    ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
    seed.write("INSERT INTO games VALUES ('Zsákutca', '', '1 MB', 'K1');\n"
               "INSERT INTO games VALUES ('Csata', '', '1 MB', 'K2');\n"
               "INSERT INTO games VALUES ('cukor', '', '1 MB', 'K3');\n"
               "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Omega', 'Időrabló');\n");
    seed.close();
    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    ASSERT_EQ(catalogue_tool::run({"create", dir.filePath("k.tnx"), "--seed", seed.fileName()}, {out, err}), 0)
        << errors.toStdString();

    catalogue::QueryChannel channel(QStringLiteral("seed_test"));
    channel.pointAt(dir.filePath("k.tnx"));
    channel.setStatement(engine::category(4).browseStatement());
    channel.open();
    ASSERT_EQ(channel.recordCount(), 3);
    EXPECT_EQ(channel.fieldText(0, "NEV"), QStringLiteral("cukor"));
    EXPECT_EQ(channel.fieldText(1, "NEV"), QStringLiteral("Csata"));
    EXPECT_EQ(channel.fieldText(2, "NEV"), QStringLiteral("Zsákutca"));
}

} // namespace
