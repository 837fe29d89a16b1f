// Releases signed by Debian's minisign, checked by padsmith before anything is sent: the
// manifest that `padsmith manifest` prints, signed in both of minisign's forms, and every way a
// release can be wrong on the way to a station.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "TestRig.h"
#include "base/Utf8.h"
#include "trust/ReleaseChecks.h"

namespace padsmith::test {
namespace {

namespace fs = std::filesystem;

// 2026-01-31T23:59:59Z and one second later.
const auto kLastDay = std::chrono::system_clock::time_point(std::chrono::seconds(1769903999));
const auto kDayAfter = kLastDay + std::chrono::seconds(1);

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// Runs `command` by the shell, which sends its output where the command says.
void Run(const std::string& command) {
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
}

// A line's release folder: keys made by minisign (the trusted ones in trust/, their secret
// halves apart), an image, its manifest printed by padsmith, signed by minisign.
class Release {
public:
    Release() {
        fs::create_directory(Path("trust"));
        fs::create_directory(Path("secret"));
        WriteText(Path("fw.bin"), std::string(300, '\x5A') + "firmware");
    }

    // A new key pair; its public key in trust/ when `trusted`. Returns the key ID minisign printed.
    std::string NewKey(const std::string& name, bool trusted = true) {
        const std::string pub = Path(trusted ? "trust/" + name + ".pub" : "secret/" + name + ".pub");
        Run(std::string(PADSMITH_MINISIGN) + " -G -W -p " + pub + " -s " + Path("secret/" + name + ".key") + " >/dev/null");
        const std::string text = ReadText(pub);
        const std::string comment = text.substr(0, text.find('\n'));  // "untrusted comment: minisign public key ID"
        return comment.substr(comment.rfind(' ') + 1);
    }

    // The manifest, as `padsmith manifest` prints it, signed with `key`.
    void MakeAndSign(const std::string& key, const std::string& options = "", const std::string& signFlags = "") {
        Run(std::string(PADSMITH_PROGRAM) + " manifest " + Path("fw.bin") +
            " --firmware-version=1.0.11.0 --pcb-version=0.10.3.1 " + options + " > " + Path("fw.bin.manifest.json"));
        Sign(key, signFlags);
    }
    void Sign(const std::string& key, const std::string& flags = "") {
        Run(std::string(PADSMITH_MINISIGN) + " -S " + flags + " -s " + Path("secret/" + key + ".key") + " -m " +
            Path("fw.bin.manifest.json") + " >/dev/null");
    }

    // Every check before anything is sent, on the day `now`, with trust/ in force.
    Error Check(trust::VerifiedRelease& release, std::chrono::system_clock::time_point now = kLastDay) const {
        return CheckWith(FromNativeFileName(Path("trust")), release, now);
    }
    Error CheckWith(const std::optional<std::wstring>& trustOption, trust::VerifiedRelease& release,
                    std::chrono::system_clock::time_point now = kLastDay) const {
        const std::wstring image = FromNativeFileName(Path("fw.bin"));
        const Result<VerifiedImage> loaded = LoadFirmwareImage(image);
        if (!loaded) return loaded.error();
        std::optional<trust::VerifiedRelease> checked;
        const Error error = trust::CheckReleaseBeforeSending(trustOption, FromNativeFileName(Path("no system folder")),
                                                             image, loaded->Digest(), now, checked);
        EXPECT_EQ(checked.has_value(), !error && trustOption) << error.message;
        if (checked) release = *checked;
        return error;
    }

    std::string Path(const std::string& name) const { return (m_dir.Path() / name).string(); }

    void Edit(const std::string& name, const std::string& from, const std::string& to) {
        std::string text = ReadText(Path(name));
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from << " in " << text;
        WriteText(Path(name), text.replace(at, from.size(), to));
    }

private:
    TempDir m_dir;
};

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
        const std::string manifest = ReadText(release.Path("fw.bin.manifest.json"));
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
        {"a revoked key", [](Release& r, const std::string& key) { WriteText(r.Path("trust/revoked"), key + "\n"); },
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
    WriteText(release.Path("trust/revoked"), old + "\n");
    ASSERT_FALSE(release.Check(verified));
    release.Sign("2025");
    EXPECT_NE(release.Check(verified).message.find("revokes"), std::string::npos);
}

}  // namespace
}  // namespace padsmith::test
