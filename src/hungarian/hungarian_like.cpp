// SPDX-License-Identifier: GPL-3.0-or-later

#include "hungarian/hungarian.h"

#include "hungarian/hungarian_internal.h"

#include <cstdint>
#include <cstring>
#include <sqlite3.h>
#include <vector>

namespace hungarian {

namespace {

using namespace internal;

struct Token
{
    enum Kind : uint8_t { Literal, One, Any } kind;
    char32_t c;
    // For a literal after a %: the bytes its character can begin with, so the search skips every other byte.
    std::optional<std::array<bool, 256>> startBytes = std::nullopt;
};

struct Pattern
{
    std::vector<Token> tokens;
    bool matchesNothing = false; // an escape character at the very end
    std::optional<char32_t> escape;

    Pattern(const std::u32string& text, std::optional<char32_t> escapeCharacter) : escape(escapeCharacter)
    {
        compile(text);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            Token& token = tokens[i];
            // A malformed byte of the pattern may stand in the middle of a text's character: no skipping.
            if (token.kind == Token::Literal && i > 0 && tokens[i - 1].kind == Token::Any && token.c < invalidByteBase)
                token.startBytes = startBytesFoldingTo(token.c);
        }
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

    // The first place from t on where the pattern's run after a % can start.
    int nextStart(const Token& token, const unsigned char* text, int n, int t) const
    {
        if (token.startBytes) {
            const std::array<bool, 256>& starts = *token.startBytes;
            while (t < n && !starts[text[t]])
                ++t;
        }
        return t;
    }

    // Matches a UTF-8 text, folding one character at a time as the pattern asks for it: a prefix decides after
    // its own few characters, whatever the length of the title, and a run after a % is tried only where its
    // first character can start.
    bool matches(const unsigned char* text, int n) const
    {
        if (matchesNothing)
            return false;
        const std::size_t pn = tokens.size();
        std::size_t p = 0;
        int t = 0;
        std::size_t starP = SIZE_MAX;
        int starT = 0;
        while (t < n) {
            if (p < pn && tokens[p].kind == Token::Any) {
                if (p + 1 == pn)
                    return true; // a trailing % takes whatever is left
                starP = p++;
                starT = t = nextStart(tokens[p], text, n, t);
                continue;
            }
            if (p < pn) {
                int next = t;
                const char32_t c = nextFolded(text, n, next);
                if (tokens[p].kind == Token::One || tokens[p].c == c) {
                    ++p;
                    t = next;
                    continue;
                }
            }
            if (starP == SIZE_MAX)
                return false;
            // Try the run after the last % one character further on.
            p = starP + 1;
            nextFolded(text, n, starT);
            starT = t = nextStart(tokens[p], text, n, starT);
        }
        while (p < pn && tokens[p].kind == Token::Any)
            ++p;
        return p == pn;
    }
};

struct CompiledPattern
{
    std::string source; // the pattern's bytes and the escape's, to notice another pattern at the same call site
    std::string escape;
    Pattern pattern;
};

bool sameBytes(const std::string& kept, sqlite3_value* value)
{
    const int length = sqlite3_value_bytes(value);
    return kept.size() == static_cast<std::size_t>(length) &&
           std::memcmp(kept.data(), sqlite3_value_text(value), kept.size()) == 0;
}

std::string bytesOf(sqlite3_value* value)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return std::string(text, static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

// The pattern and escape of a call compiled, or null after an error has been set.
CompiledPattern* compile(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    std::optional<char32_t> escape;
    if (argc == 3) {
        std::u32string points;
        decode(sqlite3_value_text(argv[2]), sqlite3_value_bytes(argv[2]), points);
        if (points.size() != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return nullptr;
        }
        escape = points.front();
    }
    const int patternLength = sqlite3_value_bytes(argv[0]);
    if (patternLength > sqlite3_limit(sqlite3_context_db_handle(context), SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1)) {
        sqlite3_result_error(context, "LIKE or GLOB pattern too complex", -1);
        return nullptr;
    }
    std::u32string points;
    decode(sqlite3_value_text(argv[0]), patternLength, points);
    return new CompiledPattern{bytesOf(argv[0]), argc == 3 ? bytesOf(argv[2]) : std::string(), Pattern(points, escape)};
}

// like(pattern, text[, escape]): the engine's LIKE operator, blind to case for every letter.
void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return; // NULL, as the built-in LIKE gives
    }
    if (sqlite3_value_type(argv[1]) == SQLITE_BLOB) {
        sqlite3_result_int(context, 0);
        return;
    }
    // The pattern is usually one bound value for a whole scan: compile it once and keep it with the statement.
    auto* compiled = static_cast<CompiledPattern*>(sqlite3_get_auxdata(context, 0));
    CompiledPattern* fresh = nullptr;
    if (!compiled || !sameBytes(compiled->source, argv[0]) || (argc == 3 && !sameBytes(compiled->escape, argv[2]))) {
        fresh = compile(context, argc, argv);
        if (!fresh)
            return;
        compiled = fresh;
    }
    const auto* textBytes = sqlite3_value_text(argv[1]);
    const int textLength = sqlite3_value_bytes(argv[1]);
    sqlite3_result_int(context, compiled->pattern.matches(textBytes, textLength) ? 1 : 0);
    if (fresh)
        sqlite3_set_auxdata(context, 0, fresh, [](void* p) { delete static_cast<CompiledPattern*>(p); });
}

void appendUtf8(char32_t c, std::string& out)
{
    if (c >= invalidByteBase) { // a malformed byte stays the byte it was
        out.push_back(static_cast<char>(c - invalidByteBase));
    } else if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The first characters of a UTF-8 text folded as LIKE folds them; false when the text is shorter.
bool foldedPrefixOf(const unsigned char* s, int n, int characters, std::string& out)
{
    out.clear();
    int i = 0;
    for (int k = 0; k < characters; ++k) {
        if (i >= n)
            return false;
        appendUtf8(nextFolded(s, n, i), out);
    }
    return true;
}

// hungarian_prefix(text, n): the first n characters of text folded as the case-blind LIKE folds them, or NULL
// when text is shorter (or NULL, or a blob, which LIKE never matches). Two texts that a prefix pattern of n
// plain characters both matches have the same value.
void prefixFunction(sqlite3_context* context, int, sqlite3_value** argv)
{
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL || type == SQLITE_BLOB || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    const sqlite3_int64 characters = sqlite3_value_int64(argv[1]);
    if (characters < 0 || characters > 1000)
        return;
    const auto* text = sqlite3_value_text(argv[0]);
    thread_local std::string prefix;
    if (foldedPrefixOf(text, sqlite3_value_bytes(argv[0]), static_cast<int>(characters), prefix))
        sqlite3_result_text(context, prefix.data(), static_cast<int>(prefix.size()), SQLITE_TRANSIENT);
}

} // namespace

bool like(const QString& pattern, const QString& text, std::optional<char32_t> escape)
{
    const QByteArray bytes = text.toUtf8();
    return Pattern(ucs4(pattern), escape)
        .matches(reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<int>(bytes.size()));
}

std::optional<QString> foldedPrefix(const QString& text, int characters)
{
    const QByteArray bytes = text.toUtf8();
    std::string prefix;
    if (!foldedPrefixOf(reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<int>(bytes.size()),
                        characters, prefix))
        return std::nullopt;
    return QString::fromStdString(prefix);
}

bool internal::installLike(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, prefixFunctionName, 2, flags, nullptr, prefixFunction, nullptr, nullptr,
                                      nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
               SQLITE_OK &&
           sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
               SQLITE_OK;
}

} // namespace hungarian
