#pragma once
// How the simulated device is set up: the bytes it reports about itself, the faults it shows and
// the files it keeps. One comma-separated text sets it, the same for the `--simulate=` switch of
// both front ends and for tests.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "device/HidPort.h"

namespace padsmith::sim {

// One HID interface the simulated device presents.
struct SimInterface {
    std::wstring path;  // Windows-style device path
    uint16_t vendorId;
    uint16_t productId;
    uint16_t usagePage;
    uint16_t usage;
    std::string location;     // the USB port it sits on, as a Linux location ("1-1.2")
    int interfaceNumber = 0;  // its USB interface
};

// What one simulated display reports about itself and which faults it shows.
struct SimDisplayOptions {
    // Bytes 2..9 of the 0x2B information reply and of every input report: firmware version
    // (4 bytes), size code (2), PCB version (2), each most significant byte first.
    std::array<uint8_t, 8> info{0x01, 0x00, 0x0A, 0xFF, 0x25, 0x15, 0x0A, 0x31};
    bool absent = false;                // the service collection ("qxtp0001&col03") is not presented
    bool refuseErase = false;           // the 0x29 erase report is refused
    std::optional<uint32_t> refuseAt;   // the write record for this address is refused
    std::optional<int> unplugAfter;     // the display drops off after accepting this many records
    std::optional<int> arriveAfterMs;   // the display is off the bus at start and arrives this late
    bool noReply = false;               // the 0x2B get fails
    std::string serial;                 // its USB serial number; empty: SIMnn-gggg
    // The line's operator. `leaveAfterMs` after a run ends (the tool lets go of the display's
    // service collection) the display leaves its port; `swapMs` after it left, a fresh display
    // (factory flash, a new serial number, these same options) arrives in its place. Either
    // alone: the other is 0.
    std::optional<int> leaveAfterMs;
    std::optional<int> swapMs;
    bool Operated() const { return leaveAfterMs || swapMs; }
};

// The simulated bus: a mouse of another maker and `displays` displays on a hub. The fields
// inherited from SimDisplayOptions hold for every display but those `byDisplay` names.
struct SimOptions : SimDisplayOptions {
    int displays = 1;
    // The interfaces a look at the bus shows, as Windows walks them: the first 32. A line built
    // in code with more displays than that shows (the benchmark's 64 ports) raises it.
    int interfaceLimit = kInterfaceIndexLimit;
    std::map<int, SimDisplayOptions> byDisplay;  // by display number, 1 to `displays`
    // One line appended per report exchanged; the flash, loaded at start and saved at exit.
    // With several displays, display N keeps its own: FILE.N (DisplayFile).
    std::string traceFile;
    std::string flashFile;
    // replay=FILE: the bus holds the display recorded in FILE instead (ReplayHidPort.h), on a
    // virtual clock, or on the real one with `realtime`.
    std::string replayFile;
    bool realtime = false;
    std::vector<SimInterface> interfaces;  // empty: the default bus (SimInterfaces.h); one display

    // The options of display `number` (1 to `displays`).
    const SimDisplayOptions& Display(int number) const;
};

inline constexpr int kMostDisplays = 16;

// Display `number`'s own file for `file`: the file itself on a bus of one display, FILE.N on a
// bus of several. Empty stays empty.
std::string DisplayFile(const std::string& file, int number, int displays);

// One item of the option text, declared once: the parser, padsmith's --help and the README's
// table of the simulated displays all come from this table (a test holds the README to it).
struct SimOptionItem {
    const char* name;
    const char* value;   // as the help shows it ("N", "HEX", "ADDR", "MS", "FILE"); null: a flag
    const char* effect;  // one line
    // Exactly one of these applies the item: to one display's options (the item may then be
    // given for display K alone, "K:ITEM"), or to the whole bus. `value` is empty for a flag.
    // kMalformed with the reason alone when the value is malformed.
    Error (*applyToDisplay)(const std::string& value, SimDisplayOptions& display);
    Error (*applyToBus)(const std::string& value, SimOptions& bus);
};
const std::vector<SimOptionItem>& SimOptionItems();

// Parses the comma-separated items of SimOptionItems(), in any order, spaces around an item
// ignored; a later item overrides an earlier one of the same name. An item of a display's own
// prefixed "K:" applies to display K only (1 to N, N given by displays=, wherever it stands).
// replay= takes no other item but realtime, which needs it. An empty text gives the defaults.
// An unknown or malformed item: kMalformed, one line naming the item.
Result<SimOptions> ParseSimOptions(const std::string& text);

}  // namespace padsmith::sim
