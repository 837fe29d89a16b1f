#include "protocol/DeviceInfo.h"

#include "base/Number.h"
#include "base/Utf8.h"

namespace padsmith {
namespace {
std::wstring Dotted(unsigned a, unsigned b, unsigned c, unsigned d) {
    return std::to_wstring(a) + L'.' + std::to_wstring(b) + L'.' + std::to_wstring(c) + L'.' +
           std::to_wstring(d);
}

// Four dotted groups of at most `groupLimit`, packed `groupBits` apart, most significant first;
// nothing unless `format` gives the same text back.
std::optional<uint32_t> ParseDotted(const std::string& text, uint64_t groupLimit, unsigned groupBits,
                                    std::wstring (*format)(uint32_t)) {
    uint32_t value = 0;
    size_t start = 0;
    for (int group = 0; group < 4; ++group) {
        const size_t end = group < 3 ? text.find('.', start) : text.size();
        if (end == std::string::npos) return std::nullopt;
        const std::optional<uint64_t> number = ParseNumber(text.substr(start, end - start), NumberBase::kDecimal, groupLimit);
        if (!number) return std::nullopt;
        value = value << groupBits | static_cast<uint32_t>(*number);
        start = end + 1;
    }
    if (ToUtf8(format(value)) != text) return std::nullopt;
    return value;
}
}  // namespace

std::wstring FormatPcbVersion(uint16_t pcbVersion) {
    return Dotted((pcbVersion >> 12) & 0xF, (pcbVersion >> 8) & 0xF, (pcbVersion >> 4) & 0xF,
                  pcbVersion & 0xF);
}

std::wstring FormatFirmwareVersion(uint32_t firmwareVersion) {
    return Dotted((firmwareVersion >> 24) & 0xFF, (firmwareVersion >> 16) & 0xFF,
                  (firmwareVersion >> 8) & 0xFF, firmwareVersion & 0xFF);
}

std::optional<uint16_t> ParsePcbVersion(const std::string& text) {
    const auto format = [](uint32_t value) { return FormatPcbVersion(static_cast<uint16_t>(value)); };
    const std::optional<uint32_t> value = ParseDotted(text, 0xF, 4, format);
    if (!value) return std::nullopt;
    return static_cast<uint16_t>(*value);
}

std::optional<uint32_t> ParseFirmwareVersion(const std::string& text) {
    return ParseDotted(text, 0xFF, 8, [](uint32_t value) { return FormatFirmwareVersion(value); });
}

std::wstring FormatProductSize(uint16_t sizeCode) {
    unsigned wholeInches = 10 * ((sizeCode >> 4) & 0xF) + (sizeCode & 0xF);
    return std::to_wstring(wholeInches) + L'.' + std::to_wstring((sizeCode >> 12) & 0xF) +
           std::to_wstring((sizeCode >> 8) & 0xF);
}

}  // namespace padsmith
