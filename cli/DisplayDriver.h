#pragma once
// One display's driver in a padsmith run, set up as the dialog sets it up at start-up (device
// changes watched, then one refresh), bound to the display the run serves. It also tells a
// person what stood in the way, which the catalogue's lines do not: no display, a display held
// by another program, a node this user may not open, a display that left during the run. Each
// gets its own line on stderr and an "error" object in the JSON result.

#include <memory>

#include "cli/CommandContext.h"
#include "cli/ConsoleOutput.h"
#include "device/CDriver.h"

namespace padsmith::cli {

class DisplayDriver {
public:
    // `hooks` gets the trace (--debug-output), the binding and, in a station run, toggles of its
    // own. Reports at once a display that is absent or cannot be opened.
    DisplayDriver(CommandContext& context, DriverHooks hooks);
    ~DisplayDriver();
    DisplayDriver(const DisplayDriver&) = delete;
    DisplayDriver& operator=(const DisplayDriver&) = delete;

    CDriver& Driver() { return *m_driver; }
    // Returns `status`; when it is a failure, tells first if the display left during the run.
    int Finish(int status);

private:
    class Events;
    void Report(ErrorKind failure, const std::string& message);

    CommandContext& m_context;
    ConsoleTrace m_trace;
    DeviceChangeToggles m_toggles;
    std::unique_ptr<Events> m_events;
    std::unique_ptr<CDriver> m_driver;
    bool m_reported = false;
};

}  // namespace padsmith::cli
