// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/hungarian_functions.h"

#include "hungarian/hungarian.h"
#include "hungarian/hungarian_internal.h"

#include <cstring>
#include <sqlite3.h>

namespace store {

namespace {

struct CompiledPattern
{
    std::string source; // the pattern's bytes and the escape's, to notice another pattern at the same call site
    std::string escape;
    hungarian::internal::LikePattern pattern;
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
        hungarian::internal::decode(sqlite3_value_text(argv[2]), sqlite3_value_bytes(argv[2]), points);
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
    hungarian::internal::decode(sqlite3_value_text(argv[0]), patternLength, points);
    return new CompiledPattern{bytesOf(argv[0]), argc == 3 ? bytesOf(argv[2]) : std::string(),
                               hungarian::internal::LikePattern(points, escape)};
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
    if (hungarian::internal::foldedPrefixBytes(text, sqlite3_value_bytes(argv[0]), static_cast<int>(characters),
                                               prefix))
        sqlite3_result_text(context, prefix.data(), static_cast<int>(prefix.size()), SQLITE_TRANSIENT);
}

// hungarian_key(text): the text's sort key as a blob; NULL stays NULL, a number is keyed as its text.
void keyFunction(sqlite3_context* context, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    thread_local std::string key;
    hungarian::internal::sortKeyOf(sqlite3_value_text(argv[0]), sqlite3_value_bytes(argv[0]), key);
    sqlite3_result_blob(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

bool installLike(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, hungarian::prefixFunctionName, 2, flags, nullptr, prefixFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
               SQLITE_OK &&
           sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
               SQLITE_OK;
}

} // namespace

bool installHungarian(sqlite3* db)
{
    // Deterministic and harmless, so the catalogue's indexes may use the key even where the schema is untrusted.
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, hungarian::keyFunctionName, 1, flags, nullptr, keyFunction, nullptr, nullptr,
                                      nullptr) == SQLITE_OK &&
           installLike(db);
}

} // namespace store
