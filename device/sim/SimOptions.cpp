#include "device/sim/SimOptions.h"

#include <cstddef>
#include <functional>
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

// A display's own item as a change to make to a display's options; false with `why` when the
// value is malformed. `known` is false when `name` is no display item.
using DisplaySetting = std::function<void(SimDisplayOptions&)>;
bool ParseDisplayItem(const std::string& name, bool hasValue, const std::string& value, bool& known,
                      DisplaySetting& setting, std::string& why) {
    known = true;
    if (name == "absent" || name == "refuse-erase" || name == "no-reply") {
        if (hasValue) return why = "takes no value", false;
        if (name == "absent") setting = [](SimDisplayOptions& d) { d.absent = true; };
        if (name == "refuse-erase") setting = [](SimDisplayOptions& d) { d.refuseErase = true; };
        if (name == "no-reply") setting = [](SimDisplayOptions& d) { d.noReply = true; };
    } else if (name == "info") {
        std::array<uint8_t, 8> info{};
        if (!ParseInfo(value, info)) return why = "expected exactly 16 hex digits", false;
        setting = [info](SimDisplayOptions& d) { d.info = info; };
    } else if (name == "refuse-at") {
        uint64_t address = 0;
        if (!hasValue || !ParseNumber(value, std::numeric_limits<uint32_t>::max(), address)) {
            return why = "expected an address, decimal or 0x-prefixed hex", false;
        }
        // Only the two windows are written: 0x0000..0x7FE0 and 0xB000..0xD7E0.
        const bool inGap = address >= 0x8000 && address < 0xB000;
        if (address % kRecordDataLength != 0 || address >= kFlashSize || inGap) {
            why = "not a write record address (a multiple of 0x20 in 0x0000..0x7FE0 or 0xB000..0xD7E0)";
            return false;
        }
        setting = [address](SimDisplayOptions& d) { d.refuseAt = static_cast<uint32_t>(address); };
    } else if (name == "unplug-after") {
        uint64_t count = 0;
        if (!ParseDecimal(value, static_cast<uint64_t>(std::numeric_limits<int>::max()), count) ||
            count == 0) {
            return why = "expected a decimal count of 1 or more", false;
        }
        setting = [count](SimDisplayOptions& d) { d.unplugAfter = static_cast<int>(count); };
    } else if (name == "arrive-after") {
        uint64_t milliseconds = 0;
        if (!ParseDecimal(value, kLongestArrival, milliseconds)) {
            return why = "expected a decimal count of milliseconds, at most 86400000", false;
        }
        setting = [milliseconds](SimDisplayOptions& d) { d.arriveAfterMs = static_cast<int>(milliseconds); };
    } else {
        known = false;
    }
    return true;
}

// Splits "K:ITEM" into K and ITEM: 0 when the item has no such prefix (a Windows file name
// such as trace=C:\x has a colon too), -1 when K is no display number.
int DisplayPrefix(std::string& item) {
    const size_t colon = item.find(':');
    if (colon == std::string::npos || colon == 0) return 0;
    const std::string prefix = item.substr(0, colon);
    if (prefix.find_first_not_of("0123456789") != std::string::npos) return 0;
    uint64_t number = 0;
    if (!ParseDecimal(prefix, kMostDisplays, number) || number == 0) return -1;
    item = Trim(item.substr(colon + 1));
    return static_cast<int>(number);
}

}  // namespace

const SimDisplayOptions& SimOptions::Display(int number) const {
    auto own = byDisplay.find(number);
    return own != byDisplay.end() ? own->second : *this;
}

std::string DisplayFile(const std::string& file, int number, int displays) {
    if (file.empty() || displays <= 1) return file;
    return file + "." + std::to_string(number);
}

bool ParseSimOptions(const std::string& text, SimOptions& options, std::string& error) {
    if (Trim(text).empty()) return true;
    std::vector<std::string> items;
    for (size_t start = 0; start <= text.size();) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        items.push_back(Trim(text.substr(start, comma - start)));
        start = comma + 1;
    }
    SimOptions parsed = options;
    bool simulatedBus = false;  // an item of the simulated bus, which a replay does not take
    // The number of displays first, so that a "K:" item is checked against it wherever it stands.
    for (const std::string& item : items) {
        if (item.substr(0, item.find('=')) != "displays") continue;
        uint64_t count = 0;
        const size_t equals = item.find('=');
        if (equals == std::string::npos || !ParseDecimal(item.substr(equals + 1), kMostDisplays, count) ||
            count == 0) {
            error = "simulation option \"" + item + "\": expected a number of displays, 1 to " +
                    std::to_string(kMostDisplays);
            return false;
        }
        parsed.displays = static_cast<int>(count);
    }
    for (const std::string& written : items) {
        if (written.empty()) {
            error = "simulation options \"" + text + "\": an item is empty";
            return false;
        }
        auto malformed = [&](const std::string& why) {
            error = "simulation option \"" + written + "\": " + why;
            return false;
        };
        std::string item = written;
        const int display = DisplayPrefix(item);
        if (display < 0 || display > parsed.displays) {
            return malformed("no such display (displays=" + std::to_string(parsed.displays) + ")");
        }
        const size_t equals = item.find('=');
        const std::string name = item.substr(0, equals);
        const bool hasValue = equals != std::string::npos;
        const std::string value = hasValue ? item.substr(equals + 1) : std::string();

        bool known = false;
        DisplaySetting setting;
        std::string why;
        if (!ParseDisplayItem(name, hasValue, value, known, setting, why)) return malformed(why);
        simulatedBus = simulatedBus || (name != "replay" && name != "realtime");
        if (known) {
            if (display != 0) {
                setting(parsed.byDisplay.try_emplace(display, static_cast<const SimDisplayOptions&>(parsed))
                            .first->second);
            } else {
                // Every display: those with options of their own too, so the later item wins.
                setting(parsed);
                for (auto& own : parsed.byDisplay) setting(own.second);
            }
        } else if (name == "displays" || name == "trace" || name == "flash" || name == "replay" ||
                   name == "realtime") {
            if (display != 0) return malformed("holds for the whole bus, not for one display");
            if (name == "realtime") {
                if (hasValue) return malformed("takes no value");
                parsed.realtime = true;
            } else if (name == "replay") {
                if (!hasValue || value.empty()) return malformed("expected a file name");
                parsed.replayFile = value;
            } else if (name != "displays") {
                if (!hasValue || value.empty()) return malformed("expected a file name");
                (name == "trace" ? parsed.traceFile : parsed.flashFile) = value;
            }
        } else {
            error = "unknown simulation option \"" + written + "\"";
            return false;
        }
    }
    if (!parsed.replayFile.empty() && simulatedBus) {
        error = "simulation options \"" + text + "\": replay=FILE takes no other item but realtime";
        return false;
    }
    if (parsed.realtime && parsed.replayFile.empty()) {
        error = "simulation options \"" + text + "\": realtime is for replay=FILE";
        return false;
    }
    options = parsed;
    return true;
}

}  // namespace padsmith::sim
