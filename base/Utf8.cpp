#include "base/Utf8.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace padsmith {
namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendWide(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

// Lone surrogates that stand for one byte of a file name that is not UTF-8.
constexpr char32_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char32_t c) {
    return c >= kEscapedByteBase + 0x80 && c <= kEscapedByteBase + 0xFF;
}

// UTF-8 to wide text; a byte that starts no valid sequence goes through `invalid`.
template <typename Invalid>
std::wstring Decode(const std::string& text, Invalid invalid) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2
                  : (lead >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) {
            invalid(out, lead);  // a stray byte, or a sequence cut off by the end
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? lead : static_cast<char32_t>(lead & (0x3F >> extra));
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            invalid(out, lead);
            ++i;
            continue;
        }
        AppendWide(out, c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

// Wide text to UTF-8; a code point that UTF-8 cannot carry goes through `unencodable`.
template <typename Unencodable>
std::string Encode(const std::wstring& text, Unencodable unencodable) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(static_cast<uint32_t>(text[i]) & 0x1FFFFF);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            char32_t low = static_cast<char32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            unencodable(out, c);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}
}  // namespace

std::string ToUtf8(const std::wstring& text) {
    return Encode(text, [](std::string& out, char32_t) { AppendUtf8(out, kReplacement); });
}

std::wstring FromUtf8(const std::string& text) {
    return Decode(text, [](std::wstring& out, unsigned char) { AppendWide(out, kReplacement); });
}

std::wstring FromNativeFileName(const std::string& name) {
    return Decode(name, [](std::wstring& out, unsigned char byte) {
        out += static_cast<wchar_t>(kEscapedByteBase + byte);
    });
}

std::string ToNativeFileName(const std::wstring& name) {
    return Encode(name, [](std::string& out, char32_t c) {
        if (IsEscapedByte(c)) {
            out += static_cast<char>(c - kEscapedByteBase);
        } else {
            AppendUtf8(out, kReplacement);
        }
    });
}

std::wstring AbsoluteFileName(const std::string& argument) {
    std::error_code ignored;
#ifdef _WIN32
    std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(argument), ignored);
    return full.empty() ? FromUtf8(argument) : full.wstring();
#else
    std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(argument), ignored);
    return FromNativeFileName(full.empty() ? argument : full.native());
#endif
}

}  // namespace padsmith
