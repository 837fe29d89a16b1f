#pragma once
// The wait for displays before a command runs (padsmith --wait): until the display's service
// collection is on the bus (with --all --count=N, until N displays are). A bench script plugs in
// the next display and starts padsmith at once.

#include <optional>
#include <string>

#include "base/Clock.h"
#include "device/HidPort.h"

namespace padsmith {

enum class WaitOutcome { kPresent, kTimedOut, kInterrupted };

// Looks at the bus at once when the port tells of an arrival (every port does: the simulated
// device, inotify on Linux, a notification window on Windows), else every 2 s, or every 200 ms
// where nothing tells of arrivals; until `count` displays are present. No `limit`: waits without
// one. `interrupted` (may be null) ends the wait when it turns non-zero.
WaitOutcome WaitForDisplays(HidPort& port, Clock& clock, std::optional<Millis> limit,
                            const std::string& device, int count, int (*interrupted)());

}  // namespace padsmith
