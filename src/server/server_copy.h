// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <functional>

// Whole catalogues between a file and a server, all or nothing: the target gets every row of every table or
// nothing at all, and the row counts of source and target are compared before the copy is kept.

namespace server {

struct CopyCounts
{
    qint64 rows = 0; // rows copied, all tables together
};

// Copies the catalogue file at path into the (empty) database at uri: the schema and every row, in one server
// transaction. Album keys are kept, so tracks keep their albums. Throws platform::Failure; the server is then
// as it was.
CopyCounts copyFileToServer(const QString& path, const QString& uri);
// Copies the rows of the catalogue file at path into the catalogue at uri, which 'create' made and which holds no
// rows (with replaceRows, its rows are replaced), in one server transaction. Album keys are kept. Throws
// platform::Failure; the server is then as it was.
CopyCounts fillServerCatalogue(const QString& path, const QString& uri, bool replaceRows);

struct FileCopyOptions
{
    bool replaceExisting = false; // an existing file at path is replaced (never one that a program has open)
    QString purpose = QStringLiteral("copy"); // names the temporary file (store::NewCatalogueFile)
    // Called with the finished temporary file before it takes its name; throws platform::Failure to refuse it.
    std::function<void(const QString& temporaryPath)> verify;
};

// Copies the catalogue at uri into a new file at path, which must not exist unless options say so, from one
// consistent snapshot of the server. Throws platform::Failure; no file is left behind.
CopyCounts copyServerToFile(const QString& uri, const QString& path, const FileCopyOptions& options = {});

} // namespace server
