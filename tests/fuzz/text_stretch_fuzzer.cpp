// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary bytes to the kept search text. The input is a pattern (its length in the first byte, then its
// UTF-8 bytes, malformed ones turned into U+FFFD as a typed text would be) and values separated by zero bytes,
// each written into a stretch as the program writes a value it reads from a catalogue. What must hold for every
// input: the stretch finds exactly the values that the pattern matches in its own bytes, as LIKE does in the
// rows, in each form the stretch can be written in; and the same bytes read as a stretch blob, as a damaged file could
// hold them, never crash the reading.

#include "store/text_stretch.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t patternLength = std::min<std::size_t>(data[0], size - 1);
    const QString pattern =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(patternLength));
    const uint8_t* values = data + 1 + patternLength;
    const std::size_t valuesSize = size - 1 - patternLength;

    std::vector<std::pair<const uint8_t*, int>> rows;
    store::text::StretchWriter writer;
    const uint8_t* start = values;
    for (const uint8_t* at = values; at <= values + valuesSize; ++at) {
        if (at == values + valuesSize || *at == 0) {
            const int length = static_cast<int>(at - start);
            // A value that starts with 0x01 stands for a NULL.
            if (length > 0 && start[0] == 1) {
                writer.addNever();
                rows.emplace_back(nullptr, 0);
            } else {
                writer.addText(start, length);
                rows.emplace_back(start, length);
            }
            start = at + 1;
        }
    }
    const store::text::Search search(pattern);
    const hungarian::internal::LikePattern like(hungarian::internal::ucs4(pattern), std::nullopt);
    std::vector<int> expected;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].first && like.matches(rows[i].first, rows[i].second))
            expected.push_back(static_cast<int>(i));
    }
    std::vector<int> places;
    using Form = store::text::StretchWriter::Form;
    for (const Form form : {Form::Smaller, Form::Plain, Form::Coded}) {
        const QByteArray blob = writer.finish(form);
        require(search.matches(reinterpret_cast<const unsigned char*>(blob.constData()), static_cast<int>(blob.size()),
                               places));
        require(places == expected);
    }

    // The raw bytes as a blob: any answer, but no fault.
    search.matches(values, static_cast<int>(valuesSize), places);
    return 0;
}
