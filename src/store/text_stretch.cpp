// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/text_stretch.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace store::text {

namespace {

constexpr unsigned char separator = 0xFF;
constexpr quint32 neverLength = 0xFFFFFFFF;
// The top bit of the odd part's size: the rows are coded.
constexpr quint32 codedMark = 0x80000000;
// A coded row of the odd part.
constexpr unsigned char oddCode = 0xFF;
constexpr std::size_t mostEntries = 255;

void appendNumber(std::string& out, quint32 number)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((number >> shift) & 0xFF));
}

quint32 numberAt(const unsigned char* bytes)
{
    return quint32(bytes[0]) | (quint32(bytes[1]) << 8) | (quint32(bytes[2]) << 16) | (quint32(bytes[3]) << 24);
}

// A text folded character by character as LIKE folds it, into out; false when it is not plain UTF-8 (LIKE then
// takes each malformed byte for a character of its own, which no UTF-8 spells).
bool foldInto(const unsigned char* s, int n, std::string& out)
{
    out.clear();
    for (int i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>((b >= 'A' && b <= 'Z') ? b + 32 : b));
            ++i;
            continue;
        }
        const char32_t c = hungarian::internal::decodeOne(s, n, i);
        if (c >= hungarian::internal::invalidByteBase)
            return false;
        hungarian::internal::appendUtf8(hungarian::internal::fold(c), out);
    }
    return true;
}

// The coded form of a stretch's rows (main and odd as the writer keeps them): a byte per row and the distinct
// texts; false when there are more than mostEntries of them.
bool codeRows(const std::string& main, const std::string& odd, int rows, std::string& codes, std::string& entries)
{
    std::vector<bool> isOdd(static_cast<std::size_t>(rows));
    for (std::size_t at = 0; at + 8 <= odd.size();) {
        const auto* entry = reinterpret_cast<const unsigned char*>(odd.data() + at);
        const quint32 size = numberAt(entry + 4);
        isOdd[numberAt(entry)] = true;
        at += 8 + (size == neverLength ? 0 : size);
    }
    std::unordered_map<std::string_view, unsigned char> codeOf;
    entries.assign(1, static_cast<char>(separator));
    codes.clear();
    codes.reserve(static_cast<std::size_t>(rows));
    std::size_t start = 1;
    for (int row = 0; row < rows; ++row) {
        const std::size_t close = main.find(static_cast<char>(separator), start);
        if (isOdd[static_cast<std::size_t>(row)]) {
            codes.push_back(static_cast<char>(oddCode));
        } else {
            const std::string_view text(main.data() + start, close - start);
            const auto [at, added] = codeOf.emplace(text, static_cast<unsigned char>(codeOf.size()));
            if (added) {
                if (codeOf.size() > mostEntries)
                    return false;
                entries.append(text);
                entries.push_back(static_cast<char>(separator));
            }
            codes.push_back(static_cast<char>(at->second));
        }
        start = close + 1;
    }
    return true;
}

#if defined(__SSE2__) && defined(__GNUC__) && defined(__linux__)
// The bit count is one instruction on nearly every processor, but not in the baseline instruction set: the
// function is built twice and the loader picks the one the processor runs.
#define MEDIATAR_BIT_COUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define MEDIATAR_BIT_COUNT_CLONES
#endif

// How many separators lie in [from, to): sixteen bytes at a time where the processor has the instructions, else
// eight (a zero byte of the complement is a separator).
MEDIATAR_BIT_COUNT_CLONES std::size_t separatorsIn(const unsigned char* from, const unsigned char* to)
{
    std::size_t count = 0;
#if defined(__SSE2__)
    const __m128i separators = _mm_set1_epi8(static_cast<char>(separator));
    for (; to - from >= 16; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        count += static_cast<std::size_t>(
            __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, separators)))));
    }
#endif
    constexpr quint64 low7 = 0x7F7F7F7F7F7F7F7FULL;
    for (; to - from >= 8; from += 8) {
        quint64 word;
        std::memcpy(&word, from, 8);
        const quint64 x = ~word;
        // The high bit of each zero byte, then their sum in the top byte.
        const quint64 zeros = ~(((x & low7) + low7) | x | low7);
        count += static_cast<std::size_t>(((zeros >> 7) * 0x0101010101010101ULL) >> 56);
    }
    for (; from < to; ++from)
        count += *from == separator ? 1 : 0;
    return count;
}

// The places of the rows holding a needle of one or two bytes, which neither is a separator, from the row at
// place 0 starting at row to the end (the last byte a separator); returns how many rows were passed, or -1 when
// more rows than the stretch's are found. A letter or two is in most rows: sixteen bytes at a time, each row found
// from the separators before the hit, where a call to find each hit and each row's end would cost more than the
// reading.
MEDIATAR_BIT_COUNT_CLONES int findShortNeedle(const unsigned char* row, const unsigned char* end,
                                              const std::string& needle, quint32 rows, std::vector<int>& places)
{
    // The places are written through a pointer into room for every row the stretch says it has; more hits than
    // that is a spoilt stretch.
    const std::size_t before = places.size();
    places.resize(before + rows);
    int* out = places.data() + before;
    int* const full = out + rows;
    const auto first = static_cast<unsigned char>(needle[0]);
    const bool two = needle.size() == 2;
    const auto second = two ? static_cast<unsigned char>(needle[1]) : first;
    int place = 0;
    int lastFound = -1;
    const unsigned char* at = row;
#if defined(__SSE2__)
    const __m128i separators = _mm_set1_epi8(static_cast<char>(separator));
    const __m128i firsts = _mm_set1_epi8(static_cast<char>(first));
    const __m128i seconds = _mm_set1_epi8(static_cast<char>(second));
    // Seventeen bytes are read for sixteen places: the second byte of a hit at the last of them.
    for (; end - at > 16; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, separators)));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, firsts)));
        if (two && hits) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
            hits &= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(next, seconds)));
        }
        while (hits) {
            const int bit = __builtin_ctz(hits);
            const int found = place + __builtin_popcount(ends & ((1u << bit) - 1));
            if (found != lastFound) {
                if (out == full)
                    return -1;
                *out++ = found;
                lastFound = found;
            }
            hits &= hits - 1;
        }
        place += __builtin_popcount(ends);
    }
#endif
    for (; at < end; ++at) {
        if (*at == separator) {
            ++place;
        } else if (*at == first && (!two || (end - at > 1 && at[1] == second)) && place != lastFound) {
            if (out == full)
                return -1;
            *out++ = place;
            lastFound = place;
        }
    }
    places.resize(static_cast<std::size_t>(out - places.data()));
    return place;
}

} // namespace

void StretchWriter::addText(const unsigned char* bytes, int length)
{
    if (foldInto(bytes, length, m_folded)) {
        m_main += m_folded;
    } else {
        appendNumber(m_odd, static_cast<quint32>(m_rows));
        appendNumber(m_odd, static_cast<quint32>(length));
        m_odd.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    }
    m_main.push_back(static_cast<char>(separator));
    ++m_rows;
}

void StretchWriter::addNever()
{
    appendNumber(m_odd, static_cast<quint32>(m_rows));
    appendNumber(m_odd, neverLength);
    m_main.push_back(static_cast<char>(separator));
    ++m_rows;
}

QByteArray StretchWriter::finish(Form form) const
{
    std::string codes;
    std::string entries;
    // Coded only where it saves a quarter: a search of a plain stretch reads sixteen bytes at a time, of a coded
    // one a byte per row.
    const bool coded = form != Form::Plain && codeRows(m_main, m_odd, m_rows, codes, entries) &&
                       (form == Form::Coded || (codes.size() + entries.size()) * 4 <= m_main.size() * 3);
    std::string blob;
    blob.reserve(8 + m_odd.size() + (coded ? codes.size() + entries.size() : m_main.size()));
    appendNumber(blob, static_cast<quint32>(m_rows));
    appendNumber(blob, static_cast<quint32>(m_odd.size()) | (coded ? codedMark : 0));
    blob += m_odd;
    if (coded) {
        blob += codes;
        blob += entries;
    } else {
        blob += m_main;
    }
    return QByteArray(blob.data(), static_cast<qsizetype>(blob.size()));
}

QByteArray identitiesBlob(const std::vector<qint64>& identities)
{
    const bool narrow = std::all_of(identities.begin(), identities.end(),
                                    [](qint64 identity) { return identity >= 0 && identity <= 0xFFFFFFFFLL; });
    std::string blob(1, narrow ? '\4' : '\10');
    blob.reserve(1 + identities.size() * (narrow ? 4 : 8));
    for (const qint64 identity : identities) {
        const auto bits = static_cast<quint64>(identity);
        appendNumber(blob, static_cast<quint32>(bits & 0xFFFFFFFF));
        if (!narrow)
            appendNumber(blob, static_cast<quint32>(bits >> 32));
    }
    return QByteArray(blob.data(), static_cast<qsizetype>(blob.size()));
}

bool identitiesAt(const unsigned char* blob, int length, const std::vector<int>& places, qint64* out)
{
    if (places.empty())
        return true;
    if (length < 1 || places.front() < 0 || (blob[0] != 4 && blob[0] != 8))
        return false;
    const int width = blob[0];
    // The places ascend: the last one in the blob holds them all.
    if (1 + qint64(places.back()) * width + width > length)
        return false;
    const unsigned char* first = blob + 1;
    if (width == 4) {
        for (const int place : places)
            *out++ = static_cast<qint64>(numberAt(first + qint64(place) * 4));
    } else {
        for (const int place : places) {
            const unsigned char* at = first + qint64(place) * 8;
            *out++ = static_cast<qint64>(quint64(numberAt(at)) | (quint64(numberAt(at + 4)) << 32));
        }
    }
    return true;
}

Search::Search(const QString& pattern) : m_like(hungarian::internal::ucs4(pattern), std::nullopt)
{
    // A literal between runs of % is found by memmem in the folded text; any other pattern goes row by row.
    const std::u32string points = hungarian::internal::ucs4(pattern);
    std::size_t first = 0;
    std::size_t last = points.size();
    while (first < last && points[first] == U'%')
        ++first;
    while (last > first && points[last - 1] == U'%')
        --last;
    const std::u32string literal = points.substr(first, last - first);
    if (literal.empty() || literal.find_first_of(U"%_") != std::u32string::npos)
        return;
    for (const char32_t c : literal)
        hungarian::internal::appendUtf8(hungarian::internal::fold(c), m_needle);
    const bool openStart = first > 0;
    const bool openEnd = last < points.size();
    if (openStart && openEnd) {
        m_shape = Shape::Containing;
    } else if (openEnd) {
        m_shape = Shape::Starting;
        m_needle.insert(m_needle.begin(), static_cast<char>(separator));
    } else if (openStart) {
        m_shape = Shape::Ending;
        m_needle.push_back(static_cast<char>(separator));
    } else {
        m_shape = Shape::Equal;
        m_needle.insert(m_needle.begin(), static_cast<char>(separator));
        m_needle.push_back(static_cast<char>(separator));
    }
}

Search::~Search() = default;

const unsigned char* Search::find(const unsigned char* from, const unsigned char* end) const
{
    // A needle of a letter or two is found by its first byte and a comparison: memmem's setup costs more than it
    // saves when most rows match, as they do for a letter or two.
    const std::size_t size = m_needle.size();
    const auto* needle = reinterpret_cast<const unsigned char*>(m_needle.data());
    if (size > 2) {
#if defined(__SSE2__)
        // Sixteen places at a time, those whose first and last bytes are the needle's, then a comparison of the
        // bytes between: the library's memmem walks every byte, and its tables cost more than a search's reading.
        const __m128i firsts = _mm_set1_epi8(static_cast<char>(needle[0]));
        const __m128i lasts = _mm_set1_epi8(static_cast<char>(needle[size - 1]));
        const auto reach = static_cast<std::ptrdiff_t>(size - 1 + 16);
        for (; end - from >= reach; from += 16) {
            const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + size - 1));
            auto candidates = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, firsts), _mm_cmpeq_epi8(ends, lasts))));
            while (candidates) {
                const int bit = __builtin_ctz(candidates);
                if (std::memcmp(from + bit + 1, needle + 1, size - 2) == 0)
                    return from + bit;
                candidates &= candidates - 1;
            }
        }
#endif
        return static_cast<const unsigned char*>(memmem(from, end - from, needle, size));
    }
    if (size == 1)
        return static_cast<const unsigned char*>(std::memchr(from, needle[0], end - from));
    while (end - from >= static_cast<std::ptrdiff_t>(size)) {
        const auto* at = static_cast<const unsigned char*>(std::memchr(from, needle[0], end - from - size + 1));
        if (!at)
            return nullptr;
        if (std::memcmp(at + 1, needle + 1, size - 1) == 0)
            return at;
        from = at + 1;
    }
    return nullptr;
}

bool Search::matches(const unsigned char* blob, int length, std::vector<int>& places) const
{
    places.clear();
    if (length < 9)
        return false;
    const quint32 rows = numberAt(blob);
    const quint32 oddWord = numberAt(blob + 4);
    const bool coded = (oddWord & codedMark) != 0;
    const quint32 oddSize = oddWord & ~codedMark;
    if (oddSize > quint32(length) - 9)
        return false;
    const unsigned char* odd = blob + 8;
    const unsigned char* main = odd + oddSize;
    const unsigned char* end = blob + length;
    // Coded: a byte per row, then at least the separator that starts the texts.
    if (coded && rows >= quint32(end - main))
        return false;

    // The odd rows: those of text in their own bytes, and those no pattern matches.
    std::vector<int> oddPlaces;
    std::vector<int> oddMatches;
    for (const unsigned char* at = odd; at < main;) {
        if (main - at < 8)
            return false;
        const quint32 place = numberAt(at);
        const quint32 size = numberAt(at + 4);
        at += 8;
        if (place >= rows || (size != neverLength && size > quint32(main - at)))
            return false;
        oddPlaces.push_back(static_cast<int>(place));
        if (size == neverLength)
            continue;
        if (m_like.matches(at, static_cast<int>(size)))
            oddMatches.push_back(static_cast<int>(place));
        at += size;
    }

    if (!(coded ? matchesCoded(main, end, rows, oddPlaces, places) : matchesTexts(main, end, rows, oddPlaces, places)))
        return false;
    if (!oddMatches.empty()) {
        const auto middle = places.insert(places.end(), oddMatches.begin(), oddMatches.end());
        std::inplace_merge(places.begin(), middle, places.end());
    }
    return true;
}

bool Search::matchesCoded(const unsigned char* codes, const unsigned char* end, quint32 rows,
                          const std::vector<int>& odd, std::vector<int>& places) const
{
    const unsigned char* texts = codes + rows;
    const std::size_t separators = separatorsIn(texts, end);
    if (separators == 0 || separators - 1 > mostEntries)
        return false;
    const auto entries = static_cast<quint32>(separators - 1);
    std::vector<int> matched;
    if (!matchesTexts(texts, end, entries, {}, matched))
        return false;
    for (const int place : odd) {
        if (codes[place] != oddCode)
            return false;
    }
    if (matched.empty())
        return true;
    // What each code stands for: a text the pattern matches, a row of the odd part, or nothing kept. The rows are
    // read without a branch: a code's place is written always and kept when it matches.
    unsigned char isMatch[256] = {};
    unsigned char isOdd[256] = {};
    unsigned char isWrong[256];
    std::fill(std::begin(isWrong), std::end(isWrong), 1);
    std::fill(isWrong, isWrong + entries, 0);
    isWrong[oddCode] = 0;
    isOdd[oddCode] = 1;
    for (const int entry : matched)
        isMatch[entry] = 1;
    const std::size_t before = places.size();
    places.resize(before + rows);
    int* out = places.data() + before;
    std::size_t odds = 0;
    unsigned wrong = 0;
    for (quint32 row = 0; row < rows; ++row) {
        const unsigned char code = codes[row];
        *out = static_cast<int>(row);
        out += isMatch[code];
        odds += isOdd[code];
        wrong |= isWrong[code];
    }
    places.resize(static_cast<std::size_t>(out - places.data()));
    return wrong == 0 && odds == odd.size();
}

bool Search::matchesTexts(const unsigned char* main, const unsigned char* end, quint32 rows,
                          const std::vector<int>& skipped, std::vector<int>& places) const
{
    // Each row ends in a separator after the first.
    if (*main != separator || end[-1] != separator || rows >= quint32(end - main))
        return false;
    int place = 0;
    const unsigned char* row = main + 1; // the start of the row at place
    if (m_shape == Shape::Any) {
        std::size_t nextSkipped = 0;
        while (row < end) {
            const auto* close = static_cast<const unsigned char*>(std::memchr(row, separator, end - row));
            if (nextSkipped < skipped.size() && skipped[nextSkipped] == place)
                ++nextSkipped;
            else if (m_like.matches(row, static_cast<int>(close - row)))
                places.push_back(place);
            row = close + 1;
            ++place;
        }
    } else if (m_shape == Shape::Containing && m_needle.size() <= 2) {
        place = findShortNeedle(row, end, m_needle, rows, places);
    } else {
        // A needle that starts with the separator matches the separator before its row.
        const bool fromSeparator = m_shape == Shape::Starting || m_shape == Shape::Equal;
        const unsigned char* from = main;
        while (from < end) {
            const unsigned char* found = find(from, end);
            if (!found)
                break;
            const unsigned char* within = fromSeparator ? found + 1 : found;
            // The rows passed on the way are counted by their separators, not walked one by one.
            place += static_cast<int>(separatorsIn(row, within));
            const auto* close = static_cast<const unsigned char*>(std::memchr(within, separator, end - within));
            places.push_back(place);
            // The next row's match may start at this row's closing separator.
            from = close;
            row = close + 1;
            ++place;
        }
        if (!places.empty() && places.back() >= static_cast<int>(rows))
            return false;
        place = static_cast<int>(rows);
    }
    return place == static_cast<int>(rows);
}

} // namespace store::text
