// The checks between the identity read and the erase: the display against the release.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trust/ReleaseChecks.h"

namespace padsmith::test {
namespace {

TEST(CheckDisplay, OnlyTheDisplaysTheReleaseIsForAndNoSilentDowngradeOrReinstall) {
    trust::ReleaseManifest release;
    release.pcbVersions = {0x0A31, 0x0A40};
    release.firmwareVersion = 0x01000B00;  // 1.0.11.0
    struct Case {
        const char* name;
        trust::DisplayIdentity display;
        trust::VersionPolicy policy;
        const char* refusal;  // the whole line; null: no refusal
        trust::DisplayVerdict verdict;
    };
    using trust::DisplayVerdict;
    const std::vector<Case> cases{
        {"older firmware", {0x2A7D, 0x6C21, 0x0A40, 0x01000AFF}, {}, nullptr, DisplayVerdict::kWrite},
        {"the same version", {0x2A7D, 0x6C21, 0x0A31, 0x01000B00}, {}, nullptr, DisplayVerdict::kAlreadyCurrent},
        {"the same, reinstalled", {0x2A7D, 0x6C21, 0x0A31, 0x01000B00}, {false, true}, nullptr, DisplayVerdict::kWrite},
        {"newer firmware", {0x2A7D, 0x6C21, 0x0A31, 0x01000C00}, {}, 
         "firmware version: the display's 1.0.12.0 is newer than the release's 1.0.11.0 (--allow-older writes it all the same)",
         DisplayVerdict::kWrite},
        {"newer, allowed", {0x2A7D, 0x6C21, 0x0A31, 0x01000C00}, {true, false}, nullptr, DisplayVerdict::kWrite},
        {"another product", {0x2A7D, 0x6C22, 0x0A31, 0x01000AFF}, {true, true},
         "vendor and product ID: the display is 2A7D:6C22, the release is for 2A7D:6C21", DisplayVerdict::kWrite},
        {"another board, and current", {0x2A7D, 0x6C21, 0x0A32, 0x01000B00}, {true, true},
         "PCB version: the display's is 0.10.3.2, the release is for 0.10.3.1, 0.10.4.0", DisplayVerdict::kWrite},
    };
    for (const Case& c : cases) {
        trust::DisplayVerdict verdict = DisplayVerdict::kWrite;
        const Error error = trust::CheckDisplay(release, c.display, c.policy, verdict);
        if (c.refusal != nullptr) {
            EXPECT_EQ(error.kind, ErrorKind::kRejected) << c.name;
            EXPECT_EQ(error.message, c.refusal) << c.name;
        } else {
            EXPECT_FALSE(error) << c.name << ": " << error.message;
            EXPECT_EQ(verdict, c.verdict) << c.name;
        }
    }
    EXPECT_EQ(trust::AlreadyCurrentLine(release),
              "already current: the display carries 1.0.11.0, the release's version (--allow-reinstall writes it again)");
}

}  // namespace
}  // namespace padsmith::test
