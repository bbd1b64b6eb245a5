// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/search_pause.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace store {

namespace {

std::mutex pauseMutex;
std::condition_variable pauseChanged;
bool paused = false; // under pauseMutex

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
    std::unique_lock<std::mutex> lock(pauseMutex);
    // The cancel is a flag of the worker's own, not told to this condition: it is looked at every millisecond.
    while (paused && !cancelled.load(std::memory_order_relaxed))
        pauseChanged.wait_for(lock, std::chrono::milliseconds(1));
}

} // namespace store
