#include "cli/StationFeed.h"

#include <algorithm>

#include "cli/JsonOutput.h"

namespace padsmith::cli {
namespace {

constexpr std::chrono::milliseconds kPortsAtMostEvery{250};
constexpr std::chrono::milliseconds kPortsWhileRunning{1000};

}  // namespace

std::string ServerSentEvent(const std::string& data, const char* eventName) {
    // A JSON line holds no line break, so one data line carries it whole.
    return (eventName != nullptr ? std::string("event: ") + eventName + "\n" : std::string()) + "data: " + data +
           "\n\n";
}

StationFeed::StationFeed(const StationPorts& ports, Clock& clock, Json image)
    : StationJsonEvents(std::move(image)), m_ports(ports), m_clock(clock) {
    m_ticker = std::thread([this] {
        auto lastSent = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_closed) {
            m_wake.wait_for(lock, kPortsAtMostEvery);
            if (m_closed || m_readers.empty()) continue;
            // The model is read without the feed's lock: the station's threads never wait on it.
            lock.unlock();
            const auto now = std::chrono::steady_clock::now();
            const std::map<std::string, PortStatus> portsNow = m_ports.Snapshot();
            const bool running = std::any_of(portsNow.begin(), portsNow.end(), [](const auto& entry) { return entry.second.running; });
            std::shared_ptr<const std::string> event;
            if (m_changed.exchange(false) || (running && now - lastSent >= kPortsWhileRunning)) {
                lastSent = now;
                event = std::make_shared<const std::string>(ServerSentEvent(
                    JsonLineText(StationPortsObject(portsNow, m_ports.Totals(), m_clock.Now())), "ports"));
            }
            lock.lock();
            if (event) Deliver(event);
        }
    });
}

StationFeed::~StationFeed() {
    Close();
}

void StationFeed::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return;
        m_closed = true;
    }
    m_wake.notify_all();
    if (m_ticker.joinable()) m_ticker.join();
}

std::shared_ptr<const std::string> StationFeed::PortsEvent() const {
    return std::make_shared<const std::string>(
        ServerSentEvent(JsonLineText(StationPortsObject(m_ports.Snapshot(), m_ports.Totals(), m_clock.Now())), "ports"));
}

void StationFeed::Deliver(const std::shared_ptr<const std::string>& event) {
    for (auto& reader : m_readers) {
        if (reader->dropped) continue;
        if (reader->queue.size() >= kQueueBound) {
            // It fell behind: it is dropped rather than waited for.
            reader->dropped = true;
            reader->queue.clear();
            continue;
        }
        reader->queue.push_back(event);
    }
    m_wake.notify_all();
}

std::shared_ptr<StationFeed::Reader> StationFeed::Subscribe() {
    // Built before the lock: an event told meanwhile reaches this reader after the ports that
    // may already hold it, which a page takes as they come.
    auto reader = std::make_shared<Reader>();
    reader->queue.push_back(PortsEvent());
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || m_readers.size() >= kMostReaders) return nullptr;
    m_readers.push_back(reader);
    m_readerCount = m_readers.size();
    return reader;
}

void StationFeed::Unsubscribe(const std::shared_ptr<Reader>& reader) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readers.erase(std::remove(m_readers.begin(), m_readers.end(), reader), m_readers.end());
    m_readerCount = m_readers.size();
}

StationFeed::Next StationFeed::Take(Reader& reader, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, wait, [&] { return m_closed || reader.dropped || !reader.queue.empty(); });
    Next next;
    if (!reader.queue.empty()) {
        next.event = reader.queue.front();
        reader.queue.pop_front();
    } else {
        next.ended = m_closed || reader.dropped;
    }
    return next;
}

void StationFeed::Emit(const Json& object) {
    m_changed = true;
    if (m_readerCount == 0) return;  // nobody reads: nothing is built
    const auto event = std::make_shared<const std::string>(ServerSentEvent(JsonLineText(object), nullptr));
    std::lock_guard<std::mutex> lock(m_mutex);
    Deliver(event);
}

void StationFeed::OnState(const std::string&, PortState, int) {
    m_changed = true;
}

}  // namespace padsmith::cli
