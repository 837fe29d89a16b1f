#include "cli/StationWeb.h"

#include "app/RunResult.h"
#include "history/HistoryFilter.h"
#include "history/RunRecord.h"

namespace padsmith::cli {
namespace {

// A page shows this many runs at most; narrower filters find older ones.
constexpr int kMostRuns = 500;

std::string Value(const std::map<std::string, std::string>& query, const char* name) {
    const auto found = query.find(name);
    return found == query.end() ? std::string() : found->second;
}

bool KnownResult(const std::string& word) {
    for (RunResult result : {RunResult::kSuccess, RunResult::kFailure, RunResult::kBusy}) {
        if (word == ResultWord(result)) return true;
    }
    return word == history::kUnfinished;
}

}  // namespace

Json HistoryAnswer(history::HistoryStore* history, const std::map<std::string, std::string>& query, int& status) {
    status = 400;
    history::HistoryFilter filter;
    filter.serial = Value(query, "serial");
    filter.device = Value(query, "port");
    filter.result = Value(query, "result");
    filter.most = kMostRuns + 1;  // one more tells that there are more
    const std::string since = Value(query, "since");
    if (!since.empty() && !history::ParseSince(since, filter.since)) {
        return {{"error", "since takes a UTC date and time, YYYY-MM-DD[THH:MM[:SS]]"}};
    }
    if (!filter.result.empty() && !KnownResult(filter.result)) {
        return {{"error", "result takes success, failure, busy or unfinished"}};
    }
    Json runs = Json::array();
    if (history != nullptr) {
        const Error error = history->Query(filter, [&runs](const history::RunRecord& record) {
            runs.push_back(RunRecordObject(record));
        });
        if (error) {
            status = 500;
            return {{"error", error.message}};
        }
    }
    status = 200;
    const bool more = runs.size() > static_cast<size_t>(kMostRuns);
    if (more) runs.erase(runs.end() - 1);
    return {{"runs", runs}, {"more", more}};
}

}  // namespace padsmith::cli
