// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/text_stretch.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace store::text {

namespace {

constexpr unsigned char separator = 0xFF;
constexpr quint32 neverLength = 0xFFFFFFFF;

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
// place 0 starting at row to the end (the last byte a separator); returns how many rows were passed. A letter or two is
// in most rows: sixteen bytes at a time, each row found from the separators before the hit, where a call to find each
// hit and each row's end would cost more than the reading.
MEDIATAR_BIT_COUNT_CLONES int findShortNeedle(const unsigned char* row, const unsigned char* end,
                                              const std::string& needle, std::vector<int>& places)
{
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
                places.push_back(found);
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
            places.push_back(place);
            lastFound = place;
        }
    }
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

QByteArray StretchWriter::finish() const
{
    std::string blob;
    blob.reserve(8 + m_odd.size() + m_main.size());
    appendNumber(blob, static_cast<quint32>(m_rows));
    appendNumber(blob, static_cast<quint32>(m_odd.size()));
    blob += m_odd;
    blob += m_main;
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

bool identityAt(const unsigned char* blob, int length, int place, qint64& identity)
{
    if (length < 1 || place < 0 || (blob[0] != 4 && blob[0] != 8))
        return false;
    const int width = blob[0];
    const qint64 at = 1 + qint64(place) * width;
    if (at + width > length)
        return false;
    quint64 bits = numberAt(blob + at);
    if (width == 8)
        bits |= quint64(numberAt(blob + at + 4)) << 32;
    identity = static_cast<qint64>(bits);
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
    const quint32 oddSize = numberAt(blob + 4);
    if (oddSize > quint32(length) - 9)
        return false;
    const unsigned char* odd = blob + 8;
    const unsigned char* main = odd + oddSize;
    const unsigned char* end = blob + length;
    if (*main != separator || end[-1] != separator)
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

    int place = 0;
    const unsigned char* row = main + 1; // the start of the row at place
    if (m_shape == Shape::Any) {
        std::size_t nextOdd = 0;
        while (row < end) {
            const auto* close = static_cast<const unsigned char*>(std::memchr(row, separator, end - row));
            if (nextOdd < oddPlaces.size() && oddPlaces[nextOdd] == place)
                ++nextOdd;
            else if (m_like.matches(row, static_cast<int>(close - row)))
                places.push_back(place);
            row = close + 1;
            ++place;
        }
    } else if (m_shape == Shape::Containing && m_needle.size() <= 2) {
        place = findShortNeedle(row, end, m_needle, places);
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
    if (place != static_cast<int>(rows))
        return false;
    if (!oddMatches.empty()) {
        const auto middle = places.insert(places.end(), oddMatches.begin(), oddMatches.end());
        std::inplace_merge(places.begin(), middle, places.end());
    }
    return true;
}

} // namespace store::text
