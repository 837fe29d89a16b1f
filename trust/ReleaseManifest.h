#pragma once
// A release manifest: a small JSON file beside the image, named after it (fw.bin has
// fw.bin.manifest.json), that says what the image is and which displays it is for. A line signs
// it with minisign; padsmith checks the signature, then the image and the display against it.
//
//   {
//     "format": "padsmith-release/1",
//     "image": {"bytes": 55296, "sha256": "7f5d5f0f...15997"},
//     "vidPid": "2A7D:6C21",
//     "pcbVersions": ["0.10.3.1"],
//     "firmwareVersion": "1.0.11.0",
//     "notAfter": "2027-06-30"
//   }
//
// "notAfter" may be left out; every other field is required. The reader is strict: a field it
// does not know, a field twice, a value of another type or form, or a format other than
// padsmith-release/1 is refused, since a manifest that says more than this padsmith understands
// must never be taken as saying less. A later format gets a new number.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Error.h"
#include "protocol/FirmwareImage.h"

namespace padsmith::trust {

// The display's own vendor and product ID: what a release is for unless it says otherwise.
inline constexpr uint16_t kDisplayVendorId = 0x2A7D;
inline constexpr uint16_t kDisplayProductId = 0x6C21;

inline constexpr char kManifestFormat[] = "padsmith-release/1";
// The longest manifest read.
inline constexpr size_t kLongestManifest = 64 * 1024;

struct ReleaseManifest {
    ImageDigest image;                 // the whole image file's size and SHA-256
    uint16_t vendorId = kDisplayVendorId;
    uint16_t productId = kDisplayProductId;
    std::vector<uint16_t> pcbVersions;  // the boards it is for, at least one
    uint32_t firmwareVersion = 0;      // the version it carries
    std::string notAfter;              // "YYYY-MM-DD", the last UTC day it may be written; empty: none
};

// `text` as a manifest; a kRejected error ("manifest: ...") naming the first field that is wrong.
Error ReadReleaseManifest(const std::string& text, ReleaseManifest& manifest);

// The manifest as the reader takes it: the fields in the order above, two-space indent, a final
// line feed.
std::string WriteReleaseManifest(const ReleaseManifest& manifest);

}  // namespace padsmith::trust
