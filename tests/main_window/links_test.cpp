// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/link_label.h"
#include "support/window_fixture.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

namespace {

class LinksTest : public WindowFixture
{
protected:
    LinksTest() { desktop.prompts.setDefaultAnswer(platform::Answer::Yes); }
};

TEST_F(LinksTest, theTwoLabelsOpenTheWebPageAndANewMessage)
{
    TFoablak& main = start();
    searchBox()->setFocus();
    switchToTab(2);
    QTest::mouseClick(widget<LinkLabel>("weblink"), Qt::LeftButton);
    QTest::mouseClick(widget<LinkLabel>("email"), Qt::LeftButton);
    ASSERT_EQ(desktop.links.opened.size(), 2);
    EXPECT_EQ(desktop.links.opened.at(0), webAddress);
    EXPECT_EQ(desktop.links.opened.at(1),
              QStringLiteral("mailto: ") + mailAddress + QStringLiteral("?subject=Kérdés/kérés/javaslat&body="));
    EXPECT_EQ(widget<LinkLabel>("weblink")->toolTip(), webAddress);
    EXPECT_EQ(widget<LinkLabel>("email")->toolTip(), mailAddress);
    EXPECT_EQ(widget<LinkLabel>("email")->caption(), QStringLiteral("E-mail küldése"));
    // Nothing else of the window changes.
    EXPECT_EQ(tabs()->currentIndex(), 2);
    EXPECT_EQ(main.focusWidget(), searchBox());
}

} // namespace
