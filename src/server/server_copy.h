#pragma once

#include <QString>

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
// Copies the catalogue at uri into a new file at path, which must not exist, from one consistent snapshot of
// the server. Throws platform::Failure; no file is left behind.
CopyCounts copyServerToFile(const QString& uri, const QString& path);

} // namespace server
