// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace store {

// Lowers the calling thread's share of the processor below the window's: a search's two workers keep both cores
// of a small machine busy while they run, and the window, woken to show the first rows, must not wait for a time
// slice behind them. Only the helping worker gives way: the first one keeps its pace, however busy the machine.
void giveWayToTheWindow();

} // namespace store
