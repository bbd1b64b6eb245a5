// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "support/server_catalogue.h"

#include <QString>
#include <QStringList>
#include <benchmark/benchmark.h>
#include <functional>
#include <vector>

// Keystrokes that make a containment search of one or two letters, which no trigram serves: the program's exact
// count and first screen beside the bare statements, both the old one (the plain LIKE, which reads the whole
// table) and the new one (through the gram index).

namespace bench {

class BareServer;

struct ShortText
{
    const char* name; // how the run's record names it
    QString before;   // the search text before the key (empty: the whole list)
    QString typed;    // ... and after it
};
// Dense and rare grams of one and two letters, and one in no row.
const std::vector<ShortText>& shortTexts();

// Rows of a listed table given a letter found nowhere else (the generated titles hold no q): a rare gram.
void markRareRows(const BareServer& target, const Listed& table);

// The program's keystroke from before to typed, to its exact count and first screen.
struct ProgramKey
{
    double completeMs = 0;
    double firstMs = 0; // until its first screen was shown, before or with its count
    double heldMs = 0;
    int count = -1;
    QStringList orderColumn; // the first screen's order column
};
using ProgramKeystroke = std::function<ProgramKey(const QString& before, const QString& typed)>;

// state.range(1) picks the text; program is empty when the program is not run.
void measureShortContainment(benchmark::State& state, const Listed& table, const BareServer& bare,
                             const ProgramKeystroke& program, const QString& programMissing);

} // namespace bench
