#pragma once
// What a program learns of its surroundings: whether a stream is a terminal (a progress bar or
// a redrawn view is for a person only), how wide that terminal is now, and the precision of its
// timers.

#include <cstdio>
#include <optional>

namespace padsmith {

bool IsTerminal(std::FILE* stream);
// The terminal's width in columns at this moment (a person may resize it at any time); nothing
// when the stream is no terminal or the system does not say.
std::optional<int> TerminalColumns(std::FILE* stream);

// Asks the system to wake sleeping threads as close to their deadline as it can (Linux's timer
// slack, 50 us by default, would add up over the 1344 pauses of 10 ms of a write). Call it on
// the main thread before any other starts: threads inherit it. Nothing where the clock sees to
// it itself (Windows).
void TightenTimers();

}  // namespace padsmith
