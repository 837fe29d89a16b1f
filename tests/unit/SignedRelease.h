#pragma once
// A line's release folder for the tests, made with Debian's minisign: keys (the trusted ones in
// trust/, their secret halves apart), an image, its manifest printed by padsmith, signed by
// minisign, so the format is checked against an implementation that is not ours.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "TestRig.h"
#include "base/Utf8.h"
#include "trust/ReleaseChecks.h"

namespace padsmith::test {

namespace fs = std::filesystem;

// 2026-01-31T23:59:59Z and one second later.
inline const auto kLastDay = std::chrono::system_clock::time_point(std::chrono::seconds(1769903999));
inline const auto kDayAfter = kLastDay + std::chrono::seconds(1);

inline std::string ReadFileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFileText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// Runs `command` by the shell, which sends its output where the command says.
inline void RunShell(const std::string& command) {
    ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
}

// A line's release folder: keys made by minisign (the trusted ones in trust/, their secret
// halves apart), an image, its manifest printed by padsmith, signed by minisign.
class Release {
public:
    Release() {
        fs::create_directory(Path("trust"));
        fs::create_directory(Path("secret"));
        WriteFileText(Path("fw.bin"), std::string(300, '\x5A') + "firmware");
    }

    // A new key pair; its public key in trust/ when `trusted`. Returns the key ID minisign printed.
    std::string NewKey(const std::string& name, bool trusted = true) {
        const std::string pub = Path(trusted ? "trust/" + name + ".pub" : "secret/" + name + ".pub");
        RunShell(std::string(PADSMITH_MINISIGN) + " -G -W -p " + pub + " -s " + Path("secret/" + name + ".key") + " >/dev/null");
        const std::string text = ReadFileText(pub);
        const std::string comment = text.substr(0, text.find('\n'));  // "untrusted comment: minisign public key ID"
        return comment.substr(comment.rfind(' ') + 1);
    }

    // The manifest, as `padsmith manifest` prints it, signed with `key`.
    void MakeAndSign(const std::string& key, const std::string& options = "", const std::string& signFlags = "") {
        RunShell(std::string(PADSMITH_PROGRAM) + " manifest " + Path("fw.bin") +
            " --firmware-version=1.0.11.0 --pcb-version=0.10.3.1 " + options + " > " + Path("fw.bin.manifest.json"));
        Sign(key, signFlags);
    }
    void Sign(const std::string& key, const std::string& flags = "") {
        RunShell(std::string(PADSMITH_MINISIGN) + " -S " + flags + " -s " + Path("secret/" + key + ".key") + " -m " +
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
        std::string text = ReadFileText(Path(name));
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from << " in " << text;
        WriteFileText(Path(name), text.replace(at, from.size(), to));
    }

private:
    TempDir m_dir;
};

}  // namespace padsmith::test
