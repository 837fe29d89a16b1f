#include "device/RecordingHidPort.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "device/ReportTrace.h"

namespace padsmith {

struct RecordingHidPort::Record {
    explicit Record(Clock& clockIn) : clock(clockIn) {}
    void Add(ReportKind kind, const uint8_t* bytes, size_t length, const uint8_t* reply = nullptr) {
        file.Append(clock.Now(), kind, bytes, length, reply);
    }
    void AddChange(DeviceChange change) {
        file.Append(clock.Now(), change == DeviceChange::kArrival ? ReportKind::kArrival : ReportKind::kRemoval,
                    nullptr, 0);
    }
    // A service collection's line, the first time the bus shows it.
    void AddInterface(const HidInterface& iface) {
        std::lock_guard<std::mutex> lock(interfacesMutex);
        const bool known = std::any_of(interfaces.begin(), interfaces.end(), [&](const HidInterface& seen) {
            return seen.path == iface.path && seen.collection == iface.collection;
        });
        if (known) return;
        interfaces.push_back(iface);
        file.AppendInterface(clock.Now(), iface);
    }
    Clock& clock;
    ReportTraceFile file;
    std::mutex interfacesMutex;
    std::vector<HidInterface> interfaces;  // those recorded; guarded by interfacesMutex
};

namespace {

// Longer requests (no report of the device is) record what the buffer holds after a failed get.
constexpr size_t kLongestKeptRequest = 64;

// A device change that a port reports while one of its exchanges is under way on the same thread
// was caused by that exchange (the display left right after accepting a record): its line goes
// after the exchange's, in the order a replay must play them.
struct ExchangeOnThisThread {
    const RecordingHidPort::Record* record;
    std::vector<DeviceChange> changes;
};
thread_local ExchangeOnThisThread* t_exchange = nullptr;

class ExchangeScope {
public:
    explicit ExchangeScope(RecordingHidPort::Record& record) : m_record(record), m_exchange{&record, {}} {
        t_exchange = &m_exchange;
    }
    ~ExchangeScope() { t_exchange = nullptr; }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;
    // After the exchange's own line.
    void RecordChanges() {
        t_exchange = nullptr;
        for (DeviceChange change : m_exchange.changes) m_record.AddChange(change);
    }

private:
    RecordingHidPort::Record& m_record;
    ExchangeOnThisThread m_exchange;
};

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
        ExchangeScope exchange(*m_record);
        const bool accepted = m_inner->SetFeature(report, length);
        m_record->Add(accepted ? ReportKind::kSet : Gone() ? ReportKind::kSetGone : ReportKind::kSetRefused,
                      report, length);
        exchange.RecordChanges();
        return accepted;
    }
    // A get records its request as it went out, whatever the port leaves in the buffer.
    bool GetFeature(uint8_t* report, size_t length) override {
        std::array<uint8_t, kLongestKeptRequest> request{};
        const size_t kept = std::min(length, request.size());
        std::copy(report, report + kept, request.begin());
        ExchangeScope exchange(*m_record);
        const bool supplied = m_inner->GetFeature(report, length);
        // A request too long to keep is recorded as the buffer holds it.
        const uint8_t* sent = kept < length ? report : request.data();
        if (supplied) {
            m_record->Add(ReportKind::kGet, sent, length, report);
        } else {
            m_record->Add(Gone() ? ReportKind::kGetGone : ReportKind::kGetFailed, sent, length);
        }
        exchange.RecordChanges();
        return supplied;
    }
    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                               ReadStop& stop) override {
        const ReadStatus status = m_inner->ReadInputReport(report, length, bytesRead, stop);
        if (status == ReadStatus::kReport) m_record->Add(ReportKind::kInput, report, bytesRead);
        return status;
    }

private:
    // The exchange failed because the display had left the bus, not because it refused.
    bool Gone() const { return m_inner->LastError().kind == ErrorKind::kGone; }

    std::shared_ptr<HidDevice> m_inner;
    std::shared_ptr<RecordingHidPort::Record> m_record;
};

}  // namespace

Result<std::unique_ptr<RecordingHidPort>> RecordingHidPort::Create(HidPort& inner, Clock& clock,
                                                                   const std::string& path) {
    auto record = std::make_shared<Record>(clock);
    const Error why = record->file.Open(path);
    if (why) return why.Within("record file \"" + path + "\"");
    return std::unique_ptr<RecordingHidPort>(new RecordingHidPort(inner, std::move(record)));
}

RecordingHidPort::RecordingHidPort(HidPort& inner, std::shared_ptr<Record> record)
    : m_inner(inner), m_record(std::move(record)) {}

// What is queued reaches the file now, even while a device opened through the port lives on.
RecordingHidPort::~RecordingHidPort() {
    m_record->file.Flush();
}

std::vector<HidInterface> RecordingHidPort::Enumerate() {
    std::vector<HidInterface> interfaces = m_inner.Enumerate();
    for (const HidInterface& iface : interfaces) {
        if (iface.service) m_record->AddInterface(iface);
    }
    return interfaces;
}

std::shared_ptr<HidDevice> RecordingHidPort::Open(const HidInterface& iface, Error* error) {
    std::shared_ptr<HidDevice> device = m_inner.Open(iface, error);
    if (!device) return nullptr;
    return std::make_shared<RecordingDevice>(std::move(device), m_record);
}

// The changes are recorded while someone listens: the inner port then tells of them.
bool RecordingHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    if (!listener) return m_inner.WatchDeviceChanges(nullptr);
    return m_inner.WatchDeviceChanges([record = m_record, listener = std::move(listener)](DeviceChange change) {
        if (t_exchange != nullptr && t_exchange->record == record.get()) {
            t_exchange->changes.push_back(change);
        } else {
            record->AddChange(change);
        }
        listener(change);
    });
}

}  // namespace padsmith
