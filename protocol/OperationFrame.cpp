#include "protocol/OperationFrame.h"

namespace padsmith {

bool SendFeatureReport(HidDevice& device, Clock& clock, const uint8_t* report, size_t length) {
    bool accepted = device.SetFeature(report, length);
    clock.Sleep(kPostSendPause);
    return accepted;
}

}  // namespace padsmith
