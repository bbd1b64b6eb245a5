// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/worker_priority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace store {

void giveWayToTheWindow()
{
    // On Linux a thread's nice value is its own (POSIX would give it to the whole process): raising it is always
    // allowed, and a failure only leaves the thread as it was.
    constexpr int background = 5;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), background);
}

} // namespace store
