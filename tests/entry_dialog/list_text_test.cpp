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

TEST(ListText, aJoinLongerThanTheColumnIsCutTo255Characters)
{
    QStringList items;
    for (int i = 0; i < 30; ++i)
        items << QStringLiteral("AC3/6 surround");
    const QString joined = list_text::join(items);
    EXPECT_EQ(joined.size(), 255);
    EXPECT_TRUE(joined.startsWith(QStringLiteral("AC3/6 surround, AC3/6 surround")));
    EXPECT_EQ(joined, (QStringLiteral(", AC3/6 surround").repeated(30)).mid(2, 255));
}

TEST(ListText, theCharacterAfterEveryCommaIsSkippedWhateverItIs)
{
    EXPECT_EQ(list_text::split(QStringLiteral("AC3/6 HU,DTS/6 EN")), QStringList({"AC3/6 HU", "TS/6 EN"}));
    // An item that held a comma comes back as two.
    EXPECT_EQ(list_text::split(QStringLiteral("a, b, c")), QStringList({"a", "b", "c"}));
    EXPECT_EQ(list_text::split(QStringLiteral("x, y, z, w")).size(), 4);
    // Items are not trimmed, and commas side by side give empty items.
    EXPECT_EQ(list_text::split(QStringLiteral("a,  b")), QStringList({"a", " b"}));
    EXPECT_EQ(list_text::split(QStringLiteral(", , x")), QStringList({"", "", "x"}));
    // A comma as the last character adds nothing after it; a last character that is skipped leaves an empty item.
    EXPECT_EQ(list_text::split(QStringLiteral("a,")), QStringList({"a"}));
    EXPECT_EQ(list_text::split(QStringLiteral("a, ")), QStringList({"a", ""}));
    EXPECT_EQ(list_text::split(QStringLiteral("a,b")), QStringList({"a", ""}));
}

} // namespace
