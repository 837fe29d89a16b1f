#include "app/DisplayOutcome.h"

#include <cstdio>

#include "base/Utf8.h"

namespace padsmith {

DisplayOutcome OutcomeFor(const HidInterface& display) {
    DisplayOutcome outcome;
    outcome.port = DisplayId(display);
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04X:%04X", display.vendorId, display.productId);
    outcome.vidPid = ids;
    outcome.serial = display.serial;
    outcome.node = ToUtf8(display.path);
    return outcome;
}

}  // namespace padsmith
