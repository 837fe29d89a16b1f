#include "device/sim/SimOptions.h"

#include <cstddef>
#include <limits>

#include "base/Number.h"
#include "device/sim/SimFirmware.h"

namespace padsmith::sim {
namespace {

constexpr uint64_t kLongestWait = 86'400'000;  // milliseconds: a day

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

Error Malformed(const std::string& why) {
    return Error(ErrorKind::kMalformed, why);
}

Error Milliseconds(const std::string& value, std::optional<int>& field) {
    const std::optional<uint64_t> milliseconds = ParseNumber(value, NumberBase::kDecimal, kLongestWait);
    if (!milliseconds) return Malformed("expected a decimal count of milliseconds, at most 86400000");
    field = static_cast<int>(*milliseconds);
    return Error();
}

Error FileName(const std::string& value, std::string& field) {
    if (value.empty()) return Malformed("expected a file name");
    field = value;
    return Error();
}

// A flag's item: sets `field`.
template <typename Options, bool Options::*field>
Error Flag(const std::string&, Options& options) {
    options.*field = true;
    return Error();
}

const std::vector<SimOptionItem> kItems{
    {"displays", "N", "N displays (1 to 16) on a hub, at USB locations 1-1.1 to 1-1.N", nullptr,
     [](const std::string& value, SimOptions& bus) {
         const std::optional<uint64_t> count = ParseNumber(value, NumberBase::kDecimal, kMostDisplays);
         if (!count || *count == 0) {
             return Malformed("expected a number of displays, 1 to " + std::to_string(kMostDisplays));
         }
         bus.displays = static_cast<int>(*count);
         return Error();
     }},
    {"info", "HEX", "16 hex digits: the firmware version, size code and PCB version it reports",
     [](const std::string& value, SimDisplayOptions& display) {
         const bool hex = ParseHexBytes(value, display.info.data(), display.info.size());
         return hex ? Error() : Malformed("expected exactly 16 hex digits");
     },
     nullptr},
    {"absent", nullptr, "its service collection is not on the bus", Flag<SimDisplayOptions, &SimDisplayOptions::absent>,
     nullptr},
    {"refuse-erase", nullptr, "the erase report is refused", Flag<SimDisplayOptions, &SimDisplayOptions::refuseErase>,
     nullptr},
    {"refuse-at", "ADDR", "the write record for flash address ADDR (hex 0x40 or decimal) is refused",
     [](const std::string& value, SimDisplayOptions& display) {
         const std::optional<uint64_t> address =
             ParseNumber(value, NumberBase::kDecimalOrPrefixedHex, std::numeric_limits<uint32_t>::max());
         if (!address) return Malformed("expected an address, decimal or 0x-prefixed hex");
         // Only the two windows are written: 0x0000..0x7FE0 and 0xB000..0xD7E0.
         const bool inGap = *address >= 0x8000 && *address < 0xB000;
         if (*address % kRecordDataLength != 0 || *address >= kFlashSize || inGap) {
             return Malformed("not a write record address (a multiple of 0x20 in 0x0000..0x7FE0 or 0xB000..0xD7E0)");
         }
         display.refuseAt = static_cast<uint32_t>(*address);
         return Error();
     },
     nullptr},
    {"unplug-after", "N", "it drops off the bus after accepting N write records",
     [](const std::string& value, SimDisplayOptions& display) {
         const std::optional<uint64_t> count =
             ParseNumber(value, NumberBase::kDecimal, static_cast<uint64_t>(std::numeric_limits<int>::max()));
         if (!count || *count == 0) return Malformed("expected a decimal count of 1 or more");
         display.unplugAfter = static_cast<int>(*count);
         return Error();
     },
     nullptr},
    {"arrive-after", "MS", "it is off the bus at start and arrives MS milliseconds later",
     [](const std::string& value, SimDisplayOptions& display) { return Milliseconds(value, display.arriveAfterMs); },
     nullptr},
    {"leave-after", "MS", "an operator takes it off its port MS after its run ended",
     [](const std::string& value, SimDisplayOptions& display) { return Milliseconds(value, display.leaveAfterMs); },
     nullptr},
    {"swap", "MS", "MS after it left its port, a fresh display arrives there",
     [](const std::string& value, SimDisplayOptions& display) { return Milliseconds(value, display.swapMs); },
     nullptr},
    {"serial", "S", "its USB serial number is S (the displays after it: S-2, S-3...)",
     [](const std::string& value, SimDisplayOptions& display) {
         display.serial = value;
         return Error();
     },
     nullptr},
    {"no-reply", nullptr, "the information reply is not supplied", Flag<SimDisplayOptions, &SimDisplayOptions::noReply>,
     nullptr},
    {"trace", "FILE", "one line appended per report exchanged (display K: FILE.K)", nullptr,
     [](const std::string& value, SimOptions& bus) { return FileName(value, bus.traceFile); }},
    {"flash", "FILE", "the flash, loaded from FILE at start and saved at exit (display K: FILE.K)", nullptr,
     [](const std::string& value, SimOptions& bus) { return FileName(value, bus.flashFile); }},
    {"replay", "FILE", "instead, the display recorded in FILE (--record), on a virtual clock", nullptr,
     [](const std::string& value, SimOptions& bus) { return FileName(value, bus.replayFile); }},
    {"realtime", nullptr, "with replay=: on the real clock, holding the tool to the flash's timing", nullptr,
     Flag<SimOptions, &SimOptions::realtime>},
};

// A replay is the recorded display alone: nothing of the simulated bus goes with it.
bool ReplayItem(const std::string& name) {
    return name == "replay" || name == "realtime";
}

const SimOptionItem* FindItem(const std::string& name) {
    for (const SimOptionItem& item : kItems) {
        if (name == item.name) return &item;
    }
    return nullptr;
}

// Splits "K:ITEM" into K and ITEM: 0 when the item has no such prefix (a Windows file name
// such as trace=C:\x has a colon too), -1 when K is no display number.
int DisplayPrefix(std::string& item) {
    const size_t colon = item.find(':');
    if (colon == std::string::npos || colon == 0) return 0;
    const std::string prefix = item.substr(0, colon);
    if (prefix.find_first_not_of("0123456789") != std::string::npos) return 0;
    const std::optional<uint64_t> number = ParseNumber(prefix, NumberBase::kDecimal, kMostDisplays);
    if (!number || *number == 0) return -1;
    item = Trim(item.substr(colon + 1));
    return static_cast<int>(*number);
}

}  // namespace

const std::vector<SimOptionItem>& SimOptionItems() {
    return kItems;
}

const SimDisplayOptions& SimOptions::Display(int number) const {
    auto own = byDisplay.find(number);
    return own != byDisplay.end() ? own->second : *this;
}

std::string DisplayFile(const std::string& file, int number, int displays) {
    if (file.empty() || displays <= 1) return file;
    return file + "." + std::to_string(number);
}

Result<SimOptions> ParseSimOptions(const std::string& text) {
    SimOptions parsed;
    if (Trim(text).empty()) return parsed;
    std::vector<std::string> items;
    for (size_t start = 0; start <= text.size();) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        items.push_back(Trim(text.substr(start, comma - start)));
        start = comma + 1;
    }
    const auto wholeText = [&](const std::string& why) {
        return Malformed("simulation options \"" + text + "\": " + why);
    };
    bool simulatedBus = false;  // an item of the simulated bus, which a replay does not take
    const SimOptionItem& displays = *FindItem("displays");
    // The number of displays first, so that a "K:" item is checked against it wherever it stands.
    for (const std::string& written : items) {
        const size_t equals = written.find('=');
        if (written.substr(0, equals) != displays.name) continue;
        const Error why = equals == std::string::npos ? Malformed("expected a value")
                                                      : displays.applyToBus(written.substr(equals + 1), parsed);
        if (why) return why.Within("simulation option \"" + written + "\"");
    }
    for (const std::string& written : items) {
        if (written.empty()) return wholeText("an item is empty");
        const auto malformed = [&](const std::string& why) {
            return Malformed("simulation option \"" + written + "\": " + why);
        };
        std::string item = written;
        const int display = DisplayPrefix(item);
        if (display < 0 || display > parsed.displays) {
            return malformed("no such display (displays=" + std::to_string(parsed.displays) + ")");
        }
        const size_t equals = item.find('=');
        const SimOptionItem* known = FindItem(item.substr(0, equals));
        if (known == nullptr) return Malformed("unknown simulation option \"" + written + "\"");
        simulatedBus = simulatedBus || !ReplayItem(known->name);
        const bool hasValue = equals != std::string::npos;
        if (known->value == nullptr && hasValue) return malformed("takes no value");
        if (known->value != nullptr && !hasValue) {
            return malformed("expected a value: " + std::string(known->name) + "=" + known->value);
        }
        const std::string value = hasValue ? item.substr(equals + 1) : std::string();
        Error why;
        if (known->applyToBus != nullptr) {
            if (display != 0) return malformed("holds for the whole bus, not for one display");
            why = known->applyToBus(value, parsed);
        } else if (display != 0) {
            SimDisplayOptions& own =
                parsed.byDisplay.try_emplace(display, static_cast<const SimDisplayOptions&>(parsed)).first->second;
            why = known->applyToDisplay(value, own);
        } else {
            // Every display: those with options of their own too, so the later item wins.
            why = known->applyToDisplay(value, parsed);
            for (auto& own : parsed.byDisplay) known->applyToDisplay(value, own.second);
        }
        if (why) return why.Within("simulation option \"" + written + "\"");
    }
    if (!parsed.replayFile.empty() && simulatedBus) return wholeText("replay=FILE takes no other item but realtime");
    if (parsed.realtime && parsed.replayFile.empty()) return wholeText("realtime is for replay=FILE");
    return parsed;
}

}  // namespace padsmith::sim
