// libFuzzer target: any bytes as a release manifest. Beyond not crashing, hanging or reading out
// of bounds: a refusal is one line beginning "manifest: "; an accepted manifest, written again,
// reads back as the same manifest, and is then written to the same text.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "trust/ReleaseManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace padsmith::trust;
    ReleaseManifest manifest;
    const padsmith::Error error = ReadReleaseManifest(std::string(reinterpret_cast<const char*>(data), size), manifest);
    if (error) {
        if (error.kind != padsmith::ErrorKind::kRejected || error.message.compare(0, 10, "manifest: ") != 0 ||
            error.message.find('\n') != std::string::npos) {
            std::abort();
        }
        return 0;
    }
    const std::string written = WriteReleaseManifest(manifest);
    ReleaseManifest again;
    if (ReadReleaseManifest(written, again) || WriteReleaseManifest(again) != written ||
        again.pcbVersions != manifest.pcbVersions || again.notAfter != manifest.notAfter) {
        std::abort();
    }
    return 0;
}
