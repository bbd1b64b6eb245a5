// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/list_text.h"
#include "support/qt_printing.h"

#include <gtest/gtest.h>

namespace {

TEST(ListText, joinsWithCommaAndBlankAndSplitsBack)
{
    const QStringList items = {"AC3/6 HU", "DTS/6 EN"};
    EXPECT_EQ(list_text::join(items), QStringLiteral("AC3/6 HU, DTS/6 EN"));
    EXPECT_EQ(list_text::split(list_text::join(items)), items);
    EXPECT_EQ(list_text::join({"egyéb"}), QStringLiteral("egyéb"));
    EXPECT_EQ(list_text::split(QStringLiteral("egyéb")), QStringList({"egyéb"}));
}

TEST(ListText, emptyListsGiveEmptyTextOrADashForSubtitles)
{
    EXPECT_EQ(list_text::join({}), QString());
    EXPECT_EQ(list_text::joinSubtitles({}), QStringLiteral("-"));
    EXPECT_EQ(list_text::joinSubtitles({"magyar", "angol"}), QStringLiteral("magyar, angol"));
    EXPECT_TRUE(list_text::split(QString()).isEmpty());
    // An empty item is kept in its place.
    EXPECT_EQ(list_text::join({"", "angol"}), QStringLiteral(", angol"));
}

TEST(ListText, aJoinIsNeverCutAndFitsTellsWhetherItStaysWithinTheColumn)
{
    QStringList items;
    for (int i = 0; i < 16; ++i)
        items << QStringLiteral("AC3/6 surround");
    EXPECT_EQ(list_text::join(items).size(), 254);
    EXPECT_TRUE(list_text::fits(items));
    items << QStringLiteral("x");
    EXPECT_EQ(list_text::join(items).size(), 257);
    EXPECT_EQ(list_text::join(items), (QStringLiteral(", AC3/6 surround").repeated(16)).mid(2) + QStringLiteral(", x"));
    EXPECT_FALSE(list_text::fits(items));
    EXPECT_TRUE(list_text::fits({QString(255, QLatin1Char('a'))}));
    EXPECT_FALSE(list_text::fits({QString(256, QLatin1Char('a'))}));
}

TEST(ListText, oneBlankAfterACommaBelongsToTheSeparator)
{
    // A list stored with bare commas comes back whole.
    EXPECT_EQ(list_text::split(QStringLiteral("AC3/6 HU,DTS/6 EN")), QStringList({"AC3/6 HU", "DTS/6 EN"}));
    EXPECT_EQ(list_text::split(QStringLiteral("a,b")), QStringList({"a", "b"}));
    // An item that held a comma comes back as two.
    EXPECT_EQ(list_text::split(QStringLiteral("a, b, c")), QStringList({"a", "b", "c"}));
    EXPECT_EQ(list_text::split(QStringLiteral("x, y,z, w")).size(), 4);
    // Items are not trimmed beyond that blank, and commas side by side give empty items.
    EXPECT_EQ(list_text::split(QStringLiteral("a,  b")), QStringList({"a", " b"}));
    EXPECT_EQ(list_text::split(QStringLiteral(", , x")), QStringList({"", "", "x"}));
    EXPECT_EQ(list_text::split(QStringLiteral("a,,b")), QStringList({"a", "", "b"}));
    // A comma as the last character adds nothing after it; a separator at the end leaves an empty item.
    EXPECT_EQ(list_text::split(QStringLiteral("a,")), QStringList({"a"}));
    EXPECT_EQ(list_text::split(QStringLiteral("a, ")), QStringList({"a", ""}));
    EXPECT_EQ(list_text::split(QStringLiteral("x")), QStringList({"x"}));
}

} // namespace
