#include "base/Number.h"

#include <algorithm>
#include <vector>

namespace padsmith {
namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char* HexDigitChars(HexCase letters) {
    return letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
}

bool HasHexPrefix(const std::string& text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

}  // namespace

std::optional<uint64_t> ParseNumber(const std::string& text, NumberBase base, uint64_t limit) {
    bool hex = base == NumberBase::kHex;
    size_t start = 0;
    if ((base == NumberBase::kHexMaybePrefixed || base == NumberBase::kDecimalOrPrefixedHex) &&
        HasHexPrefix(text)) {
        hex = true;
        start = 2;
    } else if (base == NumberBase::kHexMaybePrefixed) {
        hex = true;
    }
    if (text.size() == start) return std::nullopt;
    const uint64_t radix = hex ? 16 : 10;
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const int digit = DigitValue(text[i]);
        if (digit < 0 || static_cast<uint64_t>(digit) >= radix) return std::nullopt;
        // value * radix + digit <= limit, without overflowing on the way there
        const auto digitValue = static_cast<uint64_t>(digit);
        if (digitValue > limit || value > (limit - digitValue) / radix) return std::nullopt;
        value = value * radix + digitValue;
    }
    return value;
}

bool ParseHexBytes(const std::string& text, uint8_t* bytes, size_t count) {
    if (text.size() != 2 * count) return false;
    std::vector<uint8_t> parsed(count);
    for (size_t i = 0; i < count; ++i) {
        const int high = DigitValue(text[2 * i]);
        const int low = DigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        parsed[i] = static_cast<uint8_t>(high * 16 + low);
    }
    std::copy(parsed.begin(), parsed.end(), bytes);
    return true;
}

std::string HexDigits(uint64_t value, int digits, HexCase letters) {
    const char* const hex = HexDigitChars(letters);
    std::string text;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += hex[(value >> shift) & 0xF];
    return text;
}

std::string HexBytes(const uint8_t* bytes, size_t length, HexCase letters) {
    const char* const hex = HexDigitChars(letters);
    std::string text;
    text.reserve(2 * length);
    for (size_t i = 0; i < length; ++i) {
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0xF];
    }
    return text;
}

}  // namespace padsmith
