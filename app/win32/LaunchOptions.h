#pragma once
// The tool's command line: --simulate[=OPTIONS] for the demo on the simulated device; every
// other argument is ignored.

#include <string>
#include <vector>

#include "app/PortStartup.h"

namespace padsmith::win32 {

// `arguments` without the program name; the last --simulate counts. Without a HID backend the
// dialog still opens, and finds no device.
PortRequest ParseLaunchArguments(const std::vector<std::wstring>& arguments);

}  // namespace padsmith::win32
