#pragma once
// The HID port and the clock of the system the command line runs on.

#include <memory>

#include "base/Clock.h"
#include "device/HidPort.h"

namespace padsmith::cli {

// Null when this system has no HID backend.
std::unique_ptr<HidPort> CreatePlatformHidPort();

// The clock whose pauses are exact on this system.
std::unique_ptr<Clock> CreatePlatformClock();

}  // namespace padsmith::cli
