#pragma once
// One display's run: the one way every command that serves a display reaches it (write, erase,
// info, select, set-ids and monitor on one display; each display of --all and of a station), in
// this order:
//   1. the open: a driver of its own, bound to the display, finds and opens its service
//      collection; a display that cannot be opened is sent nothing;
//   2. the record: begun in the history (write, erase) before anything is sent; a promised
//      history that does not take it stops the run there;
//   3. the identity read (0x2A, then 0x2B) where the plan asks for it, or a signed release is
//      in force: a display that does not say what it is is not erased;
//   4. with a signed release, the display checked against it: a display it is not for is
//      rejected, one that already carries its version is left as it is (current);
//   5. the operation, the one place the protocol's operation results (0, 1, 2, 3) become the
//      outcome's result and Error; after a write, where the identity was read, the firmware
//      version asked again;
//   6. the display let go, then the record completed.
// The image was loaded and checked once for the whole command, before any display was touched
// (LoadWriteRunImage). The front ends word and draw the outcome.

#include <functional>
#include <memory>
#include <string>

#include "app/ActivityLog.h"
#include "app/DisplayOutcome.h"
#include "app/FlashHistory.h"
#include "app/RunObserver.h"
#include "base/Clock.h"
#include "device/DeviceNotification.h"
#include "device/DriverHooks.h"
#include "device/HidPort.h"
#include "protocol/FirmwareImage.h"
#include "trust/ReleaseChecks.h"

namespace padsmith {

class CDriver;

enum class DisplayAction { kInfo, kWrite, kErase, kSelect, kSetIds, kMonitor };

// What a command asks of each display it serves, the same for every one; all it points to must
// outlive the runs.
struct DisplayRunPlan {
    DisplayAction action = DisplayAction::kInfo;
    const VerifiedImage* image = nullptr;  // write
    // Write: ask the display what it is before the erase (a station does).
    bool readIdentity = false;
    // Write: the signed release the image belongs to, checked once for the command; null where
    // no trust is in force. Each display is asked what it is and checked against it before the
    // erase, as `versions` allow.
    const trust::VerifiedRelease* release = nullptr;
    trust::VersionPolicy versions;
    uint16_t vendorId = 0;  // select, set-ids
    uint16_t productId = 0;
    Millis monitorFor{0};  // monitor
    // Where each write or erase is recorded; null: nowhere.
    FlashHistory* history = nullptr;
    TraceSink* trace = nullptr;       // the write sequence's lines, for every run
    int (*interrupted)() = nullptr;   // non-zero: monitor ends early; nothing else is cut short
    void (*holdInterrupts)() = nullptr;  // called as a display is about to be touched: from there a run finishes
};

// Where one display's run tells how it goes.
struct DisplayRunSinks {
    LogList* log = nullptr;             // its catalogue lines; required
    WriteProgress* progress = nullptr;  // the records as they are written (a progress bar)
    // Where it stands: reading, erasing, writing (with the percent written), done or failed.
    std::function<void(PortState state, int percent)> state;
};

class DisplayRun {
public:
    // Opens the display: `seen` as the bus showed it (each display of --all or a station: the run
    // counts its own device changes and leaves the port's one listener to others), or with
    // `seen` null the display `id` names (--device; empty: the one the target rule picks),
    // watched as the dialog watches it, its arrivals and removals logged.
    DisplayRun(HidPort& port, Clock& clock, const DisplayRunPlan& plan, DisplayRunSinks sinks,
               const HidInterface* seen, const std::string& id = std::string());
    ~DisplayRun();
    DisplayRun(const DisplayRun&) = delete;
    DisplayRun& operator=(const DisplayRun&) = delete;

    // The driver bound to the display, until Run ends.
    CDriver& Driver() { return *m_driver; }
    // The rest of the run, once.
    DisplayOutcome Run();

private:
    class Events;
    class RecordCount;

    // Steps 2 to 5; false once the run must go no further (the outcome says why).
    bool BeginRecord();
    bool AsksIdentity() const { return m_plan.readIdentity || m_plan.release != nullptr; }
    bool ReadIdentity();
    bool CheckAgainstRelease();
    void Operate();
    void ReadFirmwareAfter();
    uint32_t Monitor();

    HidPort& m_port;
    Clock& m_clock;
    const DisplayRunPlan& m_plan;
    const DisplayRunSinks m_sinks;
    const Micros m_started;
    DeviceChangeToggles m_toggles;
    std::unique_ptr<Events> m_events;
    std::unique_ptr<RecordCount> m_records;
    std::unique_ptr<CDriver> m_driver;
    FlashHistory::Run m_record;
    DisplayOutcome m_outcome;
};

// A display's run from its open to its end.
DisplayOutcome RunOnDisplay(HidPort& port, Clock& clock, const DisplayRunPlan& plan, DisplayRunSinks sinks,
                            const HidInterface* seen, const std::string& id = std::string());

}  // namespace padsmith
