#include "store/hungarian.h"

#include "store/hungarian_internal.h"

#include <cstdint>
#include <cstring>
#include <sqlite3.h>
#include <vector>

namespace store::hungarian {

namespace {

using namespace internal;

struct Token
{
    enum Kind : uint8_t { Literal, One, Any } kind;
    char32_t c;
};

struct Pattern
{
    std::vector<Token> tokens;
    bool matchesNothing = false;   // an escape character at the very end
    bool needsBeyondAscii = false; // a literal that no plain ASCII text can hold
    std::optional<char32_t> escape;

    Pattern(const std::u32string& text, std::optional<char32_t> escapeCharacter) : escape(escapeCharacter)
    {
        compile(text);
        for (const Token& token : tokens)
            needsBeyondAscii = needsBeyondAscii || (token.kind == Token::Literal && token.c >= 0x80);
    }

    void compile(const std::u32string& text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char32_t c = text[i];
            if (escape && c == *escape) {
                if (i + 1 == text.size()) {
                    matchesNothing = true;
                    return;
                }
                tokens.push_back({Token::Literal, fold(text[++i])});
            } else if (c == '%') {
                if (tokens.empty() || tokens.back().kind != Token::Any)
                    tokens.push_back({Token::Any, 0});
            } else if (c == '_') {
                tokens.push_back({Token::One, 0});
            } else {
                tokens.push_back({Token::Literal, fold(c)});
            }
        }
    }

    bool matches(const std::u32string& folded) const { return matches(folded.data(), folded.size()); }

    bool matches(const char32_t* folded, std::size_t tn) const
    {
        if (matchesNothing)
            return false;
        const std::size_t pn = tokens.size();
        std::size_t p = 0;
        std::size_t t = 0;
        std::size_t starP = SIZE_MAX;
        std::size_t starT = 0;
        while (t < tn) {
            if (p < pn &&
                (tokens[p].kind == Token::One || (tokens[p].kind == Token::Literal && tokens[p].c == folded[t]))) {
                ++p;
                ++t;
            } else if (p < pn && tokens[p].kind == Token::Any) {
                starP = p++;
                starT = t;
            } else if (starP != SIZE_MAX) {
                p = starP + 1;
                t = ++starT;
            } else {
                return false;
            }
        }
        while (p < pn && tokens[p].kind == Token::Any)
            ++p;
        return p == pn;
    }
};

bool isAscii(const unsigned char* s, int n)
{
    for (int i = 0; i < n; ++i) {
        if (s[i] & 0x80)
            return false;
    }
    return true;
}

struct CompiledPattern
{
    std::string source; // the pattern's bytes, to notice a different pattern in the same call site
    Pattern pattern;
};

// like(pattern, text[, escape]): the engine's LIKE operator, blind to case for every letter.
void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return; // NULL, as the built-in LIKE gives
    }
    std::optional<char32_t> escape;
    if (argc == 3) {
        std::u32string points;
        decode(sqlite3_value_text(argv[2]), sqlite3_value_bytes(argv[2]), points);
        if (points.size() != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = points.front();
    }
    const auto* patternText = sqlite3_value_text(argv[0]);
    const int patternLength = sqlite3_value_bytes(argv[0]);
    if (patternLength > sqlite3_limit(sqlite3_context_db_handle(context), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1)) {
        sqlite3_result_error(context, "LIKE or GLOB pattern too complex", -1);
        return;
    }
    if (sqlite3_value_type(argv[1]) == SQLITE_BLOB) {
        sqlite3_result_int(context, 0);
        return;
    }
    // The pattern is usually one bound value for a whole scan: compile it once and keep it with the statement.
    auto* compiled = static_cast<CompiledPattern*>(sqlite3_get_auxdata(context, 0));
    CompiledPattern* fresh = nullptr;
    if (!compiled || compiled->source.size() != static_cast<std::size_t>(patternLength) ||
        std::memcmp(compiled->source.data(), patternText, compiled->source.size()) != 0 ||
        compiled->pattern.escape != escape) {
        std::u32string points;
        decode(patternText, patternLength, points);
        fresh = new CompiledPattern{
            std::string(reinterpret_cast<const char*>(patternText), static_cast<std::size_t>(patternLength)),
            Pattern(points, escape)};
        compiled = fresh;
    }
    const auto* textBytes = sqlite3_value_text(argv[1]);
    const int textLength = sqlite3_value_bytes(argv[1]);
    bool matches = false;
    // Most texts of a scan fail at once: a plain ASCII text cannot hold an accented letter of the pattern.
    if (!compiled->pattern.needsBeyondAscii || !isAscii(textBytes, textLength)) {
        // A text has no more characters than bytes; a title fits on the stack.
        char32_t onStack[256];
        std::u32string onHeap;
        char32_t* text = onStack;
        if (textLength > 256) {
            onHeap.resize(static_cast<std::size_t>(textLength));
            text = onHeap.data();
        }
        matches = compiled->pattern.matches(text, decodeFolded(textBytes, textLength, text));
    }
    sqlite3_result_int(context, matches ? 1 : 0);
    if (fresh)
        sqlite3_set_auxdata(context, 0, fresh, [](void* p) { delete static_cast<CompiledPattern*>(p); });
}

} // namespace

bool like(const QString& pattern, const QString& text, std::optional<char32_t> escape)
{
    std::u32string folded = ucs4(text);
    foldInPlace(folded);
    return Pattern(ucs4(pattern), escape).matches(folded);
}

bool internal::installLike(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
               SQLITE_OK &&
           sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
               SQLITE_OK;
}

} // namespace store::hungarian
