#include "cli/StationJsonEvents.h"

namespace padsmith::cli {

void StationJsonEvents::OnArrival(const HidInterface& display) {
    Emit(StationEventObject("arrival", &display, DisplayId(display)));
}

void StationJsonEvents::OnIgnored(const HidInterface& display) {
    Emit(StationEventObject("ignored", &display, DisplayId(display)));
}

void StationJsonEvents::OnStarted(const HidInterface& display) {
    Emit(StationEventObject("started", &display, DisplayId(display)));
}

void StationJsonEvents::OnResult(const DisplayOutcome& outcome) {
    Emit(StationResultObject(outcome, m_image));
}

void StationJsonEvents::OnLeft(const std::string& port) {
    Emit(StationEventObject("left", nullptr, port));
}

void StationJsonEvents::OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) {
    Emit(StationQuarantineObject(port, failures));
}

void StationJsonEvents::OnHeldBack(const HidInterface& display) {
    Emit(StationEventObject("heldBack", &display, DisplayId(display)));
}

void StationJsonEvents::OnCleared(const std::string& port) {
    Emit(StationEventObject("cleared", nullptr, port));
}

}  // namespace padsmith::cli
