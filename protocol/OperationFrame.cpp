#include "protocol/OperationFrame.h"

namespace padsmith {

Error BusyError() {
    return Error(ErrorKind::kHeld, "the display is busy: another operation held its device lock for 5 s");
}

Error NoDisplayOpen() {
    return Error(ErrorKind::kAbsent, "no display is open");
}

Error ReportError(const HidDevice& device, const std::string& step) {
    const Error why = device.LastError();
    return why ? why.Within(step) : Error(ErrorKind::kRefused, step + ": refused by the display");
}

bool SendFeatureReport(HidDevice& device, Clock& clock, const uint8_t* report, size_t length) {
    bool accepted = device.SetFeature(report, length);
    clock.Sleep(kPostSendPause);
    return accepted;
}

}  // namespace padsmith
