// A program's surroundings on Linux and other POSIX systems.

#include <sys/ioctl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "base/Console.h"

namespace padsmith {

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

std::optional<int> TerminalColumns(std::FILE* stream) {
    struct winsize size {};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
    return static_cast<int>(size.ws_col);
}

void TightenTimers() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

}  // namespace padsmith
