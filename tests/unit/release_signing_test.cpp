// Releases signed by Debian's minisign, checked by padsmith before anything is sent: the
// manifest that `padsmith manifest` prints, signed in both of minisign's forms, and every way a
// release can be wrong on the way to a station.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "SignedRelease.h"

namespace padsmith::test {
namespace {

TEST(ReleaseSigning, BothOfMinisignsFormsVerifyAndNameTheKeyAsMinisignDoes) {
    for (const std::string flags : {"", "-l"}) {
        Release release;
        const std::string key = release.NewKey("line");
        release.MakeAndSign("line", "--not-after=2026-01-31", flags);
        trust::VerifiedRelease verified;
        const Error error = release.Check(verified);
        ASSERT_FALSE(error) << flags << ": " << error.message;
        EXPECT_EQ(trust::FormatKeyId(verified.keyId), key);
        EXPECT_NE(verified.trustedComment.find("file:fw.bin.manifest.json"), std::string::npos) << verified.trustedComment;
        EXPECT_EQ(verified.manifest.firmwareVersion, 0x01000B00u);
        EXPECT_EQ(verified.manifest.image.fileBytes, 308u);
        Sha256 sha256;
        const std::string manifest = ReadFileText(release.Path("fw.bin.manifest.json"));
        sha256.Update(reinterpret_cast<const uint8_t*>(manifest.data()), manifest.size());
        Sha256Digest digest{};
        ASSERT_TRUE(sha256.Finish(digest));
        EXPECT_EQ(verified.manifestSha256, digest);
    }
}

TEST(ReleaseSigning, WithoutAFolderInForceNothingIsCheckedNotEvenAMissingSignature) {
    Release release;
    trust::VerifiedRelease verified;
    EXPECT_FALSE(release.CheckWith(std::nullopt, verified));
    EXPECT_EQ(release.Check(verified).kind, ErrorKind::kRejected);  // no key, no manifest
}

TEST(ReleaseSigning, EveryWrongReleaseIsRefusedBeforeAnythingIsSentSayingWhy) {
    // The refusal's line, from the trusted key's ID, the other key's and the trust folder.
    using Line = std::function<std::string(const std::string& key, const std::string& other, const std::string& trust)>;
    struct Case {
        const char* name;
        std::function<void(Release&, const std::string& key)> change;
        Line refusal;
        std::chrono::system_clock::time_point now = kLastDay;
    };
    const auto says = [](const std::string& text) -> Line {
        return [text](const std::string&, const std::string&, const std::string&) { return text; };
    };
    const std::vector<Case> cases{
        {"an image changed on the station's disk",
         [](Release& r, const std::string&) { r.Edit("fw.bin", "firmware", "firmwarf"); },
         says("image digest: the image's SHA-256 is ")},
        {"an image grown", [](Release& r, const std::string&) { r.Edit("fw.bin", "firmware", "firmware!"); },
         says("image size: the image is 309 bytes, the manifest says 308")},
        {"a manifest changed after signing",
         [](Release& r, const std::string&) { r.Edit("fw.bin.manifest.json", "0.10.3.1", "0.10.3.2"); },
         [](const std::string& key, const std::string&, const std::string&) {
             return "signature: the signature does not verify with key " + key;
         }},
        {"a trusted comment changed",
         [](Release& r, const std::string&) { r.Edit("fw.bin.manifest.json.minisig", "timestamp:", "timestamp:1"); },
         [](const std::string& key, const std::string&, const std::string&) {
             return "signature: the trusted comment's signature does not verify with key " + key;
         }},
        {"a key the station does not know", [](Release& r, const std::string&) { r.Sign("other"); },
         [](const std::string& key, const std::string& other, const std::string& trust) {
             return "signature: signed by key " + other + ", which " + trust + " does not trust (it trusts " + key + ")";
         }},
        {"a revoked key", [](Release& r, const std::string& key) { WriteFileText(r.Path("trust/revoked"), key + "\n"); },
         [](const std::string& key, const std::string&, const std::string& trust) {
             return "signature: signed by key " + key + ", which " + trust + " revokes";
         }},
        {"a manifest past its date", [](Release&, const std::string&) {},
         says("date: the release may be written until 2026-01-31, and today is 2026-02-01 (UTC)"), kDayAfter},
        {"no signature", [](Release& r, const std::string&) { fs::remove(r.Path("fw.bin.manifest.json.minisig")); },
         says("release: open ")},
    };
    for (const Case& c : cases) {
        Release release;
        const std::string key = release.NewKey("line");
        const std::string other = release.NewKey("other", false);
        release.MakeAndSign("line", "--not-after=2026-01-31");
        c.change(release, key);
        trust::VerifiedRelease verified;
        const Error error = release.Check(verified, c.now);
        EXPECT_EQ(error.kind, ErrorKind::kRejected) << c.name;
        EXPECT_EQ(error.message.find(c.refusal(key, other, release.Path("trust"))), 0u) << c.name << ": " << error.message;
        EXPECT_EQ(error.message.find('\n'), std::string::npos) << error.message;
    }
}

TEST(ReleaseSigning, AKeyRotatesWithoutStoppingTheLine) {
    Release release;
    const std::string old = release.NewKey("2025");
    release.NewKey("2026");
    release.MakeAndSign("2025");
    trust::VerifiedRelease verified;
    // Both trusted: releases of either key are written while the new one takes over.
    ASSERT_FALSE(release.Check(verified));
    release.Sign("2026");
    ASSERT_FALSE(release.Check(verified));
    // The old one revoked: its releases are refused, the new key's still written.
    WriteFileText(release.Path("trust/revoked"), old + "\n");
    ASSERT_FALSE(release.Check(verified));
    release.Sign("2025");
    EXPECT_NE(release.Check(verified).message.find("revokes"), std::string::npos);
}

}  // namespace
}  // namespace padsmith::test
