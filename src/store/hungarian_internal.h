#pragma once

#include <QString>
#include <cstddef>
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
// Decodes and folds at once into out, which has room for n code points; gives how many were written.
std::size_t decodeFolded(const unsigned char* s, int n, char32_t* out);
void foldInPlace(std::u32string& text);
std::u32string ucs4(const QString& text);

// Gives a connection the case-blind LIKE.
bool installLike(sqlite3* db);

} // namespace store::hungarian::internal
