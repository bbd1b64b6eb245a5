#pragma once

#include <QString>
#include <string>

struct sqlite3;

// What the Hungarian order and the case-blind LIKE share: texts as folded code points.

namespace store::hungarian::internal {

constexpr char32_t invalidByteBase = 0x110000; // a malformed byte b decodes to invalidByteBase + b

// Code points of a UTF-8 text. A malformed byte stays itself (above the Unicode range), so no two different
// texts decode alike.
void decode(const unsigned char* s, int n, std::u32string& out);
// Simple Unicode case folding.
char32_t fold(char32_t c);
void foldInPlace(std::u32string& text);
std::u32string ucs4(const QString& text);

// Gives a connection the case-blind LIKE.
bool installLike(sqlite3* db);

} // namespace store::hungarian::internal
