#pragma once
// The keys a machine trusts to sign releases: a folder of minisign public keys (*.pub, as
// `minisign -G` writes them) and a file "revoked" in it that lists the key IDs no longer
// trusted, one a line, as minisign prints them (blank lines and lines beginning with # are
// comments). A key is rotated by adding the new key's file first and revoking the old one once
// every release is signed with the new key, so a line never stops.
//
// --trust=DIR names the folder for one run; otherwise the system's folder, when it exists, is in
// force for every run on the machine (/etc/padsmith/trust; on Windows
// %ProgramData%\padsmith\trust). Where signatures are in force, no release is written unless its
// manifest is signed by a trusted key; where none is, runs go on as before.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/Error.h"
#include "trust/MinisignKey.h"

namespace padsmith::trust {

struct TrustedKey {
    MinisignPublicKey key;
    std::wstring file;
};

struct TrustFolder {
    std::wstring folder;
    std::vector<TrustedKey> keys;    // in file-name order
    std::set<uint64_t> revoked;
};

// The system's folder, whose presence makes signatures mandatory for every write on the machine.
std::wstring SystemTrustFolder();

// The folder in force: `option` (--trust=DIR) when given, else `systemFolder` when something is
// there (even a file or a folder this user cannot read: its keys are then an error, not
// nothing), else none.
std::optional<std::wstring> TrustFolderInForce(const std::optional<std::wstring>& option, const std::wstring& systemFolder);

// The line a run says once when no folder is in force and the system has none, so a machine that
// checks nothing says so.
std::string NoTrustNotice(const std::wstring& systemFolder);

// Reads the folder's keys and revoked list. A kRejected error, naming the file, when the folder
// cannot be read or others may write it, holds no *.pub, a key file is not a minisign public key
// (or is a link, or others may write it), two files hold the same key ID, or a line of "revoked" is
// not a key ID; and in a build that cannot check signatures.
Error LoadTrustFolder(const std::wstring& folder, TrustFolder& trust);

}  // namespace padsmith::trust
