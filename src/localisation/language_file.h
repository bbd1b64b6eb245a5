// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The language file: code page 1250 text, a version line "1.0", then one entry per line in the form
// ID=<delimiter>text<delimiter>. Both passes over it (the main window's and the entry dialog's) read it
// through these functions, so they agree on every line.

namespace localisation {

struct LanguageEntry
{
    int id;
    QString text;
};

struct LanguageScan
{
    bool exists = false;                // a file was found at the path
    bool versionOk = false;             // line 1 is exactly "1.0"
    std::vector<LanguageEntry> entries; // every entry carried out, in file order, before any failure
    std::optional<QString> failure;     // the conversion error or the I/O error that stopped the pass
};

// The only version this program reads.
extern const QByteArray supportedLanguageVersion;

// The ID before an "=" as a 32-bit signed integer: leading blanks, one sign, then decimal digits or "$"/"0x"
// and hexadecimal digits, and nothing after the digits. Empty when the text is no such integer.
std::optional<int> convertLanguageId(const QString& text);

// Scans the bytes of a language file. Never fails by itself: a malformed ID ends the scan with its failure
// set and keeps the entries before it. The result has exists set.
LanguageScan scanLanguageBytes(const QByteArray& bytes);

// Reads and scans the file at path. A directory, an empty path or anything but a regular file counts as no file.
LanguageScan readLanguageFile(const QString& path);

} // namespace localisation
