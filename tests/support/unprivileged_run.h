// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <unistd.h>

inline void skipUnprivileged(const QString& binary)
{
    GTEST_SKIP() << "running as root, and " << binary.toStdString()
                 << " cannot be run by an unprivileged user to make the file truly read-only";
}

// Runs the test body as an unprivileged user when the tests run as root, who ignores file modes: the body is
// the same test binary run again under setpriv as nobody. Returns true when the caller is to stop (the run
// happened elsewhere, or cannot happen).
inline bool runUnprivileged()
{
    if (::geteuid() != 0 || qEnvironmentVariableIsSet("MEDIATAR_UNPRIVILEGED_RUN"))
        return false;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) {
        ADD_FAILURE() << "running as root needs setpriv to make a file read-only for the program";
        return true;
    }
    // The test binary must be reachable for that user (a build under a private home folder is not).
    const QString binary = QCoreApplication::applicationFilePath();
    if (QProcess::execute(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                    QStringLiteral("--clear-groups"), QStringLiteral("--"), QStringLiteral("test"),
                                    QStringLiteral("-x"), binary}) != 0) {
        skipUnprivileged(binary);
        return true;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MEDIATAR_UNPRIVILEGED_RUN"), QStringLiteral("1"));
    environment.insert(QStringLiteral("HOME"), QDir::tempPath());
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                        QStringLiteral("--clear-groups"), QStringLiteral("--"), binary,
                        QStringLiteral("--gtest_filter=%1.%2")
                            .arg(QLatin1String(test->test_suite_name()), QLatin1String(test->name()))});
    run.waitForFinished(120000);
    const QString output = QString::fromUtf8(run.readAll());
    EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    return true;
}
