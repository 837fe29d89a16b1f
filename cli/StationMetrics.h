#pragma once
// A station's numbers for Prometheus, in its text format (version 0.0.4): runs by port, result
// and error kind; the ports in use and those out of service; how long each port's last write took; the history's runs not
// yet taken by the line's server and the age of the oldest; the image and padsmith's version as
// info metrics. No serial number is a label: a label's every value is a series of its own.

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "app/StationPorts.h"
#include "base/Clock.h"
#include "history/HistoryStore.h"

namespace padsmith::cli {

// What one scrape shows.
struct StationNumbers {
    std::map<std::string, PortStatus> ports;
    StationTotals totals;
    std::string imageSha256;
    std::optional<history::UnsentSummary> unsent;  // none without a history, or when it could not be read
    std::chrono::system_clock::time_point now;
};

std::string MetricsText(const StationNumbers& numbers);

class StationMetrics {
public:
    // `history`: a reading connection of the station's history, or null when none is kept.
    StationMetrics(const StationPorts& ports, std::string imageSha256, history::HistoryStore* history)
        : m_ports(ports), m_imageSha256(std::move(imageSha256)), m_history(history) {}

    // The text of one scrape. The history is counted at most once a second, whatever the scrapes.
    std::string Text();

private:
    const StationPorts& m_ports;
    const std::string m_imageSha256;
    history::HistoryStore* const m_history;
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_counted{};
    std::optional<history::UnsentSummary> m_unsent;
};

}  // namespace padsmith::cli
