#pragma once
// A station's web view (station --listen): its page and history page, the live event stream they
// read, the history they query, and /metrics for Prometheus. Read-only: nothing a request asks
// changes what the station does. The HTTP server is the system's side (cli/posix/); a build
// without one (Windows) says so.

#include <map>
#include <memory>
#include <string>

#include "base/Result.h"
#include "cli/JsonObjects.h"
#include "cli/StationFeed.h"
#include "cli/StationMetrics.h"
#include "cli/WebAccess.h"
#include "history/HistoryStore.h"

namespace padsmith::cli {

struct StationWebSettings {
    ListenAddress address;
    // Asked of every request for data (the event stream, the history, the metrics); empty: none
    // asked, which only a loopback address may do.
    std::string token;
};

// What the view reads; all must outlive it.
struct StationWebSources {
    StationFeed& feed;
    StationMetrics& metrics;
    history::HistoryStore* history;  // a reading connection of the station's history, or null
};

class StationWeb {
public:
    virtual ~StationWeb() = default;
    // The port it listens on (the one the system chose, for port 0).
    virtual int Port() const = 0;
};

// False in a build without an HTTP server: --listen is then a usage error.
bool StationWebBuilt();

// Listens and serves until destroyed; an error when it cannot listen.
Result<std::unique_ptr<StationWeb>> StartStationWeb(const StationWebSettings& settings, StationWebSources sources);

// The history page's query (/api/history?serial=&port=&since=&result=): {"runs": [...], "more"},
// the newest runs first, or {"error"} with status 400 for a filter it cannot read.
Json HistoryAnswer(history::HistoryStore* history, const std::map<std::string, std::string>& query, int& status);

}  // namespace padsmith::cli
