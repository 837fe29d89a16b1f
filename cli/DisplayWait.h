#pragma once
// padsmith --wait: before the command runs, wait until the display's service collection is on
// the bus. A station plugs in the next display and starts padsmith at once.

#include <optional>

#include "base/Clock.h"
#include "device/HidPort.h"

namespace padsmith::cli {

enum class WaitOutcome { kPresent, kTimedOut, kInterrupted };

// Looks at the bus at least every 200 ms, and at once when the port tells of an arrival (the
// simulated device does; on Windows `arrivals` is the notification window's wake). No `limit`:
// waits without one. `interrupted` (may be null) ends the wait when it turns non-zero.
WaitOutcome WaitForDisplay(HidPort& port, Clock& clock, std::optional<Millis> limit,
                           int (*interrupted)());

}  // namespace padsmith::cli
