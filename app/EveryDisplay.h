#pragma once
// --all's engine: one job per display, all at once, each on a thread of its own (each job keeps
// a driver of its own), so that one display that fails or hangs neither stops nor slows the
// others. The front end words the jobs and their summary.

#include <cstddef>
#include <functional>
#include <string>

#include "base/Clock.h"

namespace padsmith {

// Runs job(0) .. job(count - 1) side by side and returns when every one has ended. A job whose
// thread cannot be started never runs: `noThread` gets its index and why (nothing was sent to
// its display), and the others run. Waits on `clock`, so a virtual clock moves meanwhile.
void RunOnEachDisplay(Clock& clock, size_t count, const std::function<void(size_t)>& job,
                      const std::function<void(size_t, const std::string&)>& noThread);

}  // namespace padsmith
