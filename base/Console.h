#pragma once
// What a program learns of its surroundings before it runs: whether a stream is a terminal (a
// progress bar or a redrawn view is for a person only), and the precision of its timers.

#include <cstdio>

namespace padsmith {

bool IsTerminal(std::FILE* stream);

// Asks the system to wake sleeping threads as close to their deadline as it can (Linux's timer
// slack, 50 us by default, would add up over the 1344 pauses of 10 ms of a write). Call it on
// the main thread before any other starts: threads inherit it. Nothing where the clock sees to
// it itself (Windows).
void TightenTimers();

}  // namespace padsmith
