#include "history/BackgroundPush.h"

#include <utility>

namespace padsmith::history {

BackgroundPush::BackgroundPush(std::string historyPath, std::string url, Report report)
    : m_historyPath(std::move(historyPath)), m_url(std::move(url)), m_report(std::move(report)),
      m_thread([this] { Run(); }) {}

BackgroundPush::~BackgroundPush() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void BackgroundPush::Nudge() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nudged = true;
    }
    m_wake.notify_one();
}

void BackgroundPush::Run() {
    std::unique_ptr<HistoryStore> store;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_nudged || m_ending; });
            if (!m_nudged) return;
            m_nudged = false;
        }
        PushResult result;
        if (store == nullptr) store = HistoryStore::Open(m_historyPath, HistoryOpenOptions{}, result.error);
        if (store != nullptr) result = PushToPostgres(*store, m_url);
        if (m_report) m_report(result);
    }
}

}  // namespace padsmith::history
