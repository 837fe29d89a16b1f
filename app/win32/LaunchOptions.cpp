#include "app/win32/LaunchOptions.h"

#include "app/Utf8.h"

namespace padsmith::win32 {

bool ParseLaunchArguments(const std::vector<std::wstring>& arguments, LaunchOptions& options,
                          std::wstring& error) {
    static const std::wstring kSimulate = L"--simulate";
    LaunchOptions parsed;
    for (const std::wstring& argument : arguments) {
        if (argument == kSimulate) {
            parsed.simulate = true;
            parsed.simulatorOptions.clear();
        } else if (argument.compare(0, kSimulate.size() + 1, kSimulate + L"=") == 0) {
            parsed.simulate = true;
            parsed.simulatorOptions = ToUtf8(argument.substr(kSimulate.size() + 1));
        } else {
            error = L"unknown argument: " + argument;
            return false;
        }
    }
    options = parsed;
    return true;
}

}  // namespace padsmith::win32
