// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/codepage.h"
#include "support/window_fixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::Answer;

namespace {

const QString leaveQuestionStart = QStringLiteral("A beállításokat nem sikerült elmenteni:\r");
const QString leaveQuestionEnd = QStringLiteral("\r\rKilépsz mentés nélkül?");

// The user's configuration folder, pointed at a temporary folder for the test's length.
class ConfigHome
{
public:
    ConfigHome() : m_old(qgetenv("XDG_CONFIG_HOME")), m_hadOld(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
    }
    ~ConfigHome()
    {
        if (m_hadOld)
            qputenv("XDG_CONFIG_HOME", m_old);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    QString settingsFile() const { return m_dir.path() + QStringLiteral("/mediatar/list.ini"); }
    QByteArray settingsBytes() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};

class SettingsFileTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        folder.installShippedLanguage();
        catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    }

    void clickExit() { QTest::mouseClick(widget<QPushButton>("Kilepes"), Qt::LeftButton); }

    QStringList leaveQuestions() const
    {
        QStringList found;
        for (const QString& text : desktop.prompts.confirmations)
            if (text.startsWith(leaveQuestionStart) && text.endsWith(leaveQuestionEnd))
                found << text;
        return found;
    }

    QByteArray settingsOf(const QString& path) const
    {
        return *localisation::encode1250(path + QStringLiteral("\r\nHU_magyar.lng\r\n"));
    }

    ConfigHome config;
};

TEST_F(SettingsFileTest, aWritableProgramFolderKeepsTheSettingsBesideTheProgram)
{
    TFoablak& main = start();
    EXPECT_EQ(main.settingsDir, folder.path());
    clickExit();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(folder.readBytes("list.ini"), settingsOf(catalogue->path()));
    EXPECT_FALSE(QFile::exists(config.settingsFile()));
}

TEST_F(SettingsFileTest, aReadOnlyProgramFolderKeepsTheSettingsInTheUserConfigurationFolder)
{
    desktop.directory.makeReadOnly();
    const QByteArray shipped = folder.readBytes("list.ini");
    ProgramFolder elsewhere;
    TestCatalogue other(elsewhere.path().chopped(1), QStringLiteral("masik.tnx"));
    other.addAlbum(QStringLiteral("Zorán"), QStringLiteral("Körút"));
    other.addAlbum(QStringLiteral("Kaláka"), QStringLiteral("Tavasz"));

    // The first start reads the list.ini that lies beside the program, and keeps its own in the user's folder.
    {
        TFoablak& main = start();
        EXPECT_EQ(main.settingsDir, config.path() + QStringLiteral("/mediatar/"));
        EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());
        desktop.files.chooseNext(other.path());
        QTest::mouseClick(widget<QPushButton>("open"), Qt::LeftButton);
        clickExit();
        EXPECT_FALSE(main.isVisible());
        EXPECT_TRUE(leaveQuestions().isEmpty()) << desktop.prompts.confirmations.join('\n').toStdString();
    }
    EXPECT_EQ(config.settingsBytes(), settingsOf(other.path()));
    EXPECT_EQ(folder.readBytes("list.ini"), shipped) << "nothing is written beside a read-only program";
    EXPECT_FALSE(QFile::exists(folder.file("ini.tmp")));

    // The next start reads them from there.
    TFoablak& again = start();
    EXPECT_EQ(again.OpenDialog1.fileName, other.path());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_TRUE(again.close());
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

TEST_F(SettingsFileTest, aPathCodePage1250CannotHoldIsRememberedInUtf8)
{
    ProgramFolder elsewhere;
    const QString dir = elsewhere.path() + QStringLiteral("кино");
    ASSERT_TRUE(QDir().mkpath(dir));
    TestCatalogue films(dir, QStringLiteral("фильмы.tnx"));
    films.addAlbum(QStringLiteral("Кино"), QStringLiteral("Группа крови"));
    folder.writeBytes("list.ini", QByteArray());
    desktop.files.chooseNext(films.path());
    {
        TFoablak& main = start();
        EXPECT_EQ(main.OpenDialog1.fileName, films.path());
        EXPECT_TRUE(main.close()) << "the window closes";
    }
    EXPECT_TRUE(leaveQuestions().isEmpty()) << desktop.prompts.confirmations.join('\n').toStdString();
    const QByteArray saved = folder.readBytes("list.ini");
    EXPECT_EQ(saved, QByteArray("\xEF\xBB\xBF") + (films.path() + "\r\nHU_magyar.lng\r\n").toUtf8());

    // Read back as written, so the next start opens the same catalogue without a dialog.
    TFoablak& again = start();
    EXPECT_EQ(desktop.files.shown, 1);
    EXPECT_EQ(again.OpenDialog1.fileName, films.path());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));

    // A catalogue that code page 1250 holds goes back to the older form, which every copy reads.
    desktop.files.chooseNext(catalogue->path());
    QTest::mouseClick(widget<QPushButton>("open"), Qt::LeftButton);
    EXPECT_TRUE(again.close());
    EXPECT_EQ(folder.readBytes("list.ini"), settingsOf(catalogue->path()));
}

TEST_F(SettingsFileTest, anOlderSettingsFileIsReadInCodePage1250)
{
    ProgramFolder elsewhere;
    const QString dir = elsewhere.path() + QStringLiteral("Őszi gyűjtemény");
    ASSERT_TRUE(QDir().mkpath(dir));
    TestCatalogue autumn(dir, QStringLiteral("ÁRVÍZTŰRŐ.tnx"));
    // Bytes that would read as UTF-8 too if a reader guessed: only the mark decides.
    folder.writeBytes("list.ini", *localisation::encode1250(autumn.path() + "\r\nHU_magyar.lng\r\n"));
    TFoablak& main = start();
    EXPECT_EQ(main.OpenDialog1.fileName, autumn.path());
    EXPECT_EQ(desktop.files.shown, 0);
}

TEST_F(SettingsFileTest, aFailedSaveAsksWhetherToLeaveAndNoStays)
{
    const QByteArray before = folder.readBytes("list.ini");
    TFoablak& main = start();
    // Something that cannot be written in the temporary file's place.
    ASSERT_TRUE(QDir(folder.path()).mkdir("ini.tmp"));
    desktop.prompts.answerNext(Answer::No);
    clickExit();
    EXPECT_TRUE(main.isVisible());
    ASSERT_EQ(leaveQuestions().size(), 1);
    EXPECT_TRUE(leaveQuestions().first().contains(folder.file("ini.tmp"))) << leaveQuestions().first().toStdString();
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();

    // The close box asks the same; No keeps the window open.
    desktop.prompts.answerNext(Answer::No);
    EXPECT_FALSE(main.close());
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(leaveQuestions().size(), 2);
    EXPECT_EQ(folder.readBytes("list.ini"), before);

    // Yes leaves, once asked.
    desktop.prompts.answerNext(Answer::Yes);
    clickExit();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(leaveQuestions().size(), 3);
    EXPECT_EQ(folder.readBytes("list.ini"), before);
}

TEST_F(SettingsFileTest, aFullDiskAtExitAsksAndYesLeaves)
{
    TFoablak& main = start();
    // A file may not grow: writing the new settings fails as on a full disk.
    rlimit old = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit none = old;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    desktop.prompts.answerNext(Answer::Yes);
    const bool closed = main.close();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(closed);
    ASSERT_EQ(leaveQuestions().size(), 1);
    EXPECT_TRUE(leaveQuestions().first().contains(folder.file("ini.tmp"))) << leaveQuestions().first().toStdString();
    EXPECT_EQ(folder.readBytes("list.ini"), settingsOf(catalogue->path())) << "the old settings stay whole";
    EXPECT_FALSE(QFile::exists(folder.file("ini.tmp")));
}

TEST_F(SettingsFileTest, aReadOnlyProgramWithoutAWritableConfigurationFolderStillLeaves)
{
    desktop.directory.makeReadOnly();
    // The configuration folder cannot be made: a plain file stands where it would go.
    QFile blocker(config.path() + QStringLiteral("/mediatar"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TFoablak& main = start();
    desktop.prompts.answerNext(Answer::Yes);
    clickExit();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(leaveQuestions().size(), 1);
}

TEST_F(SettingsFileTest, aSettingsFileThatIsAFifoDoesNotHoldUpTheStart)
{
    QFile::remove(folder.file("list.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.file("list.ini")).constData(), 0600), 0);
    desktop.files.chooseNext(catalogue->path());
    TFoablak& main = start();
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    const QString notice = desktop.prompts.informations.first();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("A beállítások file-ja nem olvasható:\r") + folder.file("list.ini")))
        << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("nem közönséges file")));
    // The defaults: the shipped language, and a catalogue from the open dialog.
    EXPECT_EQ(desktop.files.shown, 1);
    EXPECT_EQ(main.languageFile, QStringLiteral("HU_magyar.lng"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    // The exit puts a real settings file in its place.
    EXPECT_TRUE(main.close());
    EXPECT_EQ(folder.readBytes("list.ini"), settingsOf(catalogue->path()));
}

TEST_F(SettingsFileTest, aSettingsFileThatIsAFolderIsReportedAndTheExitOffersToLeave)
{
    QFile::remove(folder.file("list.ini"));
    ASSERT_TRUE(QDir(folder.path()).mkdir("list.ini"));
    desktop.files.chooseNext(catalogue->path());
    TFoablak& main = start();
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.first().contains(QStringLiteral("ez egy mappa, nem file")));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    desktop.prompts.answerNext(Answer::Yes);
    clickExit();
    EXPECT_FALSE(main.isVisible());
    ASSERT_EQ(leaveQuestions().size(), 1);
    // The system's text is told in Hungarian and kept after "Eredeti üzenet:".
    const QString question = leaveQuestions().first();
    EXPECT_TRUE(question.contains(QStringLiteral("\rA megadott név egy mappáé, nem file-é.\r\rEredeti üzenet: ") +
                                  folder.file("list.ini") + QStringLiteral(": ")))
        << question.toStdString();
}

TEST_F(SettingsFileTest, aSettingsFileThatCannotBeOpenedIsReported)
{
    // A link to itself: it is there, but no one can open it.
    QFile::remove(folder.file("list.ini"));
    ASSERT_EQ(::symlink("list.ini", QFile::encodeName(folder.file("list.ini")).constData()), 0);
    desktop.files.chooseNext(catalogue->path());
    TFoablak& main = start();
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.first().contains(QString::fromLocal8Bit(std::strerror(ELOOP))))
        << desktop.prompts.informations.first().toStdString();
    EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());
    EXPECT_TRUE(main.close());
    EXPECT_EQ(folder.readBytes("list.ini"), settingsOf(catalogue->path()));
}

} // namespace
