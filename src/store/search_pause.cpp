// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/search_pause.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace store {

namespace {

std::mutex pauseMutex;
std::condition_variable pauseChanged;
std::atomic<bool> paused{false}; // changed under pauseMutex, read first without it: a worker's batches are many
int held = 0;                    // workers held now, under pauseMutex

} // namespace

SearchPause::SearchPause()
{
    const std::lock_guard<std::mutex> lock(pauseMutex);
    paused = true;
}

SearchPause::~SearchPause()
{
    release();
}

void SearchPause::release()
{
    const std::lock_guard<std::mutex> lock(pauseMutex);
    paused = false;
    pauseChanged.notify_all();
}

void SearchPause::hold(const std::atomic<bool>& cancelled)
{
    if (!paused.load(std::memory_order_acquire))
        return;
    std::unique_lock<std::mutex> lock(pauseMutex);
    ++held;
    pauseChanged.notify_all();
    // The cancel is a flag of the worker's own, not told to this condition: it is looked at every millisecond.
    while (paused && !cancelled.load(std::memory_order_relaxed))
        pauseChanged.wait_for(lock, std::chrono::milliseconds(1));
    --held;
}

void SearchPause::awaitHeldWorker()
{
    if (!paused.load(std::memory_order_acquire))
        return;
    std::unique_lock<std::mutex> lock(pauseMutex);
    // Bounded, so that a search that finds nothing to be held for ends the wait too.
    pauseChanged.wait_for(lock, std::chrono::seconds(5), [] { return held > 0 || !paused; });
}

} // namespace store
