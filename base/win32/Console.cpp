// A program's surroundings on Windows.

#include <io.h>

#include "base/Console.h"

namespace padsmith {

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

// The Windows clock asks for precise timers itself, around each pause (device/win32/WinClock).
void TightenTimers() {}

}  // namespace padsmith
