// The Windows build has no HTTP server: --listen is a usage error there.

#include "cli/StationWeb.h"

namespace padsmith::cli {

bool StationWebBuilt() {
    return false;
}

Result<std::unique_ptr<StationWeb>> StartStationWeb(const StationWebSettings&, StationWebSources) {
    return Error(ErrorKind::kUsage, "--listen is not available in this build (it has no HTTP server)");
}

}  // namespace padsmith::cli
