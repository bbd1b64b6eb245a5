// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "support/window_fixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

using platform::Answer;

namespace {

const QString legacyName = QStringLiteral("régi lista.tnx");
const QString convertedName = QStringLiteral("régi lista.mediatar.tnx");

class LegacyConversionTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(fixture(QStringLiteral("sample.tnx"))))
            GTEST_SKIP() << "the legacy fixtures are not there";
        folder.installShippedLanguage();
    }

    static QString fixture(const QString& name) { return QStringLiteral(MEDIATAR_LEGACY_FIXTURES "/") + name; }

    // A copy of the sample Jet catalogue (or of another) in the program folder, cut to size bytes when given.
    QString legacyCopy(qint64 size = -1, const QString& from = fixture(QStringLiteral("sample.tnx")))
    {
        QFile source(from);
        EXPECT_TRUE(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        if (size >= 0)
            bytes.truncate(size);
        folder.writeBytes(legacyName, bytes);
        m_legacyHash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
        return folder.file(legacyName);
    }

    bool legacyUntouched() const
    {
        return QCryptographicHash::hash(folder.readBytes(legacyName), QCryptographicHash::Sha256) == m_legacyHash;
    }

    QStringList conversionQuestions() const
    {
        QStringList found;
        for (const QString& text : desktop.prompts.confirmations)
            if (text.contains(QStringLiteral("régebbi formátumú katalógus")))
                found << text;
        return found;
    }

    QStringList keepQuestions() const
    {
        return desktop.prompts.confirmations.filter(QStringLiteral("A régi katalógus sérült"));
    }

    static QString zeroedPage() { return QStringLiteral(MEDIATAR_DAMAGED_FIXTURES "/zeroed-page.tnx"); }

    QStringList folderFiles() const { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    void expectAlbumsListed(int count)
    {
        EXPECT_EQ(countLabel()->text(), QString::number(count));
        EXPECT_EQ(grid(QStringLiteral("DBGrid1"))->model()->rowCount(), count);
    }

private:
    QByteArray m_legacyHash;
};

TEST_F(LegacyConversionTest, yesConvertsTheCatalogueNamedInTheSettingsAndOpensTheNewOne)
{
    folder.writeSettings(legacyCopy());
    desktop.prompts.setDefaultAnswer(Answer::Yes);
    TFoablak& main = start();

    const QStringList questions = conversionQuestions();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions.first().contains(folder.file(legacyName))) << questions.first().toStdString();
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    EXPECT_EQ(main.OpenDialog1.fileName, folder.file(convertedName));
    EXPECT_TRUE(main.windowTitle().endsWith(folder.file(convertedName))) << main.windowTitle().toStdString();
    expectAlbumsListed(6);
    switchToTab(1);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("15"));
    switchToTab(5);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("8"));
    EXPECT_TRUE(legacyUntouched());

    // The settings name the converted catalogue, so the next start opens it without asking.
    main.KilepesClick();
    EXPECT_TRUE(localisation::decode1250(folder.readBytes(QStringLiteral("list.ini")))
                    .startsWith(folder.file(convertedName) + QStringLiteral("\r\n")));
}

TEST_F(LegacyConversionTest, noLeavesTheOldFileAsACatalogueThatCannotBeOpened)
{
    folder.writeSettings(legacyCopy());
    desktop.prompts.setDefaultAnswer(Answer::No);
    TFoablak& main = start();

    EXPECT_EQ(conversionQuestions().size(), 1);
    EXPECT_EQ(main.OpenDialog1.fileName, folder.file(legacyName));
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("not a database")))
        << desktop.errors.reports.first().toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder.file(convertedName)));
    EXPECT_TRUE(legacyUntouched());
}

TEST_F(LegacyConversionTest, megnyitasConvertsBesideTheOldFileUnderAFreeName)
{
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    desktop.prompts.setDefaultAnswer(Answer::Yes);
    TFoablak& main = start();
    ASSERT_TRUE(conversionQuestions().isEmpty()); // a catalogue of this program is opened as it is
    expectAlbumsListed(1);

    const QString legacy = legacyCopy();
    folder.writeBytes(convertedName, "foglalt");
    desktop.files.chooseNext(legacy);
    widget<QPushButton>(QStringLiteral("open"))->click();

    ASSERT_EQ(conversionQuestions().size(), 1);
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    const QString numbered = folder.file(QStringLiteral("régi lista.mediatar-2.tnx"));
    EXPECT_EQ(main.OpenDialog1.fileName, numbered);
    EXPECT_EQ(folder.readBytes(convertedName), QByteArray("foglalt"));
    expectAlbumsListed(6);
    EXPECT_TRUE(legacyUntouched());

    // Declined: the engine's refusal reaches the user, and the catalogue open before stays open and listed.
    desktop.prompts.answerNext(Answer::No);
    desktop.files.chooseNext(legacy);
    widget<QPushButton>(QStringLiteral("open"))->click();
    EXPECT_EQ(conversionQuestions().size(), 2);
    EXPECT_EQ(main.OpenDialog1.fileName, numbered);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("not a database")))
        << desktop.errors.reports.first().toStdString();
    expectAlbumsListed(6);
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("régi lista.mediatar-3.tnx"))));
}

TEST_F(LegacyConversionTest, aDamagedOldFileIsReportedAndLeavesNoNewFile)
{
    const QString legacy = legacyCopy(100000);
    folder.writeSettings(legacy);
    desktop.prompts.answerNext(Answer::Yes); // convert; then no other catalogue is opened
    const QStringList before = folderFiles();
    TFoablak& main = start();

    EXPECT_EQ(conversionQuestions().size(), 1);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().startsWith(QStringLiteral("A katalógus átalakítása nem sikerült:\r")))
        << desktop.errors.reports.first().toStdString();
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("damaged")));
    EXPECT_EQ(main.OpenDialog1.fileName, legacy);
    EXPECT_EQ(folderFiles(), before);
    EXPECT_TRUE(legacyUntouched());
}

// A damaged file is converted as far as it can be read, and kept only when the user accepts what is lost.
TEST_F(LegacyConversionTest, aSalvagedCatalogueIsKeptOnlyWhenTheUserAcceptsItsLosses)
{
    if (!QFileInfo::exists(zeroedPage()))
        GTEST_SKIP() << "the damaged legacy fixtures are not there";
    const QString legacy = legacyCopy(-1, zeroedPage());
    folder.writeSettings(legacy);
    const QStringList before = folderFiles();
    desktop.prompts.answerNext(Answer::Yes); // convert
    desktop.prompts.answerNext(Answer::No);  // keep what could be read: no, so start-up offers the open dialog
    desktop.files.chooseNext(legacy);        // the same file again from the dialog
    desktop.prompts.answerNext(Answer::Yes); // convert
    desktop.prompts.answerNext(Answer::Yes); // keep it this time
    TFoablak& main = start();

    ASSERT_EQ(conversionQuestions().size(), 2);
    ASSERT_EQ(keepQuestions().size(), 2);
    // The same lines as the catalogue tool prints, and the rows that could be read.
    EXPECT_TRUE(keepQuestions().first().contains(QStringLiteral("\rszamok: 36 rows are declared, 0 could be read")))
        << keepQuestions().first().toStdString();
    EXPECT_TRUE(keepQuestions().first().contains(QStringLiteral("(59 sor)"))) << keepQuestions().first().toStdString();
    EXPECT_TRUE(legacyUntouched());

    // The refused copy left nothing behind; the accepted one is the catalogue now open, albums without tracks.
    QStringList expected = before;
    expected << QFileInfo(folder.file(convertedName)).fileName();
    expected.sort();
    QStringList files = folderFiles(); // the open catalogue's journal files aside
    files.removeIf([](const QString& name) {
        return name.endsWith(QLatin1String("-wal")) || name.endsWith(QLatin1String("-shm"));
    });
    EXPECT_EQ(files, expected);
    EXPECT_EQ(main.OpenDialog1.fileName, folder.file(convertedName));
    expectAlbumsListed(6);
    clickCell(QStringLiteral("DBGrid1"), 0);
    EXPECT_EQ(grid(QStringLiteral("DBGrid2"))->model()->rowCount(), 0);
    switchToTab(1);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("15"));
}

} // namespace
