#pragma once
// The station's forwarding, off the flashing path: a thread of its own pushes the history to
// the line's PostgreSQL each time it is nudged (after each display). Nudging never waits for
// the server; nudges that come while a push runs make one more push after it. Every push's
// outcome goes to the report callback, on the push thread.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "history/PostgresForwarder.h"

namespace padsmith::history {

class BackgroundPush {
public:
    using Report = std::function<void(const PushResult&)>;

    // Pushes the history at `historyPath` (its own connection to the file) to `url`.
    BackgroundPush(std::string historyPath, std::string url, Report report);
    // Ends the push under way and, when nudged since it began, makes one more; then the thread
    // ends. A server that does not answer delays this by its connect timeout at most.
    ~BackgroundPush();
    BackgroundPush(const BackgroundPush&) = delete;
    BackgroundPush& operator=(const BackgroundPush&) = delete;

    void Nudge();

private:
    void Run();

    const std::string m_historyPath;
    const std::string m_url;
    const Report m_report;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_nudged = false;
    bool m_ending = false;
    std::thread m_thread;  // last: starts once everything above is ready
};

}  // namespace padsmith::history
