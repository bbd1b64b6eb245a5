#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "support/qt_printing.h"

// A real catalogue file in a temporary directory, filled row by row, for tests.
class TestCatalogue
{
public:
    // Creates an empty catalogue named file in dir.
    explicit TestCatalogue(const QString& dir, const QString& file = QStringLiteral("katalogus.tnx"));
    ~TestCatalogue();

    const QString& path() const { return m_path; }

    // Inserts a row with the values in the table's column order (a null QVariant stores NULL).
    void insert(const QString& table, const QVariantList& values);
    // Adds an album row and returns its key.
    qint64 addAlbum(const QString& artist, const QString& album);
    void addTrack(qint64 album, const QString& title, const QString& length, const QString& size,
                  const QString& bitrate, const QString& code);
    // Runs a statement directly, bypassing the program (for faults that another program causes).
    void exec(const QString& sql);
    // Every row of a statement, each as its values.
    QList<QVariantList> rows(const QString& sql) const;
    int count(const QString& table) const;

private:
    QString m_path;
    QString m_connection;
};

// A program directory in a temporary folder, with optional list.ini and language file.
class ProgramFolder
{
public:
    ProgramFolder();
    QString path() const; // with a trailing separator
    QString file(const QString& name) const { return path() + name; }
    // Writes list.ini from the two lines (code page 1250, CR LF).
    void writeSettings(const QString& catalogue, const QString& language = QStringLiteral("HU_magyar.lng"));
    void writeBytes(const QString& name, const QByteArray& bytes);
    QByteArray readBytes(const QString& name) const;
    // Copies the shipped Hungarian language file here.
    void installShippedLanguage();

private:
    QTemporaryDir m_dir;
};
