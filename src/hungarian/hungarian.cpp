// SPDX-License-Identifier: GPL-3.0-or-later

#include "hungarian/hungarian.h"

#include "hungarian/hungarian_internal.h"

#include <QChar>
#include <QList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace hungarian {

const char keyFunctionName[] = "hungarian_key";
const char prefixFunctionName[] = "hungarian_prefix";

namespace internal {

char32_t decodeOne(const unsigned char* s, int n, int& i)
{
    const unsigned char b = s[i];
    if (b < 0x80) {
        ++i;
        return b;
    }
    int length = 0;
    char32_t cp = 0;
    char32_t smallest = 0;
    if ((b & 0xE0) == 0xC0) {
        length = 2;
        cp = b & 0x1F;
        smallest = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        cp = b & 0x0F;
        smallest = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        cp = b & 0x07;
        smallest = 0x10000;
    }
    bool ok = length > 0 && i + length <= n;
    for (int k = 1; ok && k < length; ++k) {
        if ((s[i + k] & 0xC0) != 0x80)
            ok = false;
        else
            cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (ok && (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
        ok = false;
    if (!ok) {
        ++i;
        return invalidByteBase + b;
    }
    i += length;
    return cp;
}

void decode(const unsigned char* s, int n, std::u32string& out)
{
    out.clear();
    int i = 0;
    while (i < n)
        out.push_back(decodeOne(s, n, i));
}

// The Latin letters (Hungarian ones among them) are folded from a table: a search folds every character of
// every row it reads.
const std::array<char32_t, latinEnd> latinFolds = [] {
    std::array<char32_t, latinEnd> folds{};
    for (char32_t c = 0; c < latinEnd; ++c)
        folds[c] = QChar::toCaseFolded(c);
    return folds;
}();

char32_t foldBeyondLatin(char32_t c)
{
    return c > 0x10FFFF ? c : QChar::toCaseFolded(c);
}

char32_t nextFoldedSlowly(const unsigned char* s, int n, int& i)
{
    return fold(decodeOne(s, n, i));
}

std::array<bool, 256> startBytesFoldingTo(char32_t folded)
{
    // The characters of the basic plane that fold to another one, by what they fold to; built once.
    static const std::vector<std::pair<char32_t, char32_t>> foldedFrom = [] {
        std::vector<std::pair<char32_t, char32_t>> pairs;
        for (char32_t c = 0; c < 0x10000; ++c) {
            if ((c < 0xD800 || c > 0xDFFF) && fold(c) != c)
                pairs.emplace_back(fold(c), c);
        }
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }();
    std::array<bool, 256> starts{};
    const auto mark = [&](char32_t c) {
        const QByteArray bytes = QString::fromUcs4(&c, 1).toUtf8();
        starts[static_cast<unsigned char>(bytes.at(0))] = true;
    };
    mark(folded);
    const auto first = std::lower_bound(foldedFrom.begin(), foldedFrom.end(), std::make_pair(folded, char32_t(0)));
    for (auto it = first; it != foldedFrom.end() && it->first == folded; ++it)
        mark(it->second);
    // Beyond the basic plane every four-byte character stays a candidate: rare in a catalogue, and never wrong.
    for (int lead = 0xF0; lead <= 0xF4; ++lead)
        starts[static_cast<std::size_t>(lead)] = true;
    return starts;
}

std::u32string ucs4(const QString& text)
{
    std::u32string result;
    const QList<uint> points = text.toUcs4();
    result.reserve(static_cast<std::size_t>(points.size()));
    for (uint c : points)
        result.push_back(c);
    return result;
}

} // namespace internal

namespace {

using namespace internal;

// --- weights

enum : uint32_t { blankClass = 1, punctuationClass = 2, digitClass = 3, letterClass = 4, otherClass = 5 };

constexpr uint32_t weight(uint32_t cls, uint32_t value)
{
    return (cls << 24) | value;
}

// The alphabet, digraphs in their places.
enum Letter : uint32_t {
    A,
    B,
    C,
    CS,
    D,
    DZ,
    DZS,
    E,
    F,
    G,
    GY,
    H,
    I,
    J,
    K,
    L,
    LY,
    M,
    N,
    NY,
    O,
    OE,
    P,
    Q,
    R,
    S,
    SZ,
    T,
    TY,
    U,
    UE,
    V,
    W,
    X,
    Y,
    Z,
    ZS
};

constexpr std::array<uint32_t, 26> asciiLetters = {A, B, C, D, E, F, G, H, I, J, K, L, M,
                                                   N, O, P, Q, R, S, T, U, V, W, X, Y, Z};

struct CharWeight
{
    uint32_t primary;
    uint32_t secondary;
};

bool isVowel(char32_t c)
{
    return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u';
}

// The weights of one folded character outside the digraphs.
CharWeight computeWeight(char32_t c)
{
    if (c >= invalidByteBase)
        return {weight(otherClass, c), 0};
    if (c < 0x80) {
        if (c >= 'a' && c <= 'z')
            return {weight(letterClass, asciiLetters[c - 'a']), 0};
        if (c >= '0' && c <= '9')
            return {weight(digitClass, c - '0'), 0};
        if (c <= 0x20 || c == 0x7F)
            return {weight(blankClass, c), 0};
        return {weight(punctuationClass, c), 0};
    }
    // An accented Latin letter goes with its base letter; the mark nearest to the base is the difference.
    char32_t base = c;
    char32_t mark = 0;
    while (QChar::decompositionTag(base) == QChar::Canonical) {
        const QList<uint> parts = QChar::decomposition(base).toUcs4();
        if (parts.isEmpty())
            break;
        base = parts.first();
        if (parts.size() > 1)
            mark = parts.at(1);
    }
    const char32_t letter = fold(base);
    if (base != c && letter >= 'a' && letter <= 'z') {
        // ö and ü are letters of their own, ő and ű their long pairs.
        if ((letter == 'o' || letter == 'u') && (mark == 0x308 || mark == 0x30B))
            return {weight(letterClass, letter == 'o' ? OE : UE), mark == 0x30B ? 1u : 0u};
        if (mark == 0x301 && isVowel(letter))
            return {weight(letterClass, asciiLetters[letter - 'a']), 1};
        return {weight(letterClass, asciiLetters[letter - 'a']), 2 + mark};
    }
    if (QChar::isDigit(c))
        return {weight(digitClass, static_cast<uint32_t>(QChar::digitValue(c))), c};
    if (QChar::isLetter(c))
        return {weight(otherClass, c), 0};
    if (QChar::isSpace(c))
        return {weight(blankClass, c), 0};
    return {weight(punctuationClass, c), 0};
}

constexpr char32_t tableSize = 0x3000;

CharWeight charWeight(char32_t folded)
{
    static const std::vector<CharWeight> table = [] {
        std::vector<CharWeight> weights(tableSize);
        for (char32_t c = 0; c < tableSize; ++c)
            weights[c] = computeWeight(c);
        return weights;
    }();
    return folded < tableSize ? table[folded] : computeWeight(folded);
}

// The second letter of the digraph that c begins, or 0 when c begins none.
char32_t digraphSecond(char32_t c)
{
    switch (c) {
    case 'c':
    case 'z':
        return 's';
    case 'd':
    case 's':
        return 'z';
    case 'g':
    case 'l':
    case 'n':
    case 't':
        return 'y';
    default:
        return 0;
    }
}

uint32_t digraphLetter(char32_t first)
{
    switch (first) {
    case 'c':
        return CS;
    case 'd':
        return DZ;
    case 'g':
        return GY;
    case 'l':
        return LY;
    case 'n':
        return NY;
    case 's':
        return SZ;
    case 't':
        return TY;
    default:
        return ZS;
    }
}

struct Unit
{
    uint32_t primary;
    uint32_t secondary;
    uint32_t tertiary;
};

struct Text
{
    std::u32string original;
    std::u32string folded;
    std::vector<Unit> units;

    // Splits the text into the units of the order: letters, digraphs, a doubled digraph as two.
    void split()
    {
        const std::size_t n = original.size();
        folded.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            folded[i] = fold(original[i]);
        units.clear();
        const auto at = [&](std::size_t i) { return i < n ? folded[i] : char32_t(0); };
        const auto caseOf = [&](std::size_t from, std::size_t length) {
            uint32_t bits = 0;
            for (std::size_t k = from; k < from + length; ++k)
                bits = (bits << 1) | (original[k] != folded[k] ? 1u : 0u);
            return bits;
        };
        const auto letter = [&](uint32_t value, std::size_t from, std::size_t length) {
            units.push_back({weight(letterClass, value), 0, caseOf(from, length)});
        };
        std::size_t i = 0;
        while (i < n) {
            const char32_t c = folded[i];
            const char32_t second = digraphSecond(c);
            if (c == 'd' && at(i + 1) == 'd' && at(i + 2) == 'z') { // ddz, ddzs
                const bool dzs = at(i + 3) == 's';
                letter(dzs ? DZS : DZ, i, 1);
                letter(dzs ? DZS : DZ, i + 1, dzs ? 3 : 2);
                i += dzs ? 4 : 3;
            } else if (c == 'd' && at(i + 1) == 'z') { // dz, dzs
                const bool dzs = at(i + 2) == 's';
                letter(dzs ? DZS : DZ, i, dzs ? 3 : 2);
                i += dzs ? 3 : 2;
            } else if (second && c != 'd' && at(i + 1) == c && at(i + 2) == second) { // ccs, ggy, ssz ...
                letter(digraphLetter(c), i, 1);
                letter(digraphLetter(c), i + 1, 2);
                i += 3;
            } else if (second && c != 'd' && at(i + 1) == second) {
                letter(digraphLetter(c), i, 2);
                i += 2;
            } else {
                const CharWeight w = charWeight(c);
                units.push_back({w.primary, w.secondary, caseOf(i, 1)});
                ++i;
            }
        }
    }
};

// --- sort keys
//
// A key is the primary weights of the units, 0x01, their secondary weights, 0x01, their tertiary weights.
// Every weight is encoded so that comparing keys byte by byte gives the order: the separator is below every
// weight, a weight's first byte tells its length, trailing plain secondary and tertiary weights are left out
// (an all-plain tail is the smallest), and 0xFF never starts a weight, so it closes prefix ranges.
// Changing this encoding changes the stored indexes: it needs a new schema version that rebuilds them.

constexpr char separator = 0x01;

void appendCodePoint(std::string& key, char lead, uint32_t value)
{
    key.push_back(lead);
    key.push_back(static_cast<char>((value >> 16) & 0xFF));
    key.push_back(static_cast<char>((value >> 8) & 0xFF));
    key.push_back(static_cast<char>(value & 0xFF));
}

// Single bytes for the ASCII punctuation, in code order.
int asciiPunctuationRank(uint32_t c)
{
    if (c >= 0x21 && c <= 0x2F)
        return static_cast<int>(c - 0x21);
    if (c >= 0x3A && c <= 0x40)
        return static_cast<int>(c - 0x3A + 15);
    if (c >= 0x5B && c <= 0x60)
        return static_cast<int>(c - 0x5B + 22);
    if (c >= 0x7B && c <= 0x7E)
        return static_cast<int>(c - 0x7B + 28);
    return -1;
}

void appendPrimary(std::string& key, uint32_t primary)
{
    const uint32_t cls = primary >> 24;
    const uint32_t value = primary & 0xFFFFFF;
    switch (cls) {
    case blankClass:
        if (value <= 0x20)
            key.push_back(static_cast<char>(0x02 + value)); // 0x02 ... 0x22
        else
            appendCodePoint(key, 0x23, value);
        return;
    case punctuationClass: {
        const int rank = asciiPunctuationRank(value);
        if (rank >= 0)
            key.push_back(static_cast<char>(0x24 + rank)); // 0x24 ... 0x43
        else
            appendCodePoint(key, 0x44, value);
        return;
    }
    case digitClass:
        key.push_back(static_cast<char>(0x45 + value)); // 0x45 ... 0x4E
        return;
    case letterClass:
        key.push_back(static_cast<char>(0x4F + value)); // 0x4F ... 0x73
        return;
    default:
        appendCodePoint(key, 0x74, value);
        return;
    }
}

void appendMinor(std::string& key, const std::vector<Unit>& units, uint32_t Unit::*level)
{
    std::size_t end = units.size();
    while (end > 0 && units[end - 1].*level == 0)
        --end;
    for (std::size_t i = 0; i < end; ++i) {
        const uint32_t value = units[i].*level;
        if (value < 2)
            key.push_back(static_cast<char>(0x02 + value));
        else
            appendCodePoint(key, 0x04, value);
    }
}

void appendKey(const Text& text, std::string& key)
{
    for (const Unit& unit : text.units)
        appendPrimary(key, unit.primary);
    key.push_back(separator);
    appendMinor(key, text.units, &Unit::secondary);
    key.push_back(separator);
    appendMinor(key, text.units, &Unit::tertiary);
}

void keyOf(const unsigned char* s, int n, std::string& key)
{
    thread_local Text text;
    decode(s, n, text.original);
    text.split();
    key.clear();
    appendKey(text, key);
}

} // namespace

int compare(const char* a, int aLength, const char* b, int bLength)
{
    thread_local std::string first;
    thread_local std::string second;
    keyOf(reinterpret_cast<const unsigned char*>(a), aLength, first);
    keyOf(reinterpret_cast<const unsigned char*>(b), bLength, second);
    if (const int result = first.compare(second))
        return result < 0 ? -1 : 1;
    const int common = std::min(aLength, bLength);
    const int result = common > 0 ? std::memcmp(a, b, static_cast<std::size_t>(common)) : 0;
    if (result != 0)
        return result < 0 ? -1 : 1;
    return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
}

int compare(const QString& a, const QString& b)
{
    const QByteArray ua = a.toUtf8();
    const QByteArray ub = b.toUtf8();
    return compare(ua.constData(), static_cast<int>(ua.size()), ub.constData(), static_cast<int>(ub.size()));
}

QByteArray sortKey(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::string key;
    keyOf(reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<int>(bytes.size()), key);
    return QByteArray(key.data(), static_cast<qsizetype>(key.size()));
}

std::optional<Range> prefixRange(const QString& pattern)
{
    Text stem;
    for (char32_t c : ucs4(pattern)) {
        if (c == '%' || c == '_')
            break;
        stem.original.push_back(c);
    }
    // A letter that can begin a digraph may join what follows it in a stored text ("s" in "sz"), so the
    // letters after the last one that cannot are left open: the first of them only fixes a group of
    // neighbouring letters (s and sz, d and dz and dzs ...).
    std::size_t open = stem.original.size();
    while (open > 0 && digraphSecond(fold(stem.original[open - 1])))
        --open;
    const char32_t opener = open < stem.original.size() ? fold(stem.original[open]) : 0;
    stem.original.resize(open);
    if (open == 0 && !opener)
        return std::nullopt;
    stem.split();
    std::string lower;
    for (const Unit& unit : stem.units)
        appendPrimary(lower, unit.primary);
    std::string upper = lower;
    if (opener) {
        const uint32_t first = asciiLetters[opener - 'a'];
        const uint32_t last = opener == 'd' ? DZS : digraphLetter(opener);
        appendPrimary(lower, weight(letterClass, first));
        appendPrimary(upper, weight(letterClass, last + 1));
    } else {
        upper.push_back(static_cast<char>(0xFF));
    }
    return Range{QByteArray(lower.data(), static_cast<qsizetype>(lower.size())),
                 QByteArray(upper.data(), static_cast<qsizetype>(upper.size()))};
}

void internal::sortKeyOf(const unsigned char* s, int n, std::string& key)
{
    keyOf(s, n, key);
}

} // namespace hungarian