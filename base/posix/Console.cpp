// A program's surroundings on Linux and other POSIX systems.

#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "base/Console.h"

namespace padsmith {

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void TightenTimers() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

}  // namespace padsmith
