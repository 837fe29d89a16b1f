#include "base/HostName.h"

#include <unistd.h>

#include <climits>

namespace padsmith {

std::string HostName() {
#ifdef HOST_NAME_MAX
    char name[HOST_NAME_MAX + 1] = {};
#else
    char name[256] = {};
#endif
    // A name cut at the buffer's end may lack its terminator: the last byte stays 0.
    if (gethostname(name, sizeof name - 1) != 0) return std::string();
    return name;
}

}  // namespace padsmith
