#pragma once
// Text that came from a device or a file (a serial number, HID_PHYS, a recording's interface
// line, a file name, an error that quotes one) as a terminal, a log line or a text view may show
// it. What a terminal would act on instead of showing, or what would make the text read other
// than it is, comes out as visible escapes: C0 and C1 controls and DEL as \xNN (so an ESC
// sequence, an OSC 52 clipboard write or a line break stays text), bidi controls and the Unicode
// line separators as \u{NNNN}, and each byte that is not UTF-8 as \xNN. All else is kept, a
// backslash included. JSON has escapes of its own and takes the text as it is.

#include <string>

namespace padsmith {

// UTF-8 in and out; the input may hold any bytes.
std::string ShownText(const std::string& text);
// Wide text; a lone surrogate that stands for a byte of a name that is not UTF-8
// (FromNativeFileName) is that byte, \xNN.
std::wstring ShownText(const std::wstring& text);

}  // namespace padsmith
