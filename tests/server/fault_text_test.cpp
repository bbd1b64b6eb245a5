// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"
#include "server/client_library.h"
#include "server/connection.h"
#include "support/broken_server.h"
#include "support/postgres_server.h"
#include "support/reported_texts.h"

#include <QTemporaryDir>
#include <QUrl>
#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using test_server::BrokenServer;
using test_server::PostgresServer;

// The faults a server catalogue meets, caused for real: what libpq and the server say is explained in
// Hungarian, and the text itself stays for the report's "Eredeti üzenet" line.

namespace {

QString connectionFailure(const QString& uri)
{
    return failureOf([&] { server::Connection connection(uri); });
}

void expectExplained(const QString& original, const QString& meaning)
{
    ASSERT_FALSE(original.isEmpty()) << "the step did not fail";
    const QString explained = platform::explainOriginal(original);
    EXPECT_TRUE(explained.contains(meaning))
        << original.toStdString() << "\n  explained as: " << explained.toStdString();
    const QString report = platform::failureReport(QStringLiteral("A katalógus nem nyitható meg."), original);
    EXPECT_TRUE(report.endsWith(QStringLiteral("Eredeti üzenet: ") + original)) << report.toStdString();
}

TEST(ServerFaultTexts, anUnreachableOrUnknownCatalogueIsExplained)
{
    ASSERT_SERVER_RUNNING();
    PostgresServer& server = PostgresServer::instance();

    // No server at that socket folder.
    QTemporaryDir empty(QStringLiteral("/tmp/mediatar-nopg.XXXXXX"));
    expectExplained(connectionFailure(QStringLiteral("postgresql:///lista?host=%1").arg(empty.path())),
                    QStringLiteral("A szerver nem érhető el"));
    int freePort = 0;
    {
        BrokenServer probe(BrokenServer::Behaviour::Close);
        freePort = probe.port();
        const QString refused = connectionFailure(QStringLiteral("postgresql://x@127.0.0.1:%1/lista").arg(freePort));
        // The probe accepted and closed: that is a server that hung up, not one that is missing.
        expectExplained(refused, QStringLiteral("váratlanul bontotta a kapcsolatot"));
    }
    // Then nothing listens on that port.
    expectExplained(connectionFailure(QStringLiteral("postgresql://x@127.0.0.1:%1/lista").arg(freePort)),
                    QStringLiteral("nem fut PostgreSQL-szerver"));

    // The server is there, the database is not.
    expectExplained(connectionFailure(server.uri(QStringLiteral("nincs_ilyen"))),
                    QStringLiteral("nincs „nincs_ilyen” nevű adatbázis"));
}

TEST(ServerFaultTexts, aMissingOrRefusedPasswordIsExplained)
{
    ASSERT_SERVER_RUNNING();
    PostgresServer& server = PostgresServer::instance();
    const QString uri = server.passwordUri(QStringLiteral("postgres"));
    expectExplained(connectionFailure(uri), QStringLiteral("jelszót kér"));
    expectExplained(connectionFailure(uri + QStringLiteral("&password=rossz")),
                    QStringLiteral("nem fogadta el a jelszót"));
    // The right one lets the role in.
    const QString right =
        QStringLiteral("postgresql://%1:%2@/postgres?host=%3")
            .arg(PostgresServer::passwordRole(),
                 QString::fromLatin1(QUrl::toPercentEncoding(PostgresServer::rolePassword())), server.folder());
    EXPECT_TRUE(connectionFailure(right).isEmpty()) << connectionFailure(right).toStdString();
}

TEST(ServerFaultTexts, tlsAndTimeOutFaultsAreExplained)
{
    {
        const BrokenServer plain(BrokenServer::Behaviour::NoTls);
        expectExplained(
            connectionFailure(QStringLiteral("postgresql://x@127.0.0.1:%1/lista?sslmode=require").arg(plain.port())),
            QStringLiteral("titkosított (TLS) kapcsolat"));
    }
    {
        const BrokenServer silent(BrokenServer::Behaviour::Silent);
        expectExplained(
            connectionFailure(QStringLiteral("postgresql://x@127.0.0.1:%1/lista?connect_timeout=1").arg(silent.port())),
            QStringLiteral("nem válaszolt időben"));
    }
}

TEST(ServerFaultTexts, aConnectionEndedByTheServerAndAMissingPrivilegeAreExplained)
{
    ASSERT_SERVER_RUNNING();
    PostgresServer& server = PostgresServer::instance();
    const QString uri = server.newDatabase(QStringLiteral("faults"));
    server::Connection owner(uri);
    owner.run(QStringLiteral("CREATE TABLE games (NEV text)"));
    owner.run(QStringLiteral("CREATE ROLE csak_belepo LOGIN"));

    // A user whose role may not read the table.
    server::Connection stranger(QStringLiteral("postgresql:///faults?host=%1&user=csak_belepo").arg(server.folder()));
    expectExplained(failureOf([&] { stranger.run(QStringLiteral("SELECT * FROM games")); }),
                    QStringLiteral("nincs joga a katalógus „games” táblájához"));

    // The administrator ends the session.
    server::Connection victim(uri);
    const QString pid = victim.single(QStringLiteral("SELECT pg_backend_pid()"));
    owner.run(QStringLiteral("SELECT pg_terminate_backend($1::int)"), {pid});
    expectExplained(failureOf([&] { victim.run(QStringLiteral("SELECT 1")); }),
                    QStringLiteral("leállították vagy újraindították"));
    // A statement on a catalogue that lacks a table.
    expectExplained(failureOf([&] { owner.run(QStringLiteral("SELECT * FROM eloado")); }),
                    QStringLiteral("nincs „eloado” nevű tábla"));
}

} // namespace

// A session ended over TLS is no fault of the encryption, an unknown parameter in the URI is named, and a write
// that gave up waiting says so.
TEST(ServerFaultTexts, theRealCauseIsNamed)
{
    const struct
    {
        const char* original;
        const char* meaning;
        const char* notMeaning;
    } cases[] = {
        {"SSL connection has been closed unexpectedly", "váratlanul bontotta a kapcsolatot", "TLS"},
        {"FATAL:  terminating connection due to administrator command\nSSL connection has been closed unexpectedly",
         "leállították vagy újraindították", "TLS"},
        {"ERROR:  canceling statement due to lock timeout", "nem engedte el időben", "nem válaszolt"},
        {"ERROR:  canceling statement due to statement timeout", "nem végezte el a műveletet időben", "TLS"},
    };
    for (const auto& known : cases) {
        const QString explained = platform::explainOriginal(QString::fromUtf8(known.original));
        EXPECT_TRUE(explained.contains(QString::fromUtf8(known.meaning)))
            << known.original << ": " << explained.toStdString();
        EXPECT_FALSE(explained.contains(QString::fromUtf8(known.notMeaning))) << known.original;
    }
    expectExplained(connectionFailure(QStringLiteral("postgresql://x@127.0.0.1:1/lista?foo=bar")),
                    QStringLiteral("ismeretlen paraméter áll: „foo”"));
}

// The client library is loaded at the first connection: a machine without it, or with one too old, is told which
// library it lacks; once it is there, the next connection just works.
TEST(ServerFaultTexts, aMissingOrTooOldClientLibraryIsNamedAndTheNextConnectionFindsItOnceThere)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = PostgresServer::instance().uri(QStringLiteral("postgres"));
    const QString installed = server::clientLibraryName();
    const struct
    {
        const char* library;
        const char* meaning;
    } cases[] = {
        {"libpq-nincs.so.5", "nincs meg a PostgreSQL-szerverek eléréséhez szükséges „libpq-nincs.so.5” könyvtár"},
        // A library that loads but has none of libpq's functions.
        {"libz.so.1", "PostgreSQL-ügyfélkönyvtár („libz.so.1”) túl régi"},
    };
    for (const auto& missing : cases) {
        server::setClientLibraryName(QString::fromLatin1(missing.library));
        const QString failure = connectionFailure(uri);
        server::setClientLibraryName(installed);
        SCOPED_TRACE(missing.library);
        expectExplained(failure, QString::fromUtf8(missing.meaning));
        EXPECT_TRUE(connectionFailure(uri).isEmpty()) << connectionFailure(uri).toStdString();
    }
}
