#include "device/RecordingHidPort.h"

#include <algorithm>
#include <array>

#include "device/ReportTrace.h"

namespace padsmith {

struct RecordingHidPort::Record {
    explicit Record(Clock& clockIn) : clock(clockIn) {}
    void Add(ReportKind kind, const uint8_t* bytes, size_t length) {
        file.Append(clock.Now(), kind, bytes, length);
    }
    Clock& clock;
    ReportTraceFile file;
};

namespace {

// Longer requests (no report of the device is) record what the buffer holds after a failed get.
constexpr size_t kLongestKeptRequest = 64;

class RecordingDevice : public HidDevice {
public:
    RecordingDevice(std::shared_ptr<HidDevice> inner, std::shared_ptr<RecordingHidPort::Record> record)
        : m_inner(std::move(inner)), m_record(std::move(record)) {}

    Error LastError() const override { return m_inner->LastError(); }
    bool GetAttributes(uint16_t& vendorId, uint16_t& productId) override {
        return m_inner->GetAttributes(vendorId, productId);
    }
    bool GetCaps(uint16_t& usagePage, uint16_t& usage) override {
        return m_inner->GetCaps(usagePage, usage);
    }
    bool SetFeature(const uint8_t* report, size_t length) override {
        const bool accepted = m_inner->SetFeature(report, length);
        m_record->Add(accepted ? ReportKind::kSet : ReportKind::kSetRefused, report, length);
        return accepted;
    }
    // A failed get records the request as it went out, whatever the port left in the buffer.
    bool GetFeature(uint8_t* report, size_t length) override {
        std::array<uint8_t, kLongestKeptRequest> request{};
        const size_t kept = std::min(length, request.size());
        std::copy(report, report + kept, request.begin());
        const bool supplied = m_inner->GetFeature(report, length);
        if (supplied || kept < length) {
            m_record->Add(supplied ? ReportKind::kGet : ReportKind::kGetFailed, report, length);
        } else {
            m_record->Add(ReportKind::kGetFailed, request.data(), length);
        }
        return supplied;
    }
    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                               ReadStop& stop) override {
        const ReadStatus status = m_inner->ReadInputReport(report, length, bytesRead, stop);
        if (status == ReadStatus::kReport) m_record->Add(ReportKind::kInput, report, bytesRead);
        return status;
    }

private:
    std::shared_ptr<HidDevice> m_inner;
    std::shared_ptr<RecordingHidPort::Record> m_record;
};

}  // namespace

std::unique_ptr<RecordingHidPort> RecordingHidPort::Create(HidPort& inner, Clock& clock,
                                                           const std::string& path,
                                                           std::string& error) {
    auto record = std::make_shared<Record>(clock);
    if (!record->file.Open(path, error)) {
        error = "record file \"" + path + "\" cannot be opened";
        return nullptr;
    }
    return std::unique_ptr<RecordingHidPort>(new RecordingHidPort(inner, std::move(record)));
}

RecordingHidPort::RecordingHidPort(HidPort& inner, std::shared_ptr<Record> record)
    : m_inner(inner), m_record(std::move(record)) {}

// What is queued reaches the file now, even while a device opened through the port lives on.
RecordingHidPort::~RecordingHidPort() {
    m_record->file.Flush();
}

std::vector<HidInterface> RecordingHidPort::Enumerate() {
    return m_inner.Enumerate();
}

std::shared_ptr<HidDevice> RecordingHidPort::Open(const HidInterface& iface, Error* error) {
    std::shared_ptr<HidDevice> device = m_inner.Open(iface, error);
    if (!device) return nullptr;
    return std::make_shared<RecordingDevice>(std::move(device), m_record);
}

bool RecordingHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    return m_inner.WatchDeviceChanges(std::move(listener));
}

}  // namespace padsmith
