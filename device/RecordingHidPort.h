#pragma once
// A port that records every report exchanged through it: it wraps whichever port is in use (the
// Windows or Linux HID port, or the simulated device) and appends to a record file, in the report
// trace's format (device/ReportTrace.h), each set and get with its outcome (accepted, refused,
// gone) and a get's reply, each input report read, the arrivals and removals the port tells of
// while the tool listens, and the display's service collection as the bus first shows it. A
// technician sends the file with a failing session; `--simulate=replay=FILE` plays it back.

#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/Result.h"
#include "device/HidPort.h"

namespace padsmith {

class RecordingHidPort : public HidPort {
public:
    // Records what goes through `inner` to `path` (appended), timed by `clock`; both must
    // outlive the port and the devices it opens. An Error naming the file when it cannot be opened.
    static Result<std::unique_ptr<RecordingHidPort>> Create(HidPort& inner, Clock& clock, const std::string& path);
    ~RecordingHidPort() override;

    std::vector<HidInterface> Enumerate() override;
    std::vector<HidInterface> EnumerateReportingUnreadable(std::vector<Error>& unreadable) override {
        return m_inner.EnumerateReportingUnreadable(unreadable);
    }
    std::shared_ptr<HidDevice> Open(const HidInterface& iface, Error* error) override;
    bool WatchDeviceChanges(std::function<void(DeviceChange)> listener) override;
    void StartInputStream(Millis period) override { m_inner.StartInputStream(period); }
    void StopInputStream() override { m_inner.StopInputStream(); }
    Error EndSession() override { return m_inner.EndSession(); }

    struct Record;

private:
    RecordingHidPort(HidPort& inner, std::shared_ptr<Record> record);

    HidPort& m_inner;
    std::shared_ptr<Record> m_record;  // shared with the devices opened, which may outlive the port
};

}  // namespace padsmith
