#pragma once
// The checks that stand between a release and a display's erase, as pure functions the run
// calls in this order:
//   1. before anything is sent (CheckRelease): the manifest's signature, by a trusted key that is
//      not revoked, with its trusted comment; the manifest's date; the image's size and digest;
//   2. after the identity read (0x2A, 0x2B), before the erase (CheckDisplay): the display's
//      vendor and product ID, its PCB version, and its firmware version against the release's.
// A refusal is a kRejected error of one line: the check, then both values.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "base/Error.h"
#include "base/Sha256.h"
#include "protocol/FirmwareImage.h"
#include "trust/ReleaseManifest.h"
#include "trust/TrustFolder.h"

namespace padsmith::trust {

// A release whose manifest passed every check before anything is sent.
struct VerifiedRelease {
    ReleaseManifest manifest;
    uint64_t keyId = 0;             // the key that signed it
    Sha256Digest manifestSha256{};  // the manifest file's own digest, for the history
    std::string trustedComment;
};

// The manifest beside an image ("fw.bin.manifest.json") and its signature beside the manifest
// ("fw.bin.manifest.json.minisig").
std::wstring ManifestPathFor(const std::wstring& imagePath);
std::wstring SignaturePathFor(const std::wstring& imagePath);

struct ReleaseFiles {
    std::string manifest;
    std::string signature;
};

// Reads the manifest and signature beside `imagePath` (regular files; a link is followed, as the
// image's is). A kRejected error naming the file that cannot be read or is too long.
Error ReadReleaseFiles(const std::wstring& imagePath, ReleaseFiles& files);

// The checks before anything is sent, on the files beside the image and the image's own size and
// SHA-256 (as LoadFirmwareImage measured them), on the UTC day of `now`: the signature's form;
// its key among `trust`'s and not revoked; the signature over the manifest (prehashed or legacy)
// and the global one over the trusted comment; the manifest's form; its date; the image's size,
// then its digest. Fills `release` when every check passes.
Error CheckRelease(const TrustFolder& trust, const ReleaseFiles& files, const ImageDigest& image,
                   std::chrono::system_clock::time_point now, VerifiedRelease& release);

// The whole of the first step, once per command before any display is served, for the image at
// `imagePath` that LoadFirmwareImage measured as `image`: the folder in force
// (TrustFolderInForce), loaded; the files beside the image, read; CheckRelease. With no folder in
// force, no error and no `release`: nothing is checked.
Error CheckReleaseBeforeSending(const std::optional<std::wstring>& trustOption, const std::wstring& systemFolder,
                                const std::wstring& imagePath, const ImageDigest& image,
                                std::chrono::system_clock::time_point now, std::optional<VerifiedRelease>& release);

// What the checks after the identity read need of the display.
struct DisplayIdentity {
    uint16_t vendorId = 0;  // the interface's, as the port reports it
    uint16_t productId = 0;
    uint16_t pcbVersion = 0;       // the information reply's (0x2B)
    uint32_t firmwareVersion = 0;
};

struct VersionPolicy {
    bool allowOlder = false;      // write an image older than the display's firmware
    bool allowReinstall = false;  // write the version the display already carries
};

enum class DisplayVerdict {
    kWrite,
    kAlreadyCurrent,  // the display carries the release's version: nothing is sent, no failure
};

// The checks after the identity read, in order: vendor and product ID; PCB version among the
// release's; the display's firmware not newer than the release's unless `policy` allows older
// images. Then `verdict`: kAlreadyCurrent for the release's own version unless `policy` allows a
// reinstall, else kWrite.
Error CheckDisplay(const ReleaseManifest& manifest, const DisplayIdentity& display, const VersionPolicy& policy,
                   DisplayVerdict& verdict);

// The one line for a display left alone as already current.
std::string AlreadyCurrentLine(const ReleaseManifest& manifest);

}  // namespace padsmith::trust
