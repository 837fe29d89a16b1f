#pragma once
// What both programs do first: read the port their command line asks for, and open it: the
// simulated device with its options (--simulate[=OPTIONS]), a recorded session played back
// (--simulate=replay=FILE), or the platform's HID port (hid.dll on Windows, hidraw on Linux). And
// the clock the program runs on.

#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Result.h"
#include "device/HidPort.h"

namespace padsmith {

struct PortRequest {
    bool simulate = false;
    std::string simulatorOptions;  // UTF-8, as ParseSimOptions reads them
    std::string recordFile;        // --record=FILE: every report exchanged is appended there
    // padsmith will not run on a system without a HID backend; the dialog opens and finds none.
    bool needBackend = true;
};

// Takes "--simulate", "--simulate=OPTIONS" or "--record=FILE" into `request` (a later one
// overrides an earlier one); false for any other argument, which is left to the caller.
bool TakePortArgument(const std::string& argument, PortRequest& request);

struct OpenedPort {
    std::unique_ptr<HidPort> recorded;  // the port the recording wraps, when there is one
    std::unique_ptr<HidPort> port;      // the port to use: the recording port, if any
};

// The items --simulate=OPTIONS takes, as the help shows them ("displays=N", "absent"...).
std::vector<std::string> SimulationItemForms();

// The clock to run on, made before the port: a virtual one for a replay (--simulate=replay=FILE
// without realtime), so a recorded 15 s write checks in milliseconds; for anything else the clock
// whose pauses are exact on this system.
std::unique_ptr<Clock> CreateClock(const PortRequest& request);

// Opens the port `request` asks for; `clock` must outlive it. A usage error for malformed
// --simulate options or no HID port; otherwise one line naming the file that stood in the way
// (the simulated device's, the recording to replay, the record file).
Result<OpenedPort> OpenPort(const PortRequest& request, Clock& clock);

}  // namespace padsmith
