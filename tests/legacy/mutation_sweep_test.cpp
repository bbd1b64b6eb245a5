// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/tool_support.h"
#include "legacy/legacy_import.h"
#include "store/schema.h"

#include <algorithm>
#include <iostream>
#include <random>

using namespace tool_test;

namespace {

// Copies of the sample with a few bytes changed at places drawn from a fixed seed, so that every run reads the
// same copies. Whatever the damage, an import ends in one of three ways: refused, with nothing written; salvaged,
// with what was lost listed; or whole, and then every table holds as many rows as the sample's. The suite runs a
// quick sample; MEDIATAR_LEGACY_SWEEP=N runs N copies (a few thousand make the longer sweep), and
// MEDIATAR_LEGACY_SWEEP_FIRST=K starts at copy K, to run one copy again.
struct Mutation
{
    qsizetype offset = 0;
    QByteArray bytes;
};

constexpr qsizetype pageSize = 4096;

// The bytes of the pages that hold rows or table definitions, less the zeros of their free space: most of the
// sample is free space, where damage changes nothing.
std::vector<qsizetype> usedBytes(const QByteArray& file)
{
    std::vector<qsizetype> bytes;
    for (qsizetype page = 1; page < file.size() / pageSize; ++page)
        if (file.at(page * pageSize) == 1 || file.at(page * pageSize) == 2)
            for (qsizetype at = page * pageSize; at < (page + 1) * pageSize - 8; ++at)
                if (file.at(at) != 0)
                    bytes.push_back(at);
    return bytes;
}

// The rows of the catalogue at path that the one at reference does not have, in all tables.
qlonglong rowsNotIn(const QString& path, const QString& reference)
{
    sqlite3* db = nullptr;
    qlonglong rows = 0;
    EXPECT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* attach = nullptr;
    sqlite3_prepare_v2(db, "ATTACH ?1 AS reference", -1, &attach, nullptr);
    const QByteArray name = reference.toUtf8();
    sqlite3_bind_text(attach, 1, name.constData(), -1, SQLITE_STATIC);
    EXPECT_EQ(sqlite3_step(attach), SQLITE_DONE);
    sqlite3_finalize(attach);
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        const QByteArray sql =
            QStringLiteral("SELECT count(*) FROM (SELECT * FROM main.%1 EXCEPT SELECT * FROM reference.%1)")
                .arg(table.name)
                .toUtf8();
        sqlite3_stmt* count = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &count, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_step(count), SQLITE_ROW);
        rows += sqlite3_column_int64(count, 0);
        sqlite3_finalize(count);
    }
    sqlite3_close(db);
    return rows;
}

Mutation mutationOf(quint32 copy, const QByteArray& file, const std::vector<qsizetype>& used)
{
    // The engine's own output, not a distribution: the same numbers with every standard library.
    std::mt19937 random(20261209u + copy);
    Mutation mutation;
    // Three copies of four land on a byte in use, the fourth anywhere.
    if (random() % 4 != 0)
        mutation.offset = used[random() % used.size()];
    else
        mutation.offset = static_cast<qsizetype>(random() % static_cast<quint32>(file.size() - 8));
    switch (random() % 3) {
    case 0: // one byte
        mutation.bytes = QByteArray(1, static_cast<char>(random() % 256));
        break;
    case 1: // a run of zeros, as a sector that was never written
        mutation.bytes = QByteArray(8, '\0');
        break;
    default: // a few bytes of anything
        for (int i = 0; i < 4; ++i)
            mutation.bytes.append(static_cast<char>(random() % 256));
        break;
    }
    return mutation;
}

quint32 environmentNumber(const char* name, quint32 fallback)
{
    bool ok = false;
    const quint32 value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? value : fallback;
}

TEST(LegacyMutationSweep, everyDamagedCopyIsRefusedSalvagedOrWhole)
{
    SKIP_WITHOUT_FIXTURES();
    QFile sampleFile(fixture(QStringLiteral("sample.tnx")));
    ASSERT_TRUE(sampleFile.open(QIODevice::ReadOnly));
    const QByteArray sample = sampleFile.readAll();
    const QList<int> sampleRows = {6, 36, 15, 12, 10, 8, 8};
    const std::vector<qsizetype> used = usedBytes(sample);
    ASSERT_GT(used.size(), 1000u);
    QTemporaryDir referenceDir;
    const QString reference = referenceDir.filePath(QStringLiteral("minta.tnx"));
    legacy::importLegacyCatalogue(fixture(QStringLiteral("sample.tnx")), reference);

    const quint32 first = environmentNumber("MEDIATAR_LEGACY_SWEEP_FIRST", 0);
    const quint32 count = environmentNumber("MEDIATAR_LEGACY_SWEEP", 30);
    std::vector<quint32> copies;
    for (quint32 copy = first; copy < first + count; ++copy)
        copies.push_back(copy);
    // Copies that a longer sweep found imported whole with a column read from the wrong place or as no type at
    // all, or of a kind that no catalogue has, in every row: each has a damaged column definition, which must not
    // pass for a sound one.
    const std::vector<quint32> wrongColumns = {63, 342, 479, 594, 809, 1268};
    if (!qEnvironmentVariableIsSet("MEDIATAR_LEGACY_SWEEP"))
        copies.insert(copies.end(), wrongColumns.begin(), wrongColumns.end());
    int refused = 0;
    int salvaged = 0;
    int whole = 0;
    for (const quint32 copy : copies) {
        const Mutation mutation = mutationOf(copy, sample, used);
        SCOPED_TRACE(QStringLiteral("copy %1: %2 byte(s) at 0x%3 set to %4")
                         .arg(copy)
                         .arg(mutation.bytes.size())
                         .arg(mutation.offset, 0, 16)
                         .arg(QString::fromLatin1(mutation.bytes.toHex()))
                         .toStdString());
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("régi.tnx"));
        QByteArray bytes = sample;
        bytes.replace(mutation.offset, mutation.bytes.size(), mutation.bytes);
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const QString target = dir.filePath(QStringLiteral("új.tnx"));

        bool damaged = false;
        try {
            const legacy::ImportReport report = legacy::importLegacyCatalogue(source, target);
            EXPECT_TRUE(report.losses.empty());
            qsizetype index = 0;
            for (const engine::TableDefinition& table : engine::catalogueTables())
                EXPECT_EQ(queryRows(target, QStringLiteral("SELECT count(*) FROM %1").arg(table.name))
                              .value(0)
                              .value(0)
                              .toInt(),
                          sampleRows.value(index++))
                    << table.name.toStdString();
            // Changed bytes may change the values they are in (a letter for another), and no more: a few bytes
            // touch two rows at most.
            EXPECT_LE(rowsNotIn(target, reference), 2);
            EXPECT_EQ(std::count(wrongColumns.begin(), wrongColumns.end(), copy), 0);
            ++whole;
            continue;
        } catch (const legacy::DamagedSource& failure) {
            EXPECT_FALSE(failure.losses().empty());
            damaged = true;
        } catch (const platform::Failure& failure) {
            EXPECT_TRUE(failure.text().contains(QStringLiteral("damaged")) ||
                        failure.text().contains(QStringLiteral("Jet")))
                << failure.text().toStdString();
        }
        EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("régi.tnx")});
        if (!damaged) {
            ++refused;
            continue;
        }

        // What the refusal listed is what salvage imports around, as the program's conversion does.
        legacy::ImportOptions options;
        options.salvage = true;
        try {
            const legacy::ImportReport report = legacy::importLegacyCatalogue(source, target, options);
            EXPECT_FALSE(report.losses.empty());
            EXPECT_GT(report.totalRows(), 0u);
            EXPECT_EQ(folderEntries(dir.path()), (QStringList{QStringLiteral("régi.tnx"), QStringLiteral("új.tnx")}));
            ++salvaged;
            for (const legacy::Loss& loss : report.losses)
                if (loss.what.contains(QStringLiteral("reading")) && qEnvironmentVariableIsSet("MEDIATAR_LEGACY_SWEEP"))
                    std::cout << "copy " << copy << ": " << loss.table.toStdString() << ": " << loss.what.toStdString()
                              << "\n";
        } catch (const legacy::DamagedSource&) {
            ++refused; // nothing could be read
            EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("régi.tnx")});
        }
    }
    std::cout << copies.size() << " damaged copies: " << whole << " whole, " << salvaged << " salvaged, " << refused
              << " refused\n";
}

} // namespace
