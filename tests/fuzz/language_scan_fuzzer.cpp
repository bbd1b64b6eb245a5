// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary bytes to the language file scanner. Besides crashes, hangs and memory faults it checks what
// must hold for every input: the version line alone decides whether entries are read at all.

#include "localisation/language_file.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool startsWithVersionLine(const QByteArray& bytes)
{
    return bytes == "1.0" || bytes.startsWith("1.0\n") || bytes.startsWith("1.0\r\n");
}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // No copy: a read past the input is caught by the address sanitizer.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const localisation::LanguageScan scan = localisation::scanLanguageBytes(bytes);

    require(scan.exists);
    require(scan.versionOk == startsWithVersionLine(bytes));
    if (!scan.versionOk)
        require(scan.entries.empty() && !scan.failure);
    for (const localisation::LanguageEntry& entry : scan.entries)
        require(entry.text.size() + 5 < static_cast<qsizetype>(size));
    if (scan.failure)
        require(scan.failure->endsWith(QStringLiteral("' is not a valid integer value")));
    return 0;
}
