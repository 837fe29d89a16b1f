#include "trust/ReleaseChecks.h"

#include <algorithm>

#include "base/RegularFile.h"
#include "base/UtcTime.h"
#include "base/Utf8.h"
#include "device/IdPair.h"
#include "protocol/DeviceInfo.h"
#include "trust/MinisignSignature.h"

namespace padsmith::trust {
namespace {

Error Refused(const std::string& check, const std::string& why) {
    return Error(ErrorKind::kRejected, check + ": " + why);
}

std::string Firmware(uint32_t version) {
    return ToUtf8(FormatFirmwareVersion(version));
}

std::string KeyList(const TrustFolder& trust) {
    std::string list;
    for (const TrustedKey& trusted : trust.keys) list += (list.empty() ? "" : ", ") + FormatKeyId(trusted.key.keyId);
    return list;
}

Error CheckSignature(const TrustFolder& trust, const ReleaseFiles& files, VerifiedRelease& release) {
    MinisignSignature signature;
    Error error = ReadMinisignSignature(files.signature, signature);
    if (error) return error.Within("signature");
    const std::string keyId = FormatKeyId(signature.keyId);
    const auto trusted = std::find_if(trust.keys.begin(), trust.keys.end(), [&](const TrustedKey& candidate) {
        return candidate.key.keyId == signature.keyId;
    });
    if (trusted == trust.keys.end()) {
        return Refused("signature", "signed by key " + keyId + ", which " + ToUtf8(trust.folder) +
                                        " does not trust (it trusts " + KeyList(trust) + ")");
    }
    if (trust.revoked.count(signature.keyId) != 0) {
        return Refused("signature", "signed by key " + keyId + ", which " + ToUtf8(trust.folder) + " revokes");
    }
    error = VerifyMinisignSignature(signature, trusted->key, files.manifest);
    if (error) return error.Within("signature");
    release.keyId = signature.keyId;
    release.trustedComment = signature.trustedComment;
    return Error();
}

}  // namespace

std::wstring ManifestPathFor(const std::wstring& imagePath) {
    return imagePath + L".manifest.json";
}

std::wstring SignaturePathFor(const std::wstring& imagePath) {
    return ManifestPathFor(imagePath) + L".minisig";
}

Error ReadReleaseFiles(const std::wstring& imagePath, ReleaseFiles& files) {
    Error error;
    std::optional<std::string> manifest =
        ReadSmallFile(ManifestPathFor(imagePath), kLongestManifest, &error, RegularFile::Links::kFollow);
    std::optional<std::string> signature;
    if (manifest) {
        signature = ReadSmallFile(SignaturePathFor(imagePath), kLongestSignatureFile, &error, RegularFile::Links::kFollow);
    }
    if (!signature) return Refused("release", error.message);
    files = {std::move(*manifest), std::move(*signature)};
    return Error();
}

Error CheckRelease(const TrustFolder& trust, const ReleaseFiles& files, const ImageDigest& image,
                   std::chrono::system_clock::time_point now, VerifiedRelease& release) {
    VerifiedRelease checked;
    Error error = CheckSignature(trust, files, checked);
    if (!error) error = ReadReleaseManifest(files.manifest, checked.manifest);
    if (error) return error;
    const ReleaseManifest& manifest = checked.manifest;
    const std::string today = FormatUtcTimestamp(now).substr(0, 10);
    if (!manifest.notAfter.empty() && today > manifest.notAfter) {
        return Refused("date", "the release may be written until " + manifest.notAfter + ", and today is " + today + " (UTC)");
    }
    if (image.fileBytes != manifest.image.fileBytes) {
        return Refused("image size", "the image is " + std::to_string(image.fileBytes) + " bytes, the manifest says " +
                                         std::to_string(manifest.image.fileBytes));
    }
    if (image.sha256 != manifest.image.sha256) {
        return Refused("image digest", "the image's SHA-256 is " + ToHex(image.sha256) + ", the manifest says " +
                                           ToHex(manifest.image.sha256));
    }
    Sha256 sha256;
    sha256.Update(reinterpret_cast<const uint8_t*>(files.manifest.data()), files.manifest.size());
    if (!sha256.Finish(checked.manifestSha256)) return Refused("release", "the manifest's SHA-256 could not be computed");
    release = std::move(checked);
    return Error();
}

Error CheckReleaseBeforeSending(const std::optional<std::wstring>& trustOption, const std::wstring& systemFolder,
                                const std::wstring& imagePath, const ImageDigest& image,
                                std::chrono::system_clock::time_point now, std::optional<VerifiedRelease>& release) {
    release.reset();
    const std::optional<std::wstring> folder = TrustFolderInForce(trustOption, systemFolder);
    if (!folder) return Error();
    TrustFolder trust;
    ReleaseFiles files;
    VerifiedRelease verified;
    Error error = LoadTrustFolder(*folder, trust);
    if (!error) error = ReadReleaseFiles(imagePath, files);
    if (!error) error = CheckRelease(trust, files, image, now, verified);
    if (!error) release = std::move(verified);
    return error;
}

Error CheckDisplay(const ReleaseManifest& manifest, const DisplayIdentity& display, const VersionPolicy& policy,
                   DisplayVerdict& verdict) {
    if (display.vendorId != manifest.vendorId || display.productId != manifest.productId) {
        return Refused("vendor and product ID", "the display is " + FormatIdPair(display.vendorId, display.productId) +
                                                    ", the release is for " +
                                                    FormatIdPair(manifest.vendorId, manifest.productId));
    }
    const std::vector<uint16_t>& boards = manifest.pcbVersions;
    if (std::find(boards.begin(), boards.end(), display.pcbVersion) == boards.end()) {
        std::string list;
        for (uint16_t pcb : boards) list += (list.empty() ? "" : ", ") + ToUtf8(FormatPcbVersion(pcb));
        return Refused("PCB version", "the display's is " + ToUtf8(FormatPcbVersion(display.pcbVersion)) +
                                          ", the release is for " + list);
    }
    if (display.firmwareVersion > manifest.firmwareVersion && !policy.allowOlder) {
        return Refused("firmware version", "the display's " + Firmware(display.firmwareVersion) +
                                               " is newer than the release's " + Firmware(manifest.firmwareVersion) +
                                               " (--allow-older writes it all the same)");
    }
    const bool same = display.firmwareVersion == manifest.firmwareVersion;
    verdict = same && !policy.allowReinstall ? DisplayVerdict::kAlreadyCurrent : DisplayVerdict::kWrite;
    return Error();
}

std::string AlreadyCurrentLine(const ReleaseManifest& manifest) {
    return "already current: the display carries " + Firmware(manifest.firmwareVersion) +
           ", the release's version (--allow-reinstall writes it again)";
}

}  // namespace padsmith::trust
