// SPDX-License-Identifier: GPL-3.0-or-later

#include "hungarian/hungarian.h"

#include "hungarian/hungarian_internal.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace hungarian {

using namespace internal;

namespace internal {

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

} // namespace internal

void internal::appendUtf8(char32_t c, std::string& out)
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

namespace {

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

bool internal::foldedPrefixBytes(const unsigned char* s, int n, int characters, std::string& out)
{
    return foldedPrefixOf(s, n, characters, out);
}

internal::LikePattern::LikePattern(const std::u32string& pattern, std::optional<char32_t> escape)
    : m_pattern(std::make_unique<Pattern>(pattern, escape))
{
}

internal::LikePattern::~LikePattern() = default;
internal::LikePattern::LikePattern(LikePattern&&) noexcept = default;
internal::LikePattern& internal::LikePattern::operator=(LikePattern&&) noexcept = default;

bool internal::LikePattern::matches(const unsigned char* text, int n) const
{
    return m_pattern->matches(text, n);
}

} // namespace hungarian
