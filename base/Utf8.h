#pragma once
// UTF-8 <-> wide text, for file names and terminal output on systems whose C library speaks
// bytes. wchar_t is UTF-32 there and UTF-16 on Windows; both are handled.

#include <string>

namespace padsmith {

std::string ToUtf8(const std::wstring& text);
// Invalid sequences become U+FFFD.
std::wstring FromUtf8(const std::string& text);

// File names on systems whose file names are bytes: every name survives the round trip, even
// one that is not UTF-8. Each byte of an invalid sequence becomes U+DC80..U+DCFF (a lone
// surrogate, which valid UTF-8 never yields) and turns back into that byte. Shown with
// ToUtf8, such a byte reads as U+FFFD.
std::wstring FromNativeFileName(const std::string& name);
std::string ToNativeFileName(const std::wstring& name);

// A file name given on a command line (UTF-8 on Windows, where arguments arrive wide; bytes
// elsewhere) as a full path in the wide form the file functions take, every byte kept.
std::wstring AbsoluteFileName(const std::string& argument);

}  // namespace padsmith
