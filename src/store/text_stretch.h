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
    QByteArray finish() const;

private:
    int m_rows = 0;
    std::string m_main{'\xFF'};
    std::string m_odd;
    std::string m_folded;
};

// The identities of a stretch's rows, in order, as kept (u8 width 4 or 8, then each identity).
QByteArray identitiesBlob(const std::vector<qint64>& identities);
// The identity at a place of such a blob; false when the blob is shorter.
bool identityAt(const unsigned char* blob, int length, int place, qint64& identity);

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
