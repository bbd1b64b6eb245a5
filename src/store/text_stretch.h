// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "hungarian/hungarian_internal.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <string>
#include <vector>

// The kept search text of one stretch of rows and one column (store/kept_text.h), and a search over it.
//
// A blob holds the stretch's values folded as the case-blind LIKE folds them, each character on its own (simple
// case folding), so a folded text matches a pattern exactly when its value does. Laid out as:
//   u32 rows, u32 size of the odd part, the odd part, then 0xFF and each row's folded text followed by 0xFF.
// 0xFF never occurs in UTF-8, so the texts need no lengths and one pass of memmem finds a piece of text in a
// whole stretch. A value that is not plain UTF-8 (malformed bytes, kept as they are by the engine) has an empty
// text there and its own entry in the odd part: u32 row, u32 length, its bytes as stored; a value that LIKE never
// matches (NULL, a blob) has an entry of length 0xFFFFFFFF. All numbers little-endian.
//
// A column of few distinct values (a language, a format, a year) is kept coded when that is smaller: the size of
// the odd part has its top bit set, and the odd part is followed by a byte per row, the row's entry among the
// distinct texts (0xFF for a row of the odd part), then those texts laid out as the rows' texts are above, 0xFF
// first and each followed by 0xFF. A search then matches each distinct text once and reads a byte per row.

namespace store::text {

// Builds one stretch's blob, a value at a time.
class StretchWriter
{
public:
    // A text value (its UTF-8 bytes as the engine gives them, numbers as their text).
    void addText(const unsigned char* bytes, int length);
    // A value that no pattern matches (NULL, a blob).
    void addNever();
    int rows() const { return m_rows; }
    // Which form finish gives: the smaller, or one chosen (the coded one only where the rows have at most 255
    // distinct texts; the plain one otherwise).
    enum class Form { Smaller, Plain, Coded };
    QByteArray finish(Form form = Form::Smaller) const;

private:
    int m_rows = 0;
    std::string m_main{'\xFF'};
    std::string m_odd;
    std::string m_folded;
};

// The identities of a stretch's rows, in order, as kept (u8 width 4 or 8, then each identity).
QByteArray identitiesBlob(const std::vector<qint64>& identities);
// The identities at places (ascending) of such a blob, into out (room for each); false when the blob is shorter.
bool identitiesAt(const unsigned char* blob, int length, const std::vector<int>& places, qint64* out);

// A LIKE pattern compiled for stretches.
class Search
{
public:
    explicit Search(const QString& pattern);
    ~Search();
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    // The places (ascending) of the rows of a stretch's blob whose value the pattern matches. False for a blob
    // that is not laid out as a stretch (the caller reads the rows instead).
    bool matches(const unsigned char* blob, int length, std::vector<int>& places) const;

private:
    // The places of the rows of [main, end) (a separator, then each row's text followed by one) that the pattern
    // matches, leaving out those of skipped (ascending); false unless it holds exactly rows rows.
    bool matchesTexts(const unsigned char* main, const unsigned char* end, quint32 rows,
                      const std::vector<int>& skipped, std::vector<int>& places) const;
    // The same for the coded rows of a blob: codes (a byte per row) followed by the distinct texts up to end.
    bool matchesCoded(const unsigned char* codes, const unsigned char* end, quint32 rows, const std::vector<int>& odd,
                      std::vector<int>& places) const;

    enum class Shape {
        Containing, // %text%: memmem of the text
        Starting,   // text%: 0xFF text
        Ending,     // %text: text 0xFF
        Equal,      // text: 0xFF text 0xFF
        Any,        // anything else: the pattern on each row's text
    };
    const unsigned char* find(const unsigned char* from, const unsigned char* end) const;

    Shape m_shape = Shape::Any;
    std::string m_needle;
    hungarian::internal::LikePattern m_like;
};

} // namespace store::text
