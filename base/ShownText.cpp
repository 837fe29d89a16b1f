#include "base/ShownText.h"

#include <cstdint>

#include "base/Number.h"
#include "base/Utf8.h"

namespace padsmith {
namespace {

// Lone surrogates that FromNativeFileName makes of bytes that are not UTF-8.
constexpr char32_t kEscapedByteFirst = 0xDC80;
constexpr char32_t kEscapedByteLast = 0xDCFF;

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Characters that reorder or break the text around them without being seen: the bidi marks,
// embeddings, overrides and isolates, and the line and paragraph separators.
bool IsInvisibleLayout(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendHex(std::wstring& out, uint32_t value, int digits) {
    for (char digit : HexDigits(value, digits)) out += static_cast<wchar_t>(digit);
}

}  // namespace

std::wstring ShownText(const std::wstring& text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t c = static_cast<char32_t>(static_cast<uint32_t>(text[i]));
        const bool pair = sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) {  // UTF-16: a character outside the BMP, kept whole
            shown += text[i];
            shown += text[++i];
        } else if (c >= kEscapedByteFirst && c <= kEscapedByteLast) {
            shown += L"\\x";
            AppendHex(shown, c - 0xDC00, 2);
        } else if (IsControl(c)) {
            shown += L"\\x";
            AppendHex(shown, c, 2);
        } else if (IsInvisibleLayout(c) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            shown += L"\\u{";
            AppendHex(shown, c, c > 0xFFFF ? 8 : 4);
            shown += L'}';
        } else {
            shown += text[i];
        }
    }
    return shown;
}

std::string ShownText(const std::string& text) {
    return ToUtf8(ShownText(FromNativeFileName(text)));
}

}  // namespace padsmith
