// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_fixture.h"

#include "catalogue/query_channel.h"
#include "support/unprivileged_run.h"

#include <QCryptographicHash>
#include <QFile>
#include <sqlite3.h>
#include <sys/stat.h>

// A catalogue on a read-only medium, or without write permission, opens read-only: the tabs list and search,
// and every press that would write is refused with the message before anything changes. On a server the same
// holds for a role that may only read (SELECT granted, nothing else).

namespace {

QByteArray hashOf(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

class ReadOnlyWindowFixture : public EntryFixture
{
protected:
    // Every row of the tables the test touches, through the catalogue's own engine.
    QList<QVariantList> everyRow() const
    {
        QList<QVariantList> rows;
        for (const char* sql : {"SELECT * FROM games ORDER BY NEV", "SELECT * FROM eloado", "SELECT * FROM szamok"})
            rows << catalogue->rows(QString::fromLatin1(sql));
        return rows;
    }
};

class ReadOnlyWindowTest : public OnBothEngines<ReadOnlyWindowFixture>
{
};

TEST_P(ReadOnlyWindowTest, everyChangeIsRefusedWithTheMessageAndTheCatalogueStaysAsItWas)
{
    if (!onServer() && runUnprivileged())
        return;
    for (const char* name : {"Szél", "alma", "Ötödik"})
        catalogue->insert(QStringLiteral("games"), {QString::fromUtf8(name), "x", "1 GB", "K1"});
    const qint64 album = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->addTrack(album, QStringLiteral("Ezüst eső"), QStringLiteral("00:04:00"), "5 MB", "192", "CD1");
    const QString path = catalogue->path();
    QByteArray before;
    if (onServer()) {
        readerOnly = true;
    } else {
        catalogue.reset(); // the test's own connection lets go of the file
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        before = hashOf(path);
    }

    startAll();
    const QList<QVariantList> rowsBefore = onServer() ? everyRow() : QList<QVariantList>();
    if (onServer()) {
        ASSERT_EQ(rowsBefore.size(), 5); // three games, an album and its track
    }
    EXPECT_TRUE(window().browseQuery().readOnly());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    switchToTab(4);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));

    // Adat törlése: refused before the question.
    clickCell(QStringLiteral("DBGrid6"), 0);
    desktop.prompts.informations.clear();
    QTest::mouseClick(window().findChild<QPushButton*>(QStringLiteral("Adat_torlese")), Qt::LeftButton);
    EXPECT_EQ(desktop.prompts.informations, QStringList({::engine::readOnlyMessage()}));
    EXPECT_TRUE(desktop.prompts.confirmations.isEmpty());

    // A new game and an edit: both presses refused, what was typed kept, the dialog open.
    pressAdatbevitel();
    pages()->setCurrentIndex(4);
    edit(QStringLiteral("Jatek_neve"))->setText(QStringLiteral("Új játék"));
    edit(QStringLiteral("Jatek_merete"))->setText(QStringLiteral("2 GB"));
    for (const char* button : {"Rogzit_new", "Rogzit_end"}) {
        desktop.prompts.informations.clear();
        const int beeps = desktop.beeper.beeps;
        click(QString::fromLatin1(button));
        EXPECT_EQ(desktop.prompts.informations, QStringList({::engine::readOnlyMessage()})) << button;
        EXPECT_EQ(desktop.beeper.beeps, beeps + 1) << button;
        EXPECT_TRUE(dialog().isVisible()) << button;
        EXPECT_EQ(text(QStringLiteral("Jatek_neve")), QStringLiteral("Új játék")) << button;
    }
    dialog().hide();
    clickCell(QStringLiteral("DBGrid6"), 1);
    pressSzerkesztes();
    desktop.prompts.informations.clear();
    click(QStringLiteral("Rogzit_new"));
    EXPECT_EQ(desktop.prompts.informations, QStringList({::engine::readOnlyMessage()}));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();

    window().close();
    if (onServer()) {
        EXPECT_EQ(everyRow(), rowsBefore);
        return;
    }
    EXPECT_EQ(hashOf(path), before);
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(QFile::exists(path + QLatin1String(suffix))) << suffix;
}

RUN_ON_BOTH_ENGINES(ReadOnlyWindowTest);

} // namespace
