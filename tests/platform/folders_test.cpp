// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(FoldersTest, theUserSettingsFolderFollowsXdgConfigHome)
{
    QTemporaryDir home;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    const bool hadOld = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    EXPECT_EQ(platform::userSettingsFolder(), home.path() + QStringLiteral("/mediatar/"));
    if (hadOld)
        qputenv("XDG_CONFIG_HOME", old);
    else
        qunsetenv("XDG_CONFIG_HOME");

    // In Qt's test mode the folder moves to the test's own configuration place, as every standard path does.
    QStandardPaths::setTestModeEnabled(true);
    const QString testFolder = platform::userSettingsFolder();
    QStandardPaths::setTestModeEnabled(false);
    EXPECT_TRUE(testFolder.contains(QStringLiteral(".qttest"))) << testFolder.toStdString();
    EXPECT_TRUE(testFolder.endsWith(QStringLiteral("/mediatar/")));
}

TEST(FoldersTest, theInstalledDataFolderLiesBesideTheProgramsFolder)
{
    EXPECT_EQ(platform::installedDataFolder(QStringLiteral("/usr/bin/")), QStringLiteral("/usr/share/mediatar/"));
    EXPECT_EQ(platform::installedDataFolder(QStringLiteral("/opt/mediatar/bin")),
              QStringLiteral("/opt/mediatar/share/mediatar/"));
}

TEST(FoldersTest, writableFolders)
{
    QTemporaryDir dir;
    EXPECT_TRUE(platform::isWritableFolder(dir.path()));
    EXPECT_FALSE(platform::isWritableFolder(dir.path() + QStringLiteral("/nincs")));
    EXPECT_FALSE(platform::isWritableFolder(QString()));
    QFile plain(dir.path() + QStringLiteral("/file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_FALSE(platform::isWritableFolder(plain.fileName()));
    if (::geteuid() != 0) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(platform::isWritableFolder(dir.path()));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace
