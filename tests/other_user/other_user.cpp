// SPDX-License-Identifier: GPL-3.0-or-later

// Another user's program on the same server catalogue, for the tests of several users at once: it writes with
// the program's own statements and transactions, from a process of its own, and says "kész" when done.
//
//   other_user URI add-game NAME
//   other_user URI rename-game OLD NEW
//   other_user URI record-albums ARTIST ALBUM COUNT TRACKPREFIX

#include "entry_dialog/record_statements.h"
#include "platform/failure.h"
#include "catalogue/query_channel.h"
#include "engine/write_transaction.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

void addGame(catalogue::QueryChannel& channel, const QString& name)
{
    channel.setStatement(
        record_sql::gameInsert({name, QStringLiteral("FPS"), QStringLiteral("40 MB"), QStringLiteral("G9")}));
    channel.execute();
}

void renameGame(catalogue::QueryChannel& channel, const QString& old, const QString& name)
{
    const auto rows = channel.fetch(engine::Statement().sqlOnly(
        QStringLiteral("SELECT rowid, nev, megjegyzes, meret, kod FROM games WHERE nev = ?"), {old}));
    if (rows.size() != 1)
        throw platform::Failure(QStringLiteral("nincs egyetlen „%1” játék").arg(old));
    const QVariantList& row = rows.front();
    record_sql::RowKey key{row.at(1).toString(), row.at(3).toString(), row.at(0), {}};
    key.seen = {{QStringLiteral("nev"), row.at(1).toString()},
                {QStringLiteral("megjegyzes"), row.at(2).toString()},
                {QStringLiteral("meret"), row.at(3).toString()},
                {QStringLiteral("kod"), row.at(4).toString()}};
    channel.setStatement(
        record_sql::gameUpdate({name, row.at(2).toString(), row.at(3).toString(), row.at(4).toString()}, key));
    channel.execute();
    if (channel.changedRows() != 1)
        throw platform::Failure(QStringLiteral("a játék időközben megváltozott"));
}

// Each album with its first track in one transaction, as the entry dialog records them.
void recordAlbums(catalogue::QueryChannel& channel, const QString& artist, const QString& album, int count,
                  const QString& prefix)
{
    for (int i = 0; i < count; ++i) {
        engine::WriteTransaction transaction(channel);
        channel.setStatement(record_sql::albumInsert(artist, album));
        channel.execute();
        const qint64 inserted = channel.lastInsertedKey();
        channel.setStatement(record_sql::albumKeyQuery(artist, album, inserted));
        channel.open();
        const QString key = channel.fieldText(0, QStringLiteral("kod"));
        channel.setStatement(
            record_sql::trackInsert({prefix + QString::number(i), QStringLiteral("00:03:00"), QStringLiteral("5 MB"),
                                     QStringLiteral("192"), QStringLiteral("CD")},
                                    key));
        channel.execute();
        transaction.commit();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() < 3) {
        err << "other_user URI COMMAND ...\n";
        return 2;
    }
    catalogue::QueryChannel channel(QStringLiteral("other_user"));
    channel.pointAt(arguments.at(1));
    const QString command = arguments.at(2);
    try {
        if (command == QLatin1String("add-game") && arguments.size() == 4)
            addGame(channel, arguments.at(3));
        else if (command == QLatin1String("rename-game") && arguments.size() == 5)
            renameGame(channel, arguments.at(3), arguments.at(4));
        else if (command == QLatin1String("record-albums") && arguments.size() == 7)
            recordAlbums(channel, arguments.at(3), arguments.at(4), arguments.at(5).toInt(), arguments.at(6));
        else {
            err << "ismeretlen parancs: " << command << "\n";
            return 2;
        }
    } catch (const platform::Failure& failure) {
        err << failure.text() << "\n";
        return 1;
    }
    out << "kész\n";
    return 0;
}
