#pragma once
// The tool's command line: --simulate[=OPTIONS] for the demo on the simulated device; every
// other argument is ignored.

#include <string>
#include <vector>

namespace padsmith::win32 {

struct LaunchOptions {
    bool simulate = false;
    std::string simulatorOptions;  // as ParseSimOptions reads them (UTF-8)
};

// `arguments` without the program name; the last --simulate counts.
LaunchOptions ParseLaunchArguments(const std::vector<std::wstring>& arguments);

}  // namespace padsmith::win32
