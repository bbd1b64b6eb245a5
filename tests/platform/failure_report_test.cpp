// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"
#include "platform/qt_platform.h"
#include "platform/scripted_platform.h"
#include "support/qt_printing.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

// Texts in failure messages, found by argument-dependent lookup.
inline std::ostream& operator<<(std::ostream& out, const QString& text)
{
    return out << text.toStdString();
}

namespace {

const QChar CR(13);

TEST(FailureReport, anEngineTextFollowsTheHungarianSentenceAndWhatItMeans)
{
    const QString report =
        platform::failureReport(QStringLiteral("A katalógus „games” táblája nem olvasható be: /adat/lista.tnx"),
                                QStringLiteral("no such table: games"));
    const QStringList lines = report.split(CR);
    ASSERT_EQ(lines.size(), 4) << report;
    EXPECT_EQ(lines[0], QStringLiteral("A katalógus „games” táblája nem olvasható be: /adat/lista.tnx"));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("nincs „games” nevű tábla"))) << lines[1];
    EXPECT_TRUE(lines[2].isEmpty());
    EXPECT_EQ(lines[3], QStringLiteral("Eredeti üzenet: no such table: games"));
}

TEST(FailureReport, knownEngineAndSystemTextsAreExplainedInHungarian)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"unable to open database file", "nem nyitható meg"},
        {"file is not a database", "nem adatbázis"},
        {"attempt to write a readonly database", "csak olvasható"},
        {"database is locked", "másik program"},
        {"no such column: hossz", "nincs „hossz” nevű oszlop"},
        {"table games has no column named ar", "„games” táblájában nincs „ar” nevű oszlop"},
        {"/home/anna/list.ini: Read-only file system", "csak olvasható"},
        {"/home/anna/ini.tmp: Permission denied", "jogosultság"},
        {"/media/usb/lista.tnx: No space left on device", "Megtelt"},
        {"'12x' is not a valid integer value", "nem egész szám"},
    };
    for (const auto& [original, meaning] : cases) {
        EXPECT_TRUE(platform::explainOriginal(original).contains(meaning))
            << original << " -> " << platform::explainOriginal(original);
        EXPECT_TRUE(platform::isForeignText(original)) << original;
    }
    EXPECT_TRUE(platform::explainOriginal(QStringLiteral("something nobody knows")).isEmpty());
}

TEST(FailureReport, theHandlerReportSaysWhatFailedAndKeepsTheProgramsOwnMessages)
{
    platform::ScriptedErrorReport errors;
    const QString doing = QStringLiteral("A művelet nem sikerült ezzel a katalógussal: /adat/lista.tnx");
    platform::runHandler(errors, doing, [] { throw platform::Failure(QStringLiteral("database is locked")); });
    // A message of the program's own is shown as it stands.
    const QString own = QStringLiteral("Az album nem található: időközben megváltozott vagy törölték.");
    platform::runHandler(errors, doing, [&] { throw platform::Failure(own); });
    // A step that names its table keeps its own words through the handler.
    platform::runHandler(errors, doing, [] {
        platform::describeFailure(QStringLiteral("A katalógus „eloado” táblája nem olvasható be: /adat/lista.tnx"),
                                  [] { throw platform::Failure(QStringLiteral("no such table: eloado")); });
    });
    // An unknown English text still gets the sentence.
    platform::runHandler(errors, [] { throw std::runtime_error("vector::_M_range_check"); });

    ASSERT_EQ(errors.reports.size(), 4);
    EXPECT_TRUE(errors.reports[0].startsWith(doing + CR)) << errors.reports[0];
    EXPECT_TRUE(errors.reports[0].endsWith(QStringLiteral("Eredeti üzenet: database is locked")));
    EXPECT_EQ(errors.reports[1], own);
    EXPECT_TRUE(errors.reports[2].startsWith(QStringLiteral("A katalógus „eloado” táblája nem olvasható be")))
        << errors.reports[2];
    EXPECT_EQ(errors.reports[2].count(QStringLiteral("Eredeti üzenet")), 1);
    EXPECT_TRUE(errors.reports[3].startsWith(QStringLiteral("A művelet nem sikerült.") + CR)) << errors.reports[3];
    EXPECT_TRUE(errors.reports[3].endsWith(QStringLiteral("vector::_M_range_check")));
}

// What a modal box showed.
struct BoxReading
{
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
};

TEST(MessageBoxes, aValueThatLooksLikeMarkupIsShownAsText)
{
    const QString value = QStringLiteral("A<h1>NAGY</h1>");
    const QString question = QStringLiteral("Valóban törölni szeretnéd a teljes albumot? Előadó: \"") + value + "\"";
    platform::QtPrompts prompts;
    platform::QtErrorReport errors;

    BoxReading reading;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        reading.format = box->textFormat();
        box->reject();
    });
    prompts.confirm(question);
    EXPECT_EQ(reading.format, Qt::PlainText);

    for (auto show : {std::function<void()>([&] { prompts.information(question); }),
                      std::function<void()>([&] { errors.report(question); })}) {
        reading = {};
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            reading.format = box->textFormat();
            reading.shown = box->text();
            box->reject();
        });
        show();
        EXPECT_EQ(reading.format, Qt::PlainText);
        EXPECT_EQ(reading.shown, question);
    }
}

} // namespace
