// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/language_file.h"

#include "localisation/codepage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using localisation::convertLanguageId;
using localisation::LanguageScan;
using localisation::scanLanguageBytes;

namespace {

// A file of the version line and the given entry lines, CR LF after each.
LanguageScan scanLines(std::initializer_list<QByteArray> lines)
{
    QByteArray bytes = "1.0\r\n";
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return scanLanguageBytes(bytes);
}

std::vector<std::pair<int, QString>> entriesOf(const LanguageScan& scan)
{
    std::vector<std::pair<int, QString>> entries;
    for (const localisation::LanguageEntry& entry : scan.entries)
        entries.emplace_back(entry.id, entry.text);
    return entries;
}

using Entries = std::vector<std::pair<int, QString>>;

QString failureOf(const LanguageScan& scan)
{
    return scan.failure.value_or(QStringLiteral("<none>"));
}

TEST(LanguageLines, theTextLiesBetweenTwoDroppedDelimiters)
{
    EXPECT_EQ(entriesOf(scanLines({"1=\"abc\""})), (Entries{{1, "abc"}}));
    EXPECT_EQ(entriesOf(scanLines({"1=\"abc"})), (Entries{{1, "ab"}})) << "a missing closing quote costs a letter";
    EXPECT_EQ(entriesOf(scanLines({"1=\"abc\" "})), (Entries{{1, "abc\""}})) << "the blank is the last character";
    EXPECT_EQ(entriesOf(scanLines({"1=xabcx"})), (Entries{{1, "abc"}})) << "any character delimits";
    EXPECT_EQ(entriesOf(scanLines({"1="})), (Entries{{1, ""}}));
    EXPECT_EQ(entriesOf(scanLines({"1=\""})), (Entries{{1, ""}}));
    EXPECT_EQ(entriesOf(scanLines({"1=\"\""})), (Entries{{1, ""}}));
    EXPECT_EQ(entriesOf(scanLines({"1=\"\"\""})), (Entries{{1, "\""}}));
    EXPECT_EQ(entriesOf(scanLines({"1=\"a\rb\""})), (Entries{{1, "a\rb"}})) << "a lone CR does not end a line";
}

TEST(LanguageLines, everyEqualsSignAmongTheFirstTenIsAnEntry)
{
    // The first "=" stores a=b, the second one makes 2="a the ID text, which is no integer.
    const LanguageScan scan = scanLines({"101=\"x\"", "2=\"a=b\"", "3=\"never\""});
    EXPECT_EQ(entriesOf(scan), (Entries{{101, "x"}, {2, "a=b"}}));
    EXPECT_EQ(failureOf(scan), QStringLiteral("'2=\"a' is not a valid integer value"));

    // The tenth position still counts, the eleventh is ordinary text.
    EXPECT_EQ(failureOf(scanLines({"1=\"abcdef=x\""})), QStringLiteral("'1=\"abcdef' is not a valid integer value"));
    const LanguageScan beyond = scanLines({"1=\"abcdefg=x\""});
    EXPECT_FALSE(beyond.failure);
    EXPECT_EQ(entriesOf(beyond), (Entries{{1, "abcdefg=x"}}));

    // Two "=" signs at the start: the first stores the rest of the line, the second fails on 1=2.
    const LanguageScan twice = scanLines({"1=2=\"x\""});
    EXPECT_EQ(entriesOf(twice), (Entries{{1, "=\"x"}}));
    EXPECT_EQ(failureOf(twice), QStringLiteral("'1=2' is not a valid integer value"));
}

TEST(LanguageLines, onlyTheFirstTenCharactersMayHoldTheEquals)
{
    const LanguageScan scan = scanLines({"0000000002=\"ten\"", "000000002=\"nine\"", "; remark", "", "abc"});
    EXPECT_FALSE(scan.failure);
    EXPECT_EQ(entriesOf(scan), (Entries{{2, "nine"}}));
}

TEST(LanguageLines, anIdThatIsNoIntegerStopsTheScanKeepingWhatCameBefore)
{
    const LanguageScan empty = scanLines({"1=\"a\"", "=\"b\"", "2=\"c\""});
    EXPECT_EQ(entriesOf(empty), (Entries{{1, "a"}}));
    EXPECT_EQ(failureOf(empty), QStringLiteral("'' is not a valid integer value"));

    EXPECT_EQ(failureOf(scanLines({"="})), QStringLiteral("'' is not a valid integer value"));
    EXPECT_EQ(failureOf(scanLines({"abc=\"x\""})), QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(failureOf(scanLines({"2 =\"x\""})), QStringLiteral("'2 ' is not a valid integer value"));
    EXPECT_EQ(failureOf(scanLines({QByteArray("1\0=\"x\"", 6)})),
              QStringLiteral("'1") + QChar(0) + "' is not a valid integer value")
        << "a NUL is no digit";
}

TEST(LanguageLines, duplicateIdsAreAllCarriedOutInFileOrder)
{
    EXPECT_EQ(entriesOf(scanLines({"1=\"first\"", "2=\"other\"", "1=\"second\""})),
              (Entries{{1, "first"}, {2, "other"}, {1, "second"}}));
}

TEST(LanguageLines, bytesAreReadAsCodePage1250)
{
    const QByteArray text = localisation::encode1250(QStringLiteral("Árvíztűrő tükörfúrógép – ő")).value();
    const LanguageScan scan = scanLines({"1=\"" + text + "\""});
    EXPECT_EQ(entriesOf(scan), (Entries{{1, QStringLiteral("Árvíztűrő tükörfúrógép – ő")}}));

    // Every byte is one character, NUL and the undefined ones included.
    const LanguageScan odd = scanLines({QByteArray("1=\"a\0\x81z\"", 8)});
    ASSERT_EQ(odd.entries.size(), 1u);
    EXPECT_EQ(odd.entries[0].text.size(), 4);
    EXPECT_EQ(odd.entries[0].text.at(1), QChar(0));
}

TEST(LanguageIds, signsBlanksAndHexadecimal)
{
    EXPECT_EQ(convertLanguageId("2"), 2);
    EXPECT_EQ(convertLanguageId("0002"), 2);
    EXPECT_EQ(convertLanguageId(" 2"), 2);
    EXPECT_EQ(convertLanguageId("   +2"), 2);
    EXPECT_EQ(convertLanguageId("-2"), -2);
    EXPECT_EQ(convertLanguageId("$65"), 101);
    EXPECT_EQ(convertLanguageId("$cA"), 202);
    EXPECT_EQ(convertLanguageId("0x65"), 101);
    EXPECT_EQ(convertLanguageId("0X65"), 101);
    EXPECT_EQ(convertLanguageId("-$10"), -16);
    EXPECT_EQ(convertLanguageId("0"), 0);

    for (const char* bad : {"",   " ",   "+",  "-",   "+-2", "--2", "+ 2", "2 ",  "2a",  "$",
                            "0x", "$-1", "$G", "0xg", "x65", "1e3", "\t2", "2.0", "0b1", "٣"})
        EXPECT_EQ(convertLanguageId(QString::fromUtf8(bad)), std::nullopt) << bad;
}

TEST(LanguageIds, theRangeIsThatOfA32BitSignedInteger)
{
    EXPECT_EQ(convertLanguageId("2147483647"), 2147483647);
    EXPECT_EQ(convertLanguageId("-2147483648"), std::numeric_limits<int>::min());
    EXPECT_EQ(convertLanguageId("$7FFFFFFF"), 2147483647);
    EXPECT_EQ(convertLanguageId("-$80000000"), std::numeric_limits<int>::min());
    EXPECT_EQ(convertLanguageId("2147483648"), std::nullopt);
    EXPECT_EQ(convertLanguageId("-2147483649"), std::nullopt);
    EXPECT_EQ(convertLanguageId("$80000000"), std::nullopt);
    EXPECT_EQ(convertLanguageId("99999999999999999999999999"), std::nullopt);
    EXPECT_EQ(convertLanguageId("00000000000000000000000012"), 12);
}

TEST(LanguageVersion, onlyTheExactVersionLineIsAccepted)
{
    for (const QByteArray& bytes : {QByteArray("1.0"), QByteArray("1.0\r\n"), QByteArray("1.0\n1=\"a\"\n")}) {
        const LanguageScan scan = scanLanguageBytes(bytes);
        EXPECT_TRUE(scan.exists);
        EXPECT_TRUE(scan.versionOk) << bytes.toStdString();
        EXPECT_FALSE(scan.failure);
    }
    EXPECT_TRUE(scanLanguageBytes("1.0\r\n").entries.empty());

    for (const QByteArray& version : {QByteArray("\xEF\xBB\xBF"
                                                 "1.0"),
                                      QByteArray("1.0 "), QByteArray("1.00"), QByteArray(" 1.0"), QByteArray("1,0"),
                                      QByteArray("1.0\r"), QByteArray(""), QByteArray("2.0"), QByteArray("1.0\0", 4)}) {
        // A wrong version reads nothing else, not even a malformed line.
        const LanguageScan scan = scanLanguageBytes(version + "\r\n1=\"a\"\r\n=\"b\"\r\n");
        EXPECT_TRUE(scan.exists);
        EXPECT_FALSE(scan.versionOk) << version.toStdString();
        EXPECT_TRUE(scan.entries.empty());
        EXPECT_FALSE(scan.failure);
    }
}

TEST(LanguageVersion, theLastLineCountsWithOrWithoutItsLineBreak)
{
    EXPECT_EQ(entriesOf(scanLanguageBytes("1.0\r\n1=\"a\"")), (Entries{{1, "a"}}));
    EXPECT_EQ(entriesOf(scanLanguageBytes("1.0\r\n1=\"a\"\r\n")), (Entries{{1, "a"}}));
    EXPECT_EQ(entriesOf(scanLanguageBytes("1.0\r\n1=\"a\"\r\n\r\n\r\n2=\"b\"\n")), (Entries{{1, "a"}, {2, "b"}}));
}

TEST(LanguageRobustness, longLinesAndEqualsEverywhere)
{
    const QByteArray longText(100 * 1024, 'x');
    const LanguageScan scan = scanLines({"1=\"" + longText + "\"", "2=\"b\""});
    EXPECT_EQ(entriesOf(scan), (Entries{{1, QString::fromLatin1(longText)}, {2, "b"}}));

    // "=" signs past the tenth character are text, however many there are.
    const LanguageScan late = scanLines({"; " + QByteArray(8, ' ') + QByteArray(100 * 1024, '='), "3=\"c\""});
    EXPECT_FALSE(late.failure);
    EXPECT_EQ(entriesOf(late), (Entries{{3, "c"}}));

    const LanguageScan equals = scanLines({QByteArray(100 * 1024, '=')});
    EXPECT_EQ(failureOf(equals), QStringLiteral("'' is not a valid integer value"));
    EXPECT_TRUE(equals.entries.empty());

    // One line of 100 kB without any line break at all.
    const LanguageScan unbroken = scanLanguageBytes("1.0\r\n7=\"" + longText);
    ASSERT_EQ(unbroken.entries.size(), 1u);
    EXPECT_EQ(unbroken.entries[0].text.size(), longText.size() - 1);
}

class LanguageFileOnDisk : public ::testing::Test
{
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QTemporaryDir dir;
};

TEST_F(LanguageFileOnDisk, aDirectoryAnEmptyNameOrNothingIsNoFile)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("HU_magyar.lng")));
    for (const QString& path : {dir.filePath(QStringLiteral("HU_magyar.lng")), dir.path() + QLatin1Char('/'), QString(),
                                dir.filePath(QStringLiteral("missing.lng"))}) {
        const LanguageScan scan = localisation::readLanguageFile(path);
        EXPECT_FALSE(scan.exists) << path.toStdString();
        EXPECT_FALSE(scan.versionOk);
        EXPECT_TRUE(scan.entries.empty());
        EXPECT_FALSE(scan.failure);
    }
}

TEST_F(LanguageFileOnDisk, aFileIsReadAndScannedWhole)
{
    const LanguageScan scan =
        localisation::readLanguageFile(write(QStringLiteral("x.lng"), "1.0\r\n1=\"a\"\r\nq=\"\""));
    EXPECT_TRUE(scan.exists);
    EXPECT_TRUE(scan.versionOk);
    EXPECT_EQ(entriesOf(scan), (Entries{{1, "a"}}));
    EXPECT_EQ(failureOf(scan), QStringLiteral("'q' is not a valid integer value"));

    const LanguageScan empty = localisation::readLanguageFile(write(QStringLiteral("empty.lng"), ""));
    EXPECT_TRUE(empty.exists);
    EXPECT_FALSE(empty.versionOk);
}

TEST_F(LanguageFileOnDisk, aFileThatCannotBeOpenedIsAFailure)
{
    const QString path = write(QStringLiteral("locked.lng"), "1.0\r\n1=\"a\"\r\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "this user reads files without permission";
    const LanguageScan scan = localisation::readLanguageFile(path);
    EXPECT_TRUE(scan.exists);
    EXPECT_TRUE(scan.entries.empty());
    ASSERT_TRUE(scan.failure);
    EXPECT_TRUE(scan.failure->startsWith(path)) << scan.failure->toStdString();
}

} // namespace
