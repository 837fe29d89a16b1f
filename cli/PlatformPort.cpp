#include "cli/PlatformPort.h"

#ifdef _WIN32
#include "device/win32/WinClock.h"
#include "device/win32/WinHidPort.h"
#else
#include "base/SteadyClock.h"
#endif

namespace padsmith::cli {

#ifdef _WIN32

std::unique_ptr<HidPort> CreatePlatformHidPort() {
    auto port = std::make_unique<win32::WinHidPort>();
    if (!port->Available()) return nullptr;
    return port;
}

std::unique_ptr<Clock> CreatePlatformClock() {
    return std::make_unique<win32::WinClock>();
}

#else

std::unique_ptr<HidPort> CreatePlatformHidPort() {
    // Only Windows has a backend so far; elsewhere the simulated device is the way in.
    return nullptr;
}

std::unique_ptr<Clock> CreatePlatformClock() {
    return std::make_unique<SteadyClock>();
}

#endif

}  // namespace padsmith::cli
