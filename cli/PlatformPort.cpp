#include "cli/PlatformPort.h"

namespace padsmith::cli {

std::unique_ptr<HidPort> CreatePlatformHidPort() {
    // Only Windows has a backend so far; elsewhere the simulated device is the way in.
    return nullptr;
}

}  // namespace padsmith::cli
