// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <atomic>

namespace store {

// Holds the workers of every list being searched after each batch of rows they find, from its making until it is
// released or goes. A search of a small table ends within a frame and opens in one step; a test holds its worker
// to see a search that outlasts the frame (its first rows at once, the rest later) whatever the machine's speed.
class SearchPause
{
public:
    SearchPause();
    ~SearchPause();
    SearchPause(const SearchPause&) = delete;
    SearchPause& operator=(const SearchPause&) = delete;

    // Lets the held workers go on, and every later one too.
    void release();

    // Called by a worker: returns at once when nothing holds it, or when the pause is released or ended, or
    // the worker's search is cancelled.
    static void hold(const std::atomic<bool>& cancelled);
    // Called by the window before it waits for a search's first rows: while a pause is in force, returns once a
    // worker is held (it has found rows), so that however busy the machine a held search shows its first rows.
    static void awaitHeldWorker();
};

} // namespace store
