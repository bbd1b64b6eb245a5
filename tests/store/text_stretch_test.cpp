// SPDX-License-Identifier: GPL-3.0-or-later

// The kept search text of one stretch, in both its forms: what a search finds in it, and what it refuses.

#include "store/text_stretch.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using store::text::Search;
using store::text::StretchWriter;
using Form = StretchWriter::Form;

// A value of a stretch: its bytes as the engine gives them, or never for one no pattern matches (NULL, a blob).
struct Value
{
    std::string bytes;
    bool never = false;
};

QByteArray written(const std::vector<Value>& values, Form form)
{
    StretchWriter writer;
    for (const Value& value : values) {
        if (value.never)
            writer.addNever();
        else
            writer.addText(reinterpret_cast<const unsigned char*>(value.bytes.data()),
                           static_cast<int>(value.bytes.size()));
    }
    return writer.finish(form);
}

bool isCoded(const QByteArray& blob)
{
    return blob.size() >= 8 && (static_cast<unsigned char>(blob[7]) & 0x80) != 0;
}

bool search(const QByteArray& blob, const QString& pattern, std::vector<int>& places)
{
    return Search(pattern).matches(reinterpret_cast<const unsigned char*>(blob.constData()),
                                   static_cast<int>(blob.size()), places);
}

// The places whose value the pattern matches, as LIKE matches a row.
std::vector<int> likeMatches(const std::vector<Value>& values, const QString& pattern)
{
    const hungarian::internal::LikePattern like(hungarian::internal::ucs4(pattern), std::nullopt);
    std::vector<int> places;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string& bytes = values[i].bytes;
        if (!values[i].never &&
            like.matches(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size())))
            places.push_back(static_cast<int>(i));
    }
    return places;
}

std::vector<Value> numbered(const char* prefix, int distinct, int times)
{
    std::vector<Value> values;
    for (int t = 0; t < times; ++t) {
        for (int i = 0; i < distinct; ++i)
            values.push_back({prefix + std::to_string(i)});
    }
    return values;
}

} // namespace

// Every form a stretch can be written in finds exactly what LIKE finds in its values, and a column of few
// distinct values is kept coded only while at most 255 of them are.
TEST(TextStretch, eachFormFindsWhatLikeFinds)
{
    std::vector<Value> languages;
    for (int t = 0; t < 40; ++t) {
        for (const char* value : {"HU", "EN, HU", "hu, de", "", " ", "ŐSZ", "ősz", "\xC3", "Straße", "STRASSE", "İzmir",
                                  "100% tiszta", "a_b", "axb", "ǅungla",
                                  "A\xFF"
                                  "B"})
            languages.push_back({value});
        languages.push_back({std::string(), true});
    }
    std::vector<Value> most = numbered("film ", 255, 2);
    most.push_back({"\xE2\x82"});
    most.push_back({std::string(), true});
    const struct
    {
        const char* what;
        std::vector<Value> values;
        bool codable;
        bool codedWhenSmaller;
    } stretches[] = {
        {"languages, odd values among them", languages, true, true},
        {"255 distinct texts", most, true, true},
        {"256 distinct texts", numbered("film ", 256, 2), false, false},
        {"a text per row", numbered("Ősz ", 200, 1), true, false},
        {"no rows", {}, true, false},
    };
    const QStringList patterns = {"%hu%",  "%HU%", "%u%",      "%ősz%", "%ss%", "%ß%", "%i%", "%\\%%",
                                  "%a_b%", "%_%",  "%",        "",      "_",    "hu%", "%hu", "HU",
                                  "%1%",   "%10%", "film 25%", "%5",    "%b",   "% %", "%zz%"};
    for (const auto& stretch : stretches) {
        SCOPED_TRACE(stretch.what);
        for (const Form form : {Form::Smaller, Form::Plain, Form::Coded}) {
            SCOPED_TRACE(static_cast<int>(form));
            const QByteArray blob = written(stretch.values, form);
            const bool coded =
                form == Form::Coded ? stretch.codable : form == Form::Smaller && stretch.codedWhenSmaller;
            EXPECT_EQ(isCoded(blob), coded);
            for (const QString& pattern : patterns) {
                SCOPED_TRACE(pattern.toStdString());
                std::vector<int> places;
                ASSERT_TRUE(search(blob, pattern, places));
                EXPECT_EQ(places, likeMatches(stretch.values, pattern));
            }
        }
    }
}

// A stretch blob that another tool has spoilt is refused as a whole, never read past its end, in either form.
TEST(TextStretch, aSpoiltBlobIsRefused)
{
    const auto number = [](quint32 n) {
        return QByteArray(1, char(n & 0xFF)) + char((n >> 8) & 0xFF) + char((n >> 16) & 0xFF) + char(n >> 24);
    };
    const QByteArray plain = written({{"Ősz"}, {"\xC3"}, {"tél"}, {std::string(), true}}, Form::Plain);
    const QByteArray coded = written({{"hu"}, {"en"}, {"hu"}, {"\xC3"}, {std::string(), true}}, Form::Coded);
    // The coded rows: a code per row (the two odd rows 0xFF), then the distinct texts.
    const int codes = static_cast<int>(coded.size()) - 12;
    ASSERT_EQ(coded.mid(codes), QByteArray("\x00\x01\x00\xFF\xFF\xFFhu\xFF"
                                           "en\xFF",
                                           12));
    const auto withCode = [&](int row, char code) {
        QByteArray blob = coded;
        blob[codes + row] = code;
        return blob;
    };
    // Patterns that match some of the rows, so that a coded stretch's codes are read.
    const std::vector<const char*> plainPatterns = {"%sz%", "%", "Ő%", "%a_%", "%l"};
    const std::vector<const char*> codedPatterns = {"%u%", "%", "h%", "%n", "e_"};
    const struct
    {
        const char* what;
        QByteArray blob;
        bool whole;
    } cases[] = {
        {"as written", plain, true},
        {"cut short", plain.left(plain.size() - 3), false},
        {"one row fewer than it holds", number(3) + plain.mid(4), false},
        {"more rows than it has bytes", number(0xFFFFFFF0) + plain.mid(4), false},
        {"an odd value longer than the blob", plain.left(16) + number(0x7FFFFFF0) + plain.mid(20), false},
        {"an odd value of a row beyond the rows", plain.left(8) + number(9) + plain.mid(12), false},
        {"no separator before the first row", plain.left(plain.indexOf('\xFF')) + plain.mid(plain.indexOf('\xFF') + 1),
         false},
        {"empty", QByteArray(), false},
        {"coded, as written", coded, true},
        {"coded, a code beyond its texts", withCode(1, 2), false},
        {"coded, an odd row with a text's code", withCode(3, 0), false},
        {"coded, a row of text with the odd code", withCode(1, '\xFF'), false},
        {"coded, more rows than codes", number(40) + coded.mid(4), false},
        {"coded, one row more than it has codes", number(6) + coded.mid(4), false},
        {"coded, its texts cut short", coded.left(coded.size() - 1), false},
        {"coded, read as plain", coded.left(7) + char(coded[7] & 0x7F) + coded.mid(8), false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        for (const char* pattern : std::strncmp(test.what, "coded", 5) == 0 ? codedPatterns : plainPatterns) {
            SCOPED_TRACE(pattern);
            std::vector<int> places;
            EXPECT_EQ(search(test.blob, QString::fromUtf8(pattern), places), test.whole);
        }
    }
}
