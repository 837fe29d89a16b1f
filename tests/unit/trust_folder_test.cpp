// The folder of trusted keys: which folder is in force, and what it must hold to be trusted.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestRig.h"
#include "base/Utf8.h"
#include "trust/TrustFolder.h"

namespace padsmith::test {
namespace {

namespace fs = std::filesystem;

// A public key as `minisign -G` wrote it.
const std::string kPublicKey =
    "untrusted comment: minisign public key BBFFDD80F1BA4677\n"
    "RWR3RrrxgN3/u+lo9SsrjAVNdE91nfppEJZiCx4q3zShLDzm+cs9IrYB\n";

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::wstring Wide(const fs::path& path) {
    return FromNativeFileName(path.native());
}

TEST(TrustFolder, KeysAndRevokedIdsAreReadWithTheirComments) {
    TempDir dir;
    WriteText(dir.Path() / "line-2026.pub", kPublicKey);
    WriteText(dir.Path() / "README", "not a key, not read");
    WriteText(dir.Path() / "revoked", "# revoked keys\n\n438fd3c8a870d72   # the old laptop's\r\n0000000000000001\n");
    trust::TrustFolder trust;
    const Error error = trust::LoadTrustFolder(Wide(dir.Path()), trust);
    ASSERT_FALSE(error) << error.message;
    ASSERT_EQ(trust.keys.size(), 1u);
    EXPECT_EQ(trust::FormatKeyId(trust.keys[0].key.keyId), "BBFFDD80F1BA4677");
    EXPECT_EQ(trust.revoked, (std::set<uint64_t>{0x0438FD3C8A870D72, 1}));
}

TEST(TrustFolder, AnythingDoubtfulRefusesTheWholeFolder) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        const char* why;
    };
    const auto key = [](const fs::path& folder) { WriteText(folder / "a.pub", kPublicKey); };
    const std::vector<Case> cases{
        {"no key", [](const fs::path& folder) { WriteText(folder / "a.pub.old", kPublicKey); }, "no key in it (*.pub)"},
        {"a key anyone may write",
         [&](const fs::path& folder) {
             key(folder);
             fs::permissions(folder / "a.pub", fs::perms::others_write, fs::perm_options::add);
         },
         "a.pub: others may write it"},
        {"a folder anyone may write",
         [&](const fs::path& folder) {
             key(folder);
             fs::permissions(folder, fs::perms::others_write, fs::perm_options::add);
         },
         "others may write it"},
        {"a link",
         [&](const fs::path& folder) {
             key(folder);
             fs::create_symlink(folder / "a.pub", folder / "b.pub");
         },
         "b.pub: a link"},
        {"the same key twice",
         [&](const fs::path& folder) {
             key(folder);
             WriteText(folder / "b.pub", kPublicKey);
         },
         "b.pub: the same key ID BBFFDD80F1BA4677 as"},
        {"not a key", [](const fs::path& folder) { WriteText(folder / "a.pub", "RWR3\n"); }, "a.pub: not a minisign public key"},
        {"a revoked line that is no key ID",
         [&](const fs::path& folder) {
             key(folder);
             WriteText(folder / "revoked", "438FD3C8A870D72\nthe old one\n");
         },
         "revoked: line 2: \"the old one\" is not a key ID"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const fs::path folder = dir.Path() / "trust";
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
        c.make(folder);
        trust::TrustFolder trust;
        const Error error = trust::LoadTrustFolder(Wide(folder), trust);
        EXPECT_EQ(error.kind, ErrorKind::kRejected) << c.name;
        EXPECT_NE(error.message.find(c.why), std::string::npos) << c.name << ": " << error.message;
        EXPECT_EQ(error.message.find("trust " + folder.string()), 0u) << error.message;
    }
    trust::TrustFolder trust;
    EXPECT_NE(trust::LoadTrustFolder(L"/nonexistent/padsmith-trust", trust).message.find("No such file"), std::string::npos);
}

TEST(TrustFolder, TheSystemsFolderIsInForceWheneverAnythingIsThere) {
    TempDir dir;
    const std::wstring system = Wide(dir.Path() / "trust");
    EXPECT_EQ(trust::TrustFolderInForce(L"/srv/keys", system), std::optional<std::wstring>(L"/srv/keys"));
    EXPECT_EQ(trust::TrustFolderInForce(std::nullopt, system), std::nullopt);
    EXPECT_EQ(trust::NoTrustNotice(system),
              "release signatures are not checked: no --trust=DIR, and no " + ToUtf8(system) + " on this machine");
    // Even a file where the folder should be: signatures stay mandatory, and the keys an error.
    WriteText(dir.Path() / "trust", "");
    EXPECT_EQ(trust::TrustFolderInForce(std::nullopt, system), std::optional<std::wstring>(system));
    EXPECT_EQ(trust::TrustFolderInForce(L"/srv/keys", system), std::optional<std::wstring>(L"/srv/keys"));
    EXPECT_EQ(trust::SystemTrustFolder(), L"/etc/padsmith/trust");
}

}  // namespace
}  // namespace padsmith::test
