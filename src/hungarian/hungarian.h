// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Hungarian order and case-blind matching of catalogue text.
//
// The order follows the Hungarian alphabet: a á b c cs d dz dzs e é f g gy h i í j k l ly m n ny o ó ö ő p q r s sz
// t ty u ú ü ű v w x y z zs. A long vowel counts as its short pair until two texts differ only there, and then the
// short one goes first; the digraphs are letters of their own, and a doubled one ("ssz", "ggy") counts as two.
// Case decides only between texts that are otherwise equal (lower case first). Other accented Latin letters go
// with their base letter; blanks, then punctuation, then digits come before the letters.
//
// The engine sees the order as a sort key, hungarian_key(text), a blob whose bytes compare in this order. The
// program keeps each listed row's key in a table of its own beside the data, so that any program can read and
// write a catalogue without knowing the key.

namespace hungarian {

// The SQL function that gives a text's sort key.
extern const char keyFunctionName[];
// The SQL function hungarian_prefix(text, n): the first n characters folded as the case-blind LIKE folds them.
extern const char prefixFunctionName[];

// The sort key of a text.
QByteArray sortKey(const QString& text);

// Three-way comparison in the order of the sort keys; texts with equal keys are ordered by their bytes, so
// only equal texts compare equal. Takes UTF-8; malformed bytes are kept and go after every letter.
int compare(const char* a, int aLength, const char* b, int bLength);
int compare(const QString& a, const QString& b);

// LIKE without regard to case for every letter: % is any run of characters, _ any one character, and escape
// (when given) makes the next character literal.
bool like(const QString& pattern, const QString& text, std::optional<char32_t> escape = std::nullopt);

// The first characters of a text as hungarian_prefix gives them; none when the text is shorter.
std::optional<QString> foldedPrefix(const QString& text, int characters);

// The sort keys of the texts that a LIKE pattern can match lie in [lower, upper) when the pattern starts with
// literal text, so an index on the key answers a prefix search without reading the whole table. No range when
// the pattern starts with a wildcard.
struct Range
{
    QByteArray lower;
    QByteArray upper;
};
std::optional<Range> prefixRange(const QString& pattern);

} // namespace hungarian
