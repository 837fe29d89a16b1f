#pragma once
// A station's live feed for the web view: the same event objects --json prints, and the ports as
// the model holds them, as server-sent events for any number of readers. Nothing a reader does
// can slow the station: the station's threads only hand each reader's queue a shared string, and
// a reader whose queue is full is dropped (its browser connects again and starts from the
// ports as they are). The ports are sent at most four times a second, from a thread of the
// feed's own, and once a second while a run is under way (its elapsed time moves).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/RunObserver.h"
#include "app/StationPorts.h"
#include "base/Clock.h"
#include "cli/JsonObjects.h"
#include "cli/StationJsonEvents.h"

namespace padsmith::cli {

class StationFeed : public StationJsonEvents {
public:
    // Events a reader may have waiting before it is dropped, and readers at once.
    static constexpr size_t kQueueBound = 256;
    static constexpr size_t kMostReaders = 16;

    struct Reader;
    // What a reader gets next.
    struct Next {
        std::shared_ptr<const std::string> event;  // one server-sent event, its blank line included
        bool ended = false;  // dropped (it fell behind) or the feed closed: the stream ends
    };

    // `image`: the image's part of every result, as --json prints it.
    StationFeed(const StationPorts& ports, Clock& clock, Json image);
    ~StationFeed() override;
    StationFeed(const StationFeed&) = delete;
    StationFeed& operator=(const StationFeed&) = delete;

    // Progress goes out with the ports, at most four times a second; every other event at once.
    void OnState(const std::string& port, PortState state, int percent) override;

    // A new reader, whose first event is the ports as they are; null when kMostReaders read.
    std::shared_ptr<Reader> Subscribe();
    void Unsubscribe(const std::shared_ptr<Reader>& reader);
    // Waits up to `wait` for the reader's next event; an empty Next when none came.
    Next Take(Reader& reader, std::chrono::milliseconds wait);
    // Ends every stream and the feed's thread; nothing is sent after it.
    void Close();

protected:
    void Emit(const Json& object) override;

private:
    std::shared_ptr<const std::string> PortsEvent() const;
    // Queues `event` for every reader, dropping those that fell behind; m_mutex held.
    void Deliver(const std::shared_ptr<const std::string>& event);

    const StationPorts& m_ports;
    Clock& m_clock;
    std::atomic<bool> m_changed{true};   // the model changed since the ports were last sent
    std::atomic<size_t> m_readerCount{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;      // an event for a reader, or the feed closed
    std::vector<std::shared_ptr<Reader>> m_readers;
    bool m_closed = false;
    std::thread m_ticker;
};

struct StationFeed::Reader {
    std::deque<std::shared_ptr<const std::string>> queue;
    bool dropped = false;
};

// One server-sent event: "event: NAME" when named, then the data line, then a blank line.
std::string ServerSentEvent(const std::string& data, const char* eventName);

}  // namespace padsmith::cli
