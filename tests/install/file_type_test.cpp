// SPDX-License-Identifier: GPL-3.0-or-later

// The catalogue file type as a file manager sees it: Qt's MIME database (what KDE's file managers use) reads the
// installed type definition the same way the desktop's shared-mime-info database does.
#include "support/catalogue_builder.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString catalogueType = QStringLiteral("application/x-mediatar-catalogue");
const QString legacyType = QStringLiteral("application/x-mediatar-legacy-catalogue");

class FileTypeTest : public ::testing::Test
{
protected:
    // The data folder must be in place before the first look-up: Qt reads the folders once per process.
    static void SetUpTestSuite()
    {
        dataDir = new QTemporaryDir;
        const QString mimeDir = dataDir->filePath(QStringLiteral("mime"));
        QDir().mkpath(mimeDir + QStringLiteral("/packages"));
        QFile::copy(QStringLiteral(MEDIATAR_SOURCE_DIR "/data/mediatar-mime.xml"),
                    mimeDir + QStringLiteral("/packages/mediatar.xml"));
        QProcess update;
        update.start(QStringLiteral("update-mime-database"), {mimeDir});
        updated =
            update.waitForFinished(30000) && update.exitStatus() == QProcess::NormalExit && update.exitCode() == 0;
        qputenv("XDG_DATA_DIRS", (dataDir->path() + QStringLiteral(":/usr/local/share:/usr/share")).toUtf8());
        qputenv("XDG_DATA_HOME", dataDir->filePath(QStringLiteral("home")).toUtf8());
    }

    static void TearDownTestSuite()
    {
        delete dataDir;
        dataDir = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(updated) << "update-mime-database (shared-mime-info) failed or is missing"; }

    // A real catalogue made by the program's own code, under the given name.
    QString sqliteFile(const QString& name)
    {
        TestCatalogue made(files.path(), name);
        return made.path();
    }

    // The first bytes of a Jet database, as the older program wrote them.
    QString jetFile(const QString& name)
    {
        QByteArray page(2048, '\0');
        page.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
        const QString path = files.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(page);
        return path;
    }

    static QString typeOf(const QString& path) { return QMimeDatabase().mimeTypeForFile(path).name(); }

    static QTemporaryDir* dataDir;
    static bool updated;
    QTemporaryDir files;
};

QTemporaryDir* FileTypeTest::dataDir = nullptr;
bool FileTypeTest::updated = false;

TEST_F(FileTypeTest, catalogueFilesOpenWithTheProgramWhateverTheirFormat)
{
    for (const QString& extension : {QStringLiteral("tnx"), QStringLiteral("qvdb")}) {
        const QString current = sqliteFile(QStringLiteral("gyűjtemény.") + extension);
        EXPECT_EQ(typeOf(current), catalogueType) << current.toStdString();
        EXPECT_TRUE(QMimeDatabase().mimeTypeForFile(current).inherits(QStringLiteral("application/vnd.sqlite3")));
        const QString older = jetFile(QStringLiteral("régi.") + extension);
        EXPECT_EQ(typeOf(older), legacyType) << older.toStdString();
    }
    // The extension in capitals, as files copied from the older system's disks carry it.
    EXPECT_EQ(typeOf(sqliteFile(QStringLiteral("NAGY.TNX"))), catalogueType);

    const QMimeType type = QMimeDatabase().mimeTypeForName(catalogueType);
    ASSERT_TRUE(type.isValid());
    EXPECT_EQ(type.suffixes(), (QStringList{QStringLiteral("tnx"), QStringLiteral("qvdb")}));
}

TEST_F(FileTypeTest, otherSqliteAndJetFilesAreNotClaimed)
{
    EXPECT_EQ(typeOf(sqliteFile(QStringLiteral("notes.sqlite"))), QStringLiteral("application/vnd.sqlite3"));
    // Without an extension only the contents speak, and they say SQLite, not Médiatár.
    EXPECT_EQ(typeOf(sqliteFile(QStringLiteral("places"))), QStringLiteral("application/vnd.sqlite3"));
    EXPECT_EQ(typeOf(jetFile(QStringLiteral("orders.mdb"))), QStringLiteral("application/vnd.ms-access"));
    EXPECT_EQ(typeOf(jetFile(QStringLiteral("orders"))), QStringLiteral("application/vnd.ms-access"));
}

TEST_F(FileTypeTest, realCataloguesOfTheOlderFormatAreRecognised)
{
    const QDir fixtures(QStringLiteral(MEDIATAR_LEGACY_FIXTURES));
    if (!fixtures.exists(QStringLiteral("sample.tnx")))
        GTEST_SKIP() << "no legacy catalogues in " << fixtures.path().toStdString();
    for (const QString& name : {QStringLiteral("sample.tnx"), QStringLiteral("sample.qvdb")})
        EXPECT_EQ(typeOf(fixtures.filePath(name)), legacyType) << name.toStdString();
}

} // namespace
