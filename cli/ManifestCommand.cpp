#include "cli/ManifestCommand.h"

#include <cstdio>
#include <vector>

#include "app/ExitStatus.h"
#include "base/Utf8.h"
#include "cli/Commands.h"
#include "protocol/FirmwareImage.h"

namespace padsmith::cli {

bool CheckManifestOptions(const CommandLine& parsed, std::string& error) {
    const bool manifest = parsed.command->runWithoutPort == &RunManifest;
    const ManifestOptions& options = parsed.manifest;
    if (options.given && !manifest) {
        error = "--firmware-version, --pcb-version, --not-after and --vid-pid are for manifest only";
    } else if (manifest && (!options.firmwareVersion || options.pcbVersions.empty())) {
        error = "a manifest needs --firmware-version and --pcb-version";
    } else if (manifest && (parsed.json || !parsed.device.empty())) {
        error = "manifest prints JSON for no display: --json and --device are not for it";
    }
    return error.empty();
}

int RunManifest(const CommandLine& commandLine, const SessionStreams& streams) {
    const ManifestOptions& options = commandLine.manifest;
    trust::ReleaseManifest manifest;
    const std::wstring path = AbsoluteFileName(commandLine.imageFile);
    const Result<VerifiedImage> image = LoadFirmwareImage(path, ImageRequirements{true, std::nullopt});
    if (!image) {
        std::fprintf(streams.err, "padsmith: %s\n", image.error().message.c_str());
        return kExitFailure;
    }
    manifest.image = image->Digest();
    manifest.vendorId = options.vendorId;
    manifest.productId = options.productId;
    manifest.pcbVersions = options.pcbVersions;
    manifest.firmwareVersion = *options.firmwareVersion;
    manifest.notAfter = options.notAfter;
    std::fputs(trust::WriteReleaseManifest(manifest).c_str(), streams.out);
    return std::fflush(streams.out) == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace padsmith::cli
