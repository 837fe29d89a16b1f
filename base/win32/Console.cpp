// A program's surroundings on Windows.

#include <io.h>
#include <windows.h>

#include "base/Console.h"

namespace padsmith {

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

// The console's window, not its buffer: the buffer is often far wider than what is seen.
std::optional<int> TerminalColumns(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) return std::nullopt;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns <= 0) return std::nullopt;
    return columns;
}

// The Windows clock asks for precise timers itself, around each pause (device/win32/WinClock).
void TightenTimers() {}

}  // namespace padsmith
