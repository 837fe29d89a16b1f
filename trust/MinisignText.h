#pragma once
// The text form minisign's key and signature files share: a fixed number of lines, each ended by
// a line feed (the last one may lack it; a CR before it is taken), comment lines behind their
// prefixes, and base64 lines of a fixed length.

#include <optional>
#include <string>
#include <vector>

namespace padsmith::trust {

inline constexpr char kUntrustedCommentPrefix[] = "untrusted comment: ";
inline constexpr char kTrustedCommentPrefix[] = "trusted comment: ";

// The `count` lines of `text`; nothing when it has more or fewer, or holds a NUL byte.
std::optional<std::vector<std::string>> SplitMinisignLines(const std::string& text, size_t count);

// True when `line` begins with `prefix`.
bool StartsWith(const std::string& line, const char* prefix);

}  // namespace padsmith::trust
