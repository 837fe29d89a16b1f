#pragma once
// One display's driver in a padsmith run, set up as the dialog sets it up at start-up (device
// changes watched, then one refresh), bound to the display the run serves. It also tells a
// person what stood in the way, which the catalogue's lines do not: no display, a display held
// by another program, a node this user may not open, a record the display refused, a display
// that left during the run. Each gets its own line on stderr and an "error" object, {"kind",
// "message"}, in the JSON result.

#include <memory>

#include "app/FlashHistory.h"
#include "base/Error.h"
#include "cli/CommandContext.h"
#include "cli/ConsoleOutput.h"
#include "device/CDriver.h"

namespace padsmith::cli {

// Tells `error` once: a line on stderr (naming the display when the run serves several) and
// the "error" of the display's JSON result.
void ReportError(CommandContext& context, const Error& error);

class DisplayDriver {
public:
    // `hooks` gets the trace (--debug-output), the binding and, in a run over several displays,
    // toggles of its own. Reports at once a display that is absent or cannot be opened.
    DisplayDriver(CommandContext& context, DriverHooks hooks);
    ~DisplayDriver();
    DisplayDriver(const DisplayDriver&) = delete;
    DisplayDriver& operator=(const DisplayDriver&) = delete;

    CDriver& Driver() { return *m_driver; }
    // Begins the run's record in `history` (may be null) before anything is sent to the display
    // it opened. False when a promised history did not take it: then nothing may be sent, and
    // that was told.
    bool BeginRecord(FlashHistory* history);
    // The exit status of the operation `result` (0 success, 1 failure, 3 busy); when it is not
    // a success, what stood in the way is told, unless the open already told it. The run's
    // record is completed with it and the write records counted; a record that a promised
    // history lost is told too, and makes the status a failure.
    int Finish(uint32_t result, int recordsSent = 0, int recordsRefused = 0);

private:
    class Events;

    CommandContext& m_context;
    ConsoleTrace m_trace;
    DeviceChangeToggles m_toggles;
    std::unique_ptr<Events> m_events;
    std::unique_ptr<CDriver> m_driver;
    bool m_reported = false;
    FlashHistory::Run m_record;
};

}  // namespace padsmith::cli
