#include "device/sim/SimOptions.h"

#include <cstddef>
#include <limits>

#include "device/sim/SimFirmware.h"

namespace padsmith::sim {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool ParseInfo(const std::string& value, std::array<uint8_t, 8>& info) {
    if (value.size() != 2 * info.size()) return false;
    std::array<uint8_t, 8> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        int high = HexDigit(value[2 * i]);
        int low = HexDigit(value[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    info = bytes;
    return true;
}

// Decimal, or hexadecimal behind "0x"/"0X"; no sign, no spaces, at most `limit`.
bool ParseNumber(const std::string& value, uint64_t limit, uint64_t& number) {
    bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    size_t start = hex ? 2 : 0;
    if (value.size() == start) return false;
    uint64_t base = hex ? 16 : 10;
    uint64_t result = 0;
    for (size_t i = start; i < value.size(); ++i) {
        int digit = HexDigit(value[i]);
        if (digit < 0 || static_cast<uint64_t>(digit) >= base) return false;
        result = result * base + static_cast<uint64_t>(digit);
        if (result > limit) return false;
    }
    number = result;
    return true;
}

bool ParseDecimal(const std::string& value, uint64_t limit, uint64_t& number) {
    const bool digitsOnly = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    return digitsOnly && ParseNumber(value, limit, number);
}

constexpr uint64_t kLongestArrival = 86'400'000;  // a day

}  // namespace

bool ParseSimOptions(const std::string& text, SimOptions& options, std::string& error) {
    SimOptions parsed = options;
    if (Trim(text).empty()) return true;

    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = Trim(text.substr(start, comma - start));
        start = comma + 1;

        const size_t equals = item.find('=');
        const std::string name = item.substr(0, equals);
        const bool hasValue = equals != std::string::npos;
        const std::string value = hasValue ? item.substr(equals + 1) : std::string();
        auto malformed = [&](const char* why) {
            error = "simulation option \"" + item + "\": " + why;
            return false;
        };

        if (item.empty()) {
            error = "simulation options \"" + text + "\": an item is empty";
            return false;
        } else if (name == "absent" || name == "refuse-erase" || name == "no-reply") {
            if (hasValue) return malformed("takes no value");
            if (name == "absent") parsed.absent = true;
            if (name == "refuse-erase") parsed.refuseErase = true;
            if (name == "no-reply") parsed.noReply = true;
        } else if (name == "info") {
            if (!ParseInfo(value, parsed.info)) return malformed("expected exactly 16 hex digits");
        } else if (name == "refuse-at") {
            uint64_t address = 0;
            if (!hasValue || !ParseNumber(value, std::numeric_limits<uint32_t>::max(), address)) {
                return malformed("expected an address, decimal or 0x-prefixed hex");
            }
            // Only the two windows are written: 0x0000..0x7FE0 and 0xB000..0xD7E0.
            const bool inGap = address >= 0x8000 && address < 0xB000;
            if (address % kRecordDataLength != 0 || address >= kFlashSize || inGap) {
                return malformed(
                    "not a write record address (a multiple of 0x20 in 0x0000..0x7FE0 or "
                    "0xB000..0xD7E0)");
            }
            parsed.refuseAt = static_cast<uint32_t>(address);
        } else if (name == "unplug-after") {
            uint64_t count = 0;
            if (!ParseDecimal(value, static_cast<uint64_t>(std::numeric_limits<int>::max()), count) ||
                count == 0) {
                return malformed("expected a decimal count of 1 or more");
            }
            parsed.unplugAfter = static_cast<int>(count);
        } else if (name == "arrive-after") {
            uint64_t milliseconds = 0;
            if (!ParseDecimal(value, kLongestArrival, milliseconds)) {
                return malformed("expected a decimal count of milliseconds, at most 86400000");
            }
            parsed.arriveAfterMs = static_cast<int>(milliseconds);
        } else if (name == "trace" || name == "flash") {
            if (!hasValue || value.empty()) return malformed("expected a file name");
            (name == "trace" ? parsed.traceFile : parsed.flashFile) = value;
        } else {
            error = "unknown simulation option \"" + item + "\"";
            return false;
        }
    }
    options = parsed;
    return true;
}

}  // namespace padsmith::sim
