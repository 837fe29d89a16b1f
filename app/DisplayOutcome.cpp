#include "app/DisplayOutcome.h"

#include "base/Utf8.h"
#include "device/IdPair.h"

namespace padsmith {

RunResult DisplayOutcome::Counted() const {
    return recordLost && EndedWell(result) ? RunResult::kFailure : result;
}

DisplayOutcome OutcomeFor(const HidInterface& display) {
    DisplayOutcome outcome;
    outcome.port = DisplayId(display);
    outcome.vidPid = FormatIdPair(display.vendorId, display.productId);
    outcome.serial = display.serial;
    outcome.node = ToUtf8(display.path);
    return outcome;
}

}  // namespace padsmith
