#include "app/win32/LaunchOptions.h"

#include "base/Utf8.h"

namespace padsmith::win32 {

LaunchOptions ParseLaunchArguments(const std::vector<std::wstring>& arguments) {
    static const std::wstring kSimulate = L"--simulate";
    LaunchOptions parsed;
    for (const std::wstring& argument : arguments) {
        if (argument == kSimulate) {
            parsed.simulate = true;
            parsed.simulatorOptions.clear();
        } else if (argument.compare(0, kSimulate.size() + 1, kSimulate + L"=") == 0) {
            parsed.simulate = true;
            parsed.simulatorOptions = ToUtf8(argument.substr(kSimulate.size() + 1));
        }
        // Anything else is ignored, as the tool always ignored its command line: a shortcut
        // with an argument, or a file dropped on the program, still opens the dialog.
    }
    return parsed;
}

}  // namespace padsmith::win32
