// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"
#include "store/new_catalogue_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

// A new catalogue written beside its target takes the target's name only at the end, and not when a program has
// opened the target meanwhile.

namespace {

class NewCatalogueFileTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    // Writes a database with one table of count rows at file.
    static void writeRows(const QString& file, int count)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE eloado (kod INTEGER PRIMARY KEY)", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_stmt* insert = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO eloado DEFAULT VALUES", -1, &insert, nullptr), SQLITE_OK);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }

    static QByteArray hash(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                           : QByteArray();
    }

    // Whether another open file description can take the lock that a running writer keeps on its file.
    static bool lockIsFree(const QString& file)
    {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }

    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QTemporaryDir dir;
};

TEST_F(NewCatalogueFileTest, theTemporaryFileIsNamedForItsPurposeCreatedAfreshAndLockedWhileItIsWritten)
{
    const QString target = path(QStringLiteral("lista.tnx"));
    QString temporary;
    {
        store::NewCatalogueFile file(target, QStringLiteral("csv"));
        temporary = file.path();
        EXPECT_EQ(QFileInfo(temporary).absolutePath(), QFileInfo(target).absolutePath());
        EXPECT_TRUE(QFileInfo(temporary).fileName().startsWith(QLatin1String(".lista.tnx.mediatar-csv-")))
            << temporary.toStdString();
        EXPECT_EQ(QFileInfo(temporary).size(), 0);
        EXPECT_FALSE(lockIsFree(temporary));
        // Another writer into the same folder leaves it alone, and takes a name of its own.
        store::NewCatalogueFile other(target, QStringLiteral("backup"));
        EXPECT_NE(other.path(), temporary);
        EXPECT_TRUE(QFileInfo::exists(temporary));
        writeRows(temporary, 3);
    }
    // Given up without a commit: nothing is left.
    EXPECT_EQ(entries(), QStringList());
}

TEST_F(NewCatalogueFileTest, aTargetThatAProgramOpenedAfterTheCheckIsNotReplacedUntilItLetsGo)
{
    const QString target = path(QStringLiteral("lista.tnx"));
    writeRows(target, 2);
    const QByteArray before = hash(target);
    store::checkNewTarget(target, true);
    {
        store::NewCatalogueFile file(target, QStringLiteral("backup"));
        writeRows(file.path(), 5);
        // The program opens the catalogue while the new one is being written.
        sqlite3* program = nullptr;
        ASSERT_EQ(sqlite3_open(target.toUtf8().constData(), &program), SQLITE_OK);
        try {
            file.commit();
            ADD_FAILURE() << "a catalogue in use was replaced";
        } catch (const platform::Failure& failure) {
            EXPECT_TRUE(failure.text().contains(QStringLiteral("open in another program")))
                << failure.text().toStdString();
        }
        sqlite3_close(program);
    }
    EXPECT_EQ(hash(target), before);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("lista.tnx")});

    // Once it is let go, the new file takes its place, and a journal the old one left does not follow it.
    QFile journal(target + QStringLiteral("-journal"));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.close();
    {
        store::NewCatalogueFile file(target, QStringLiteral("backup"));
        writeRows(file.path(), 5);
        file.commit();
    }
    EXPECT_EQ(entries(), QStringList{QStringLiteral("lista.tnx")});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(target.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM eloado", -1, &count, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 5);
    sqlite3_finalize(count);
    sqlite3_close(db);
}

TEST_F(NewCatalogueFileTest, aTargetInUseIsRefusedBeforeTheWorkAndAnExistingOneOnlyWhenReplacing)
{
    const QString target = path(QStringLiteral("lista.tnx"));
    writeRows(target, 1);
    const auto refusal = [&](bool replace) {
        try {
            store::checkNewTarget(target, replace);
            return QString();
        } catch (const platform::Failure& failure) {
            return failure.text();
        }
    };
    EXPECT_TRUE(refusal(false).contains(QStringLiteral("already exists"))) << refusal(false).toStdString();
    EXPECT_EQ(refusal(true), QString());
    sqlite3* program = nullptr;
    ASSERT_EQ(sqlite3_open(target.toUtf8().constData(), &program), SQLITE_OK);
    EXPECT_TRUE(refusal(true).contains(QStringLiteral("open in another program"))) << refusal(true).toStdString();
    sqlite3_close(program);
}

} // namespace
