// SPDX-License-Identifier: GPL-3.0-or-later

#include "tool_support.h"

#include <QElapsedTimer>
#include <fcntl.h>
#include <unistd.h>

using namespace tool_test;

namespace {

class CommandLineTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir;
};

TEST_F(CommandLineTest, optionValuesComeWithOrWithoutAnEqualsSignAndBadOnesAreNamed)
{
    ToolRun run = runTool({QStringLiteral("generate"), path(QStringLiteral("a.tnx")), QStringLiteral("--rows=20"),
                           QStringLiteral("--seed=3")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    run = runTool({QStringLiteral("generate"), QStringLiteral("--rows"), QStringLiteral("20"), QStringLiteral("--seed"),
                   QStringLiteral("3"), path(QStringLiteral("b.tnx"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(fileHash(path(QStringLiteral("a.tnx"))).isEmpty(), false);
    EXPECT_EQ(queryRows(path(QStringLiteral("a.tnx")), QStringLiteral("SELECT group_concat(ELOADO) FROM eloado")),
              queryRows(path(QStringLiteral("b.tnx")), QStringLiteral("SELECT group_concat(ELOADO) FROM eloado")));

    struct Case
    {
        QStringList args;
        QString error;
    };
    const QList<Case> cases = {
        {{QStringLiteral("generate"), path(QStringLiteral("c.tnx")), QStringLiteral("--rows"), QStringLiteral("abc")},
         QStringLiteral("mediatar-catalogue generate: --rows: 'abc' is not a whole number")},
        {{QStringLiteral("generate"), path(QStringLiteral("c.tnx")), QStringLiteral("--rows=12x")},
         QStringLiteral("--rows: '12x' is not a whole number")},
        {{QStringLiteral("generate"), path(QStringLiteral("c.tnx")), QStringLiteral("--rows=-1")},
         QStringLiteral("--rows: -1 is out of range (0 to 100000000)")},
        {{QStringLiteral("generate"), path(QStringLiteral("c.tnx"))}, QStringLiteral("--rows is missing")},
        {{QStringLiteral("generate"), path(QStringLiteral("c.tnx")), QStringLiteral("--rows")},
         QStringLiteral("missing value after '--rows'")},
        {{QStringLiteral("generate"), QStringLiteral("--rows=5")}, QStringLiteral("FILE|URI is missing")},
        {{QStringLiteral("import"), fixture(QStringLiteral("sample.tnx"))}, QStringLiteral("OUT|URI is missing")},
        {{QStringLiteral("import"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
         QStringLiteral("unexpected argument 'c'")},
        {{QStringLiteral("import"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--forse")},
         QStringLiteral("unknown option '--forse'")},
        {{QStringLiteral("check"), QStringLiteral("--force=1"), QStringLiteral("a")},
         QStringLiteral("unknown option '--force'")},
        {{QStringLiteral("create"), path(QStringLiteral("c.tnx")), QStringLiteral("--seed")},
         QStringLiteral("missing value after '--seed'")},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.args.join(' ').toStdString());
        run = runTool(test.args);
        EXPECT_EQ(run.code, 2);
        EXPECT_TRUE(run.err.contains(test.error)) << run.err.toStdString();
        // The usage line follows the reason, never stands in for it.
        EXPECT_TRUE(run.err.contains(QStringLiteral("\nusage: mediatar-catalogue ") + test.args.first()))
            << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("c.tnx"))));
}

TEST_F(CommandLineTest, versionAndHelpForEachCommand)
{
    ToolRun run = runTool({QStringLiteral("--version")});
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("mediatar-catalogue "))) << run.out.toStdString();
    EXPECT_EQ(run.out.count(QLatin1Char('\n')), 1);

    for (const char* command : {"create", "import", "export", "check", "generate"}) {
        SCOPED_TRACE(command);
        const ToolRun help = runTool({QStringLiteral("help"), QString::fromLatin1(command)});
        EXPECT_EQ(help.code, 0);
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: mediatar-catalogue ") + QLatin1String(command)))
            << help.out.toStdString();
        const ToolRun flag = runTool({QString::fromLatin1(command), QStringLiteral("--help")});
        EXPECT_EQ(flag.code, 0);
        EXPECT_EQ(flag.out, help.out);
        EXPECT_EQ(runTool({QString::fromLatin1(command), QStringLiteral("-h")}).out, help.out);
    }
    run = runTool({QStringLiteral("help")});
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.contains(QStringLiteral("help COMMAND"))) << run.out.toStdString();
    run = runTool({QStringLiteral("help"), QStringLiteral("nincs")});
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("unknown command 'nincs'"))) << run.err.toStdString();
}

TEST_F(CommandLineTest, aFileThatCannotBeReadIsToldWithTheSystemsReason)
{
    ToolRun run = runTool({QStringLiteral("check"), path(QStringLiteral("nincs.tnx"))});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("nincs.tnx: the file cannot be read (No such file or directory)")))
        << run.err.toStdString();
    run = runTool({QStringLiteral("import"), dir.path(), path(QStringLiteral("ki.tnx"))});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("the file cannot be read (Is a directory)"))) << run.err.toStdString();
    run = runTool({QStringLiteral("export"), path(QStringLiteral("nincs.tnx")), path(QStringLiteral("csv"))});
    EXPECT_TRUE(run.err.contains(QStringLiteral("(No such file or directory)"))) << run.err.toStdString();
    run = runTool({QStringLiteral("generate"), path(QStringLiteral("nincs/uj.tnx")), QStringLiteral("--rows=1")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("nincs: the folder does not exist"))) << run.err.toStdString();
}

// On a terminal, generate shows how far it is, as import does; into a pipe it writes nothing of the kind.
TEST_F(CommandLineTest, generateShowsItsProgressOnATerminal)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QByteArray terminal = ::ptsname(master);
    QProcess tool;
    tool.setChildProcessModifier([terminal] {
        const int slave = ::open(terminal.constData(), O_RDWR);
        if (slave >= 0)
            ::dup2(slave, STDERR_FILENO);
    });
    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL),
               {QStringLiteral("generate"), path(QStringLiteral("nagy.tnx")), QStringLiteral("--rows=3000")});
    ASSERT_TRUE(tool.waitForFinished(120000));
    EXPECT_EQ(tool.exitCode(), 0);
    QByteArray shown;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, got);
    ::close(master);
    EXPECT_TRUE(shown.contains("generating: ")) << shown.constData();
    EXPECT_TRUE(shown.contains("of 21000 rows (")) << shown.constData();
    // The line is cleared at the end, so the terminal is left clean for the summary.
    EXPECT_TRUE(shown.endsWith("\r\033[K")) << shown.constData();

    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL),
               {QStringLiteral("generate"), path(QStringLiteral("cso.tnx")), QStringLiteral("--rows=3000")});
    ASSERT_TRUE(tool.waitForFinished(120000));
    EXPECT_FALSE(tool.readAllStandardError().contains("generating"));
}

} // namespace

// Every command that takes a server URI where it takes a file: a server that cannot be reached is told with the
// URI without its password, and nothing is written anywhere.
TEST(ServerUriArguments, anUnreachableServerIsToldWithoutItsPasswordAndNothingIsWritten)
{
    QTemporaryDir dir;
    const QString uri =
        QStringLiteral("postgresql://mediatar:Titok%25jelszo@/katalogus?host=%1/nincs&password=masik").arg(dir.path());
    const QString shown = QStringLiteral("postgresql://mediatar@/katalogus?host=%1/nincs").arg(dir.path());
    QDir().mkpath(dir.filePath(QStringLiteral("csv")));
    QFile csv(dir.filePath(QStringLiteral("csv/games.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("NEV,Megjegyzes,MERET,KOD\r\nEgy,,,\r\n");
    csv.close();
    const QStringList before = folderEntries(dir.path());
    const QList<QStringList> commands = {
        {QStringLiteral("export"), uri, dir.filePath(QStringLiteral("ki"))},
        {QStringLiteral("generate"), uri, QStringLiteral("--rows=3")},
        {QStringLiteral("import-csv"), dir.filePath(QStringLiteral("csv")), uri},
        {QStringLiteral("import-csv"), dir.filePath(QStringLiteral("csv")), uri, QStringLiteral("--force")},
        {QStringLiteral("backup"), uri, dir.filePath(QStringLiteral("mentes.tnx"))},
        {QStringLiteral("check"), QStringLiteral("--repair"), uri},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("mediatar-catalogue %1: %2: ").arg(args.first(), shown)))
            << run.err.toStdString();
        EXPECT_FALSE((run.out + run.err).contains(QStringLiteral("Titok"))) << run.err.toStdString();
        EXPECT_FALSE((run.out + run.err).contains(QStringLiteral("masik"))) << run.err.toStdString();
        EXPECT_EQ(folderEntries(dir.path()), before);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("ki"))));
    }
}
