#pragma once
// The HID port of the system the command line runs on, when it has one.

#include <memory>

#include "device/HidPort.h"

namespace padsmith::cli {

// Null when this system has no HID backend.
std::unique_ptr<HidPort> CreatePlatformHidPort();

}  // namespace padsmith::cli
