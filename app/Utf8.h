#pragma once
// UTF-8 <-> wide text, for file names and terminal output on systems whose C library speaks
// bytes. wchar_t is UTF-32 there and UTF-16 on Windows; both are handled.

#include <string>

namespace padsmith {

std::string ToUtf8(const std::wstring& text);
// Invalid sequences become U+FFFD.
std::wstring FromUtf8(const std::string& text);

}  // namespace padsmith
