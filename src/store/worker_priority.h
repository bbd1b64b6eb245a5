// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace store {

// Lowers the calling thread's share of the processor below the window's: a search's workers keep every core
// busy while they run, and the window, woken to show the first rows, must not wait for a time slice behind them.
void giveWayToTheWindow();

} // namespace store
