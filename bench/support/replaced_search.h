// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "catalogue/query_channel.h"
#include "support/bare_server.h"
#include "support/server_catalogue.h"

#include <benchmark/benchmark.h>

namespace bench {

// A search that reads the whole table for its count, replaced by the next keystroke once its count is at work on
// the server: how long its statements go on there after the keystroke, in ms, as seen in pg_stat_activity through
// watcher (polled as fast as the server answers); -1 when they were still at work after limitMs. The channel is
// left with the next search complete.
double replacedSearchGoesOn(catalogue::QueryChannel& channel, const catalogue::Statement& slow,
                            const catalogue::Statement& next, const BareServer& watcher, int limitMs = 3000);

// The benchmark of it on a table, through the program's channel (null when the program could not open the
// catalogue at uri): each iteration's time is that of its replaced search, and the longest is kept for the
// summary.
void measureReplacedSearch(benchmark::State& state, catalogue::QueryChannel* channel, const Listed& table,
                           const QString& uri);

} // namespace bench
