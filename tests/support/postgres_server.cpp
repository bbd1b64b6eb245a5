// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/postgres_server.h"

#include "platform/failure.h"
#include "server/client_library.h"
#include "server/connection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace test_server {

namespace {

const char binaries[] = "/usr/lib/postgresql/15/bin/";
const char folderPattern[] = "mediatar-pg.";
// The socket path (folder + "/.s.PGSQL.5432") must stay under the kernel's limit of about 107 bytes: the folder
// is always directly under /tmp, whatever TMPDIR says.
const char tempRoot[] = "/tmp";

bool alive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Forks and runs program with args, its output going to log; as the postgres user when this process is root,
// and with SIGINT sent to it when this process ends. Gives the child's pid, or -1.
pid_t spawn(const QString& folder, const QString& program, const QStringList& args, const QString& log)
{
    std::vector<QByteArray> words;
    const QString setpriv = QStringLiteral("/usr/bin/setpriv");
    words.push_back(setpriv.toUtf8());
    if (::geteuid() == 0) {
        words.push_back("--reuid=postgres");
        words.push_back("--regid=postgres");
        words.push_back("--clear-groups");
    }
    // After the change of user: a change of credentials clears a parent-death signal set before it.
    words.push_back("--pdeathsig=INT");
    words.push_back("--");
    words.push_back(program.toUtf8());
    for (const QString& arg : args)
        words.push_back(arg.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const QByteArray folderPath = folder.toUtf8();
    const QByteArray logPath = log.toUtf8();
    const int output = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output < 0)
        return -1;
    // The fork happens on the calling thread, the main one: the parent-death signal follows the thread that
    // forked, and the tests start the server from the main thread.
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            ::dup2(devNull, STDIN_FILENO);
        if (::chdir(folderPath.constData()) != 0)
            ::_exit(126);
        ::execv(argv.front(), argv.data());
        ::_exit(127);
    }
    ::close(output);
    return pid;
}

QString logText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

void stopAtExit()
{
    PostgresServer::instance().stop();
}

} // namespace

// Folders of runs that were killed: their owner is gone. A server still running there (it gets SIGINT when its
// owner dies, but may still be shutting down) is waited for before its folder goes.
void removeStaleFolders()
{
    const QDir root(QString::fromLatin1(tempRoot));
    const QStringList folders =
        root.entryList({QLatin1String(folderPattern) + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : folders) {
        const QString folder = root.filePath(name);
        bool ok = false;
        const pid_t owner = static_cast<pid_t>(logText(folder + QStringLiteral("/owner")).toInt(&ok));
        if (!ok || alive(owner))
            continue; // still in use, or not one of ours
        const pid_t postmaster = static_cast<pid_t>(
            logText(folder + QStringLiteral("/data/postmaster.pid")).section(QLatin1Char('\n'), 0, 0).toInt());
        QElapsedTimer waited;
        waited.start();
        while (alive(postmaster) && waited.elapsed() < 5000)
            QThread::msleep(50);
        if (!alive(postmaster))
            QDir(folder).removeRecursively();
    }
}

PostgresServer& PostgresServer::instance()
{
    // Never destroyed: the stop at exit runs after the destructors of static objects would have run.
    static PostgresServer* const server = [] {
        auto* started = new PostgresServer;
        std::atexit(stopAtExit);
        return started;
    }();
    return *server;
}

PostgresServer::PostgresServer()
{
    start();
}

void PostgresServer::start()
{
    removeStaleFolders();
    QByteArray pattern = QByteArray(tempRoot) + '/' + folderPattern + "XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        m_failure =
            QStringLiteral("cannot make a folder for the test server: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    m_folder = QString::fromUtf8(pattern);
    QFile owner(m_folder + QStringLiteral("/owner"));
    if (owner.open(QIODevice::WriteOnly))
        owner.write(QByteArray::number(static_cast<qint64>(::getpid())));
    owner.close();
    if (::geteuid() == 0) {
        const passwd* postgres = ::getpwnam("postgres");
        if (!postgres || ::chown(pattern.constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
            m_failure = QStringLiteral("running as root, and the user postgres cannot own %1").arg(m_folder);
            return;
        }
    }
    const QString bin = QString::fromLatin1(binaries);
    const QString data = m_folder + QStringLiteral("/data");
    const QString initLog = m_folder + QStringLiteral("/initdb.log");
    const pid_t initdb =
        spawn(m_folder, bin + QStringLiteral("initdb"),
              {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-U"),
               QStringLiteral("postgres"), QStringLiteral("-E"), QStringLiteral("UTF8"),
               QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync"), QStringLiteral("--no-instructions")},
              initLog);
    int status = 0;
    if (initdb < 0 || ::waitpid(initdb, &status, 0) != initdb || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        m_failure = QStringLiteral("initdb failed:\n%1").arg(logText(initLog));
        return;
    }
    if (!askForThePasswordRole(data))
        return;
    const QString serverLog = m_folder + QStringLiteral("/server.log");
    const pid_t postgres =
        spawn(m_folder, bin + QStringLiteral("postgres"),
              {QStringLiteral("-D"), data, QStringLiteral("-k"), m_folder, QStringLiteral("-c"),
               QStringLiteral("listen_addresses="), QStringLiteral("-F"), QStringLiteral("-c"),
               QStringLiteral("full_page_writes=off"), QStringLiteral("-c"), QStringLiteral("synchronous_commit=off")},
              serverLog);
    if (postgres < 0) {
        m_failure = QStringLiteral("cannot start postgres");
        return;
    }
    const QByteArray ping = QStringLiteral("host=%1 dbname=postgres user=postgres").arg(m_folder).toUtf8();
    QElapsedTimer waited;
    waited.start();
    // Through the program's own loader: the tests link no libpq of their own.
    while (server::pq().PQping(ping.constData()) != PQPING_OK) {
        if (::waitpid(postgres, &status, WNOHANG) == postgres) {
            m_failure = QStringLiteral("postgres ended at start:\n%1").arg(logText(serverLog));
            return;
        }
        if (waited.elapsed() > 30000) {
            ::kill(postgres, SIGKILL);
            ::waitpid(postgres, &status, 0);
            m_failure = QStringLiteral("postgres did not answer within 30 s:\n%1").arg(logText(serverLog));
            return;
        }
        QThread::msleep(20);
    }
    m_pid = postgres;
    if (!addPasswordRole())
        stop();
}

// The first line of the client rules that matches wins: the password role's goes before the trusting ones.
bool PostgresServer::askForThePasswordRole(const QString& data)
{
    QFile rules(data + QStringLiteral("/pg_hba.conf"));
    if (!rules.open(QIODevice::ReadWrite)) {
        m_failure = QStringLiteral("cannot change %1: %2").arg(rules.fileName(), rules.errorString());
        return false;
    }
    const QByteArray trusting = rules.readAll();
    rules.seek(0);
    rules.write("local all " + passwordRole().toUtf8() + " scram-sha-256\n" + trusting);
    return true;
}

bool PostgresServer::addPasswordRole()
{
    try {
        server::Connection connection(uri(QStringLiteral("postgres")));
        // A role's name and password cannot be bound in CREATE ROLE; a function takes them as values and quotes
        // them itself. A superuser: the role is there for the password, not for privileges.
        connection.run(QStringLiteral(
            "CREATE FUNCTION pg_temp.add_password_role(role text, password text) RETURNS void LANGUAGE plpgsql AS "
            "$$BEGIN EXECUTE format('CREATE ROLE %I LOGIN SUPERUSER PASSWORD %L', role, password); END$$"));
        connection.run(QStringLiteral("SELECT pg_temp.add_password_role($1, $2)"), {passwordRole(), rolePassword()});
    } catch (const platform::Failure& failure) {
        m_failure = QStringLiteral("cannot add the role %1: %2").arg(passwordRole(), failure.text());
        return false;
    }
    return true;
}

void PostgresServer::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGINT); // fast shutdown: ends the sessions, no checkpoint wait for clients
        int status = 0;
        QElapsedTimer waited;
        waited.start();
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (waited.elapsed() > 10000) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            QThread::msleep(10);
        }
        m_pid = -1;
    }
    if (!m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
    m_folder.clear();
}

QString PostgresServer::uri(const QString& database) const
{
    return QStringLiteral("postgresql:///%1?host=%2&user=postgres").arg(database, m_folder);
}

QString PostgresServer::passwordUri(const QString& database) const
{
    return QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(database, m_folder, passwordRole());
}

QString PostgresServer::newDatabase(const QString& name, bool hungarian)
{
    server::Connection connection(uri(QStringLiteral("postgres")));
    // A name of the test's own choosing: identifiers cannot be bound.
    connection.run(hungarian ? QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE template0 LOCALE_PROVIDER icu "
                                              "ICU_LOCALE 'hu-HU' LOCALE 'C.UTF-8'")
                                   .arg(name)
                             : QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE template0 LOCALE 'C'").arg(name));
    return uri(name);
}

} // namespace test_server
