// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt_platform.h"
#include "platform/scripted_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

// A wait for a slow answer: nothing shows for a quick one; a slow one shows its window with Mégse, which gives the
// wait up; an answer ends it.

namespace {

// Two ends of a local connection: the wait reads one, the "server" writes the other.
struct Line
{
    int ends[2] = {-1, -1};
    Line() { ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends); }
    ~Line()
    {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    void answer() { ASSERT_EQ(::write(ends[1], "x", 1), 1); }
    // Done once the answer is in; the socket is read only then, as libpq reads its own.
    platform::WaitStep step()
    {
        char byte = 0;
        if (::recv(ends[0], &byte, 1, MSG_DONTWAIT) == 1)
            return platform::WaitStep{true};
        return platform::WaitStep{false, ends[0], false};
    }
};

QProgressDialog* shownWaitWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<QProgressDialog*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

TEST(WaitingTest, aSlowAnswerShowsItsWindowAndMegseGivesTheWaitUp)
{
    struct Case
    {
        const char* what;
        int answerAfter; // -1: never
        int giveUpAfter; // a deadline the step keeps, though the socket stays quiet; -1: none
        bool pressMegse;
        bool expectedDone;
        bool expectedWindow;
    };
    const Case cases[] = {
        {"quick answer", 50, -1, false, true, false},
        {"slow answer", platform::waitingWindowDelay + 300, -1, false, true, true},
        {"a deadline on a quiet socket", -1, 150, false, true, false},
        {"Mégse", -1, -1, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Line line;
        bool windowSeen = false;
        QString windowText;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QProgressDialog* window = shownWaitWindow();
            if (!window)
                return;
            windowSeen = true;
            windowText = window->labelText();
            if (c.pressMegse) {
                auto* megse = window->findChild<QPushButton*>();
                ASSERT_TRUE(megse);
                EXPECT_EQ(megse->text(), QStringLiteral("Mégse"));
                QTest::mouseClick(megse, Qt::LeftButton);
            }
        });
        watch.start(20);
        if (c.answerAfter >= 0)
            QTimer::singleShot(c.answerAfter, [&] { line.answer(); });
        QElapsedTimer since;
        since.start();
        const auto step = [&] {
            if (c.giveUpAfter >= 0) {
                if (since.elapsed() >= c.giveUpAfter)
                    return platform::WaitStep{true};
                return platform::WaitStep{false, line.ends[0], false, 20};
            }
            return line.step();
        };
        platform::QtWaiting waiting;
        EXPECT_EQ(waiting.waitUntilDone(QStringLiteral("Várakozás a szerverre…"), step), c.expectedDone);
        EXPECT_EQ(windowSeen, c.expectedWindow);
        if (c.expectedWindow) {
            EXPECT_EQ(windowText, QStringLiteral("Várakozás a szerverre…"));
        }
        EXPECT_EQ(shownWaitWindow(), nullptr);
    }
}

} // namespace
