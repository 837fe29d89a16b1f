#pragma once
// The tool's command line: nothing, or --simulate[=OPTIONS] for the demo on the simulated device.

#include <string>
#include <vector>

namespace padsmith::win32 {

struct LaunchOptions {
    bool simulate = false;
    std::string simulatorOptions;  // as ParseSimOptions reads them (UTF-8)
};

// `arguments` without the program name. False with `error` for anything else on the line.
bool ParseLaunchArguments(const std::vector<std::wstring>& arguments, LaunchOptions& options,
                          std::wstring& error);

}  // namespace padsmith::win32
