#include "app/win32/LaunchOptions.h"

#include "base/Utf8.h"

namespace padsmith::win32 {

PortRequest ParseLaunchArguments(const std::vector<std::wstring>& arguments) {
    PortRequest parsed;
    parsed.needBackend = false;
    // Anything but --simulate is ignored, as the tool always ignored its command line: a
    // shortcut with an argument, or a file dropped on the program, still opens the dialog.
    for (const std::wstring& argument : arguments) TakePortArgument(ToUtf8(argument), parsed);
    return parsed;
}

}  // namespace padsmith::win32
