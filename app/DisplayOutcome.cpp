#include "app/DisplayOutcome.h"

#include "app/ExitStatus.h"
#include "base/Utf8.h"
#include "device/IdPair.h"

namespace padsmith {

int DisplayOutcome::ExitStatus() const {
    const int status = ExitStatusOf(result);
    return recordLost && status == kExitSuccess ? kExitFailure : status;
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
