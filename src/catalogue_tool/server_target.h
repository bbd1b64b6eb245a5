// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QTemporaryDir>

// A catalogue on a server as the target of an import. The rows are read first into a new file in a private
// temporary folder, through the same writer and with the same checks as a file target, and only when that file
// is complete do they go into the server, in one transaction: a fault found on line 90,000 of a CSV file leaves
// the server as it was, and so does a server lost halfway.

namespace catalogue_tool {

class ServerTarget
{
public:
    // Refuses, before any work, a target that is no catalogue ('create' makes one) or, unless replaceRows, one
    // that holds rows. Throws platform::Failure.
    ServerTarget(const QString& uri, bool replaceRows);
    ServerTarget(const ServerTarget&) = delete;
    ServerTarget& operator=(const ServerTarget&) = delete;

    // Where the import writes its new file.
    QString stagingPath() const;
    // The URI without its password, for messages.
    QString shown() const;
    // Puts the rows of the finished file into the server, replacing its rows when told to; the same look at the
    // target is made again inside the transaction. Throws platform::Failure; the server is then as it was.
    void commit();

private:
    QString m_uri;
    bool m_replaceRows;
    QTemporaryDir m_folder;
};

} // namespace catalogue_tool
