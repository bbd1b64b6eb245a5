// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// What the Hungarian order and the case-blind LIKE share: texts as folded code points.

namespace hungarian::internal {

constexpr char32_t invalidByteBase = 0x110000; // a malformed byte b decodes to invalidByteBase + b

// The code point at byte i of a UTF-8 text, moving i past it; a malformed byte is one character of its own.
char32_t decodeOne(const unsigned char* s, int n, int& i);
// Code points of a UTF-8 text. A malformed byte stays itself (above the Unicode range), so no two different
// texts decode alike.
void decode(const unsigned char* s, int n, std::u32string& out);
// Simple Unicode case folding; a malformed byte stays itself.
constexpr char32_t latinEnd = 0x250;
extern const std::array<char32_t, latinEnd> latinFolds;
char32_t foldBeyondLatin(char32_t c);
inline char32_t fold(char32_t c)
{
    return c < latinEnd ? latinFolds[c] : foldBeyondLatin(c);
}

char32_t nextFoldedSlowly(const unsigned char* s, int n, int& i);
// The folded character at byte i (i < n) of a UTF-8 text, moving i past it, as decode and fold would give it.
// Inline for the plain and the two-byte letters, which a search reads by the million.
inline char32_t nextFolded(const unsigned char* s, int n, int& i)
{
    const unsigned char b = s[i];
    if (b < 0x80) {
        ++i;
        return (b >= 'A' && b <= 'Z') ? b + 32 : b;
    }
    if ((b & 0xE0) == 0xC0 && b >= 0xC2 && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
        const char32_t c = (char32_t(b & 0x1F) << 6) | (s[i + 1] & 0x3F);
        i += 2;
        return fold(c);
    }
    return nextFoldedSlowly(s, n, i);
}

// The bytes that can begin a character folding to folded (a folded, valid character): a search skips every
// other byte. Never a continuation byte, so a skip always lands on a character's start.
std::array<bool, 256> startBytesFoldingTo(char32_t folded);

std::u32string ucs4(const QString& text);
// A code point in UTF-8, onto out; a malformed byte (invalidByteBase + b) as the byte it was.
void appendUtf8(char32_t c, std::string& out);

// The sort key of a UTF-8 text, into key.
void sortKeyOf(const unsigned char* s, int n, std::string& key);
// The first characters of a UTF-8 text folded as LIKE folds them, into out; false when the text is shorter.
bool foldedPrefixBytes(const unsigned char* s, int n, int characters, std::string& out);

struct Pattern;
// A LIKE pattern compiled once, for the many texts of a scan.
class LikePattern
{
public:
    LikePattern(const std::u32string& pattern, std::optional<char32_t> escape);
    ~LikePattern();
    LikePattern(LikePattern&&) noexcept;
    LikePattern& operator=(LikePattern&&) noexcept;
    bool matches(const unsigned char* text, int n) const;

private:
    std::unique_ptr<Pattern> m_pattern;
};

} // namespace hungarian::internal
