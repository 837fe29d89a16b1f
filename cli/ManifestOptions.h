#pragma once
// What `padsmith manifest` writes into a release manifest besides the image's size and digest,
// which it measures: --firmware-version, --pcb-version, --not-after, --vid-pid.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trust/ReleaseManifest.h"

namespace padsmith::cli {

struct ManifestOptions {
    bool given = false;                       // any of them was given
    std::optional<uint32_t> firmwareVersion;  // --firmware-version=V
    std::vector<uint16_t> pcbVersions;        // --pcb-version=P[,P...]
    std::string notAfter;                     // --not-after=YYYY-MM-DD
    uint16_t vendorId = trust::kDisplayVendorId;  // --vid-pid=VID:PID
    uint16_t productId = trust::kDisplayProductId;
};

}  // namespace padsmith::cli
