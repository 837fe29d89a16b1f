#include "trust/TrustFolder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/Ed25519.h"
#include "base/RegularFile.h"
#include "base/Utf8.h"

namespace padsmith::trust {
namespace {

namespace fs = std::filesystem;

constexpr size_t kLongestRevokedList = 64 * 1024;

fs::path NativePath(const std::wstring& path) {
#ifdef _WIN32
    return fs::path(path);
#else
    return fs::path(ToNativeFileName(path));
#endif
}

std::wstring WidePath(const fs::path& path) {
#ifdef _WIN32
    return path.native();
#else
    return FromNativeFileName(path.native());
#endif
}

Error Untrusted(const fs::path& path, const std::string& why) {
    return Error(ErrorKind::kRejected, "trust " + ToUtf8(WidePath(path)) + ": " + why);
}

// A key or the list of revoked keys that anyone may change is no anchor of trust.
Error CheckNotWritableByOthers(const fs::path& path) {
    std::error_code code;
    const fs::file_status status = fs::symlink_status(path, code);
    if (code) return Untrusted(path, code.message());
    if (status.type() == fs::file_type::symlink) return Untrusted(path, "a link; keys must be files of the folder itself");
    if ((status.permissions() & fs::perms::others_write) != fs::perms::none) {
        return Untrusted(path, "others may write it; make it writable by its owner alone");
    }
    return Error();
}

Error ReadTrustFile(const fs::path& path, size_t cap, std::string& text) {
    Error error = CheckNotWritableByOthers(path);
    if (error) return error;
    std::optional<std::string> read = ReadSmallFile(WidePath(path), cap, &error);
    if (!read) return Untrusted(path, error.message);
    text = std::move(*read);
    return Error();
}

Error ReadRevoked(const fs::path& path, std::set<uint64_t>& revoked) {
    std::string text;
    Error error = ReadTrustFile(path, kLongestRevokedList, text);
    if (error) return error;
    int number = 0;
    for (size_t start = 0; start < text.size(); ++number) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, std::min(text.find('#', start), end) - start);
        start = end + 1;
        line.erase(0, line.find_first_not_of(" \t\r"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (line.empty()) continue;
        const std::optional<uint64_t> keyId = ParseKeyId(line);
        if (!keyId) return Untrusted(path, "line " + std::to_string(number + 1) + ": \"" + line + "\" is not a key ID");
        revoked.insert(*keyId);
    }
    return Error();
}

}  // namespace

std::wstring SystemTrustFolder() {
#ifdef _WIN32
    const char* programData = std::getenv("ProgramData");
    return FromUtf8(programData != nullptr && *programData != '\0' ? programData : "C:\\ProgramData") +
           L"\\padsmith\\trust";
#else
    return L"/etc/padsmith/trust";
#endif
}

std::optional<std::wstring> TrustFolderInForce(const std::optional<std::wstring>& option, const std::wstring& systemFolder) {
    if (option) return option;
    std::error_code code;
    // Anything there but nothing at all, a folder this user cannot look into included, is in force.
    if (fs::symlink_status(NativePath(systemFolder), code).type() != fs::file_type::not_found) return systemFolder;
    return std::nullopt;
}

std::string NoTrustNotice(const std::wstring& systemFolder) {
    return "release signatures are not checked: no --trust=DIR, and no " + ToUtf8(systemFolder) + " on this machine";
}

Error LoadTrustFolder(const std::wstring& folder, TrustFolder& trust) {
    const fs::path root = NativePath(folder);
    if (!SignatureChecksBuilt()) return Untrusted(root, "this build cannot check signatures (it has no Ed25519)");
    std::error_code code;
    const fs::file_status status = fs::status(root, code);
    if (code) return Untrusted(root, code.message());
    if (status.type() != fs::file_type::directory) return Untrusted(root, "not a folder");
    if ((status.permissions() & fs::perms::others_write) != fs::perms::none) {
        return Untrusted(root, "others may write it; make it writable by its owner alone");
    }
    std::vector<fs::path> keyFiles;
    for (fs::directory_iterator entry(root, code), end; !code && entry != end; entry.increment(code)) {
        if (entry->path().extension() == ".pub") keyFiles.push_back(entry->path());
    }
    if (code) return Untrusted(root, code.message());
    if (keyFiles.empty()) return Untrusted(root, "no key in it (*.pub)");
    std::sort(keyFiles.begin(), keyFiles.end());
    TrustFolder read;
    read.folder = folder;
    for (const fs::path& file : keyFiles) {
        std::string text;
        TrustedKey trusted{{}, WidePath(file)};
        Error error = ReadTrustFile(file, kLongestKeyFile, text);
        if (!error) error = ReadMinisignPublicKey(text, trusted.key).Within("trust " + ToUtf8(trusted.file));
        if (error) return error;
        for (const TrustedKey& other : read.keys) {
            if (other.key.keyId == trusted.key.keyId) {
                return Untrusted(file, "the same key ID " + FormatKeyId(trusted.key.keyId) + " as " + ToUtf8(other.file));
            }
        }
        read.keys.push_back(trusted);
    }
    const fs::path revoked = root / "revoked";
    if (fs::symlink_status(revoked, code).type() != fs::file_type::not_found) {
        const Error error = ReadRevoked(revoked, read.revoked);
        if (error) return error;
    }
    trust = std::move(read);
    return Error();
}

}  // namespace padsmith::trust
