// Windows has no signal an operator could send a running station: a restart clears its ports.

#include "cli/PortClearing.h"

namespace padsmith::cli {

void ListenForClearing() {}

unsigned ClearRequests() {
    return 0;
}

std::string HowToClear() {
    return std::string();
}

}  // namespace padsmith::cli
