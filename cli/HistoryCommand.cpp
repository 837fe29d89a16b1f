#include "cli/HistoryCommand.h"

#include <memory>

#include "app/ExitStatus.h"
#include "app/RunResult.h"
#include "cli/Commands.h"
#include "cli/HistoryOutput.h"
#include "history/HistoryLocation.h"
#include "history/HistoryStore.h"
#include "history/PostgresForwarder.h"

namespace padsmith::cli {
namespace {

// --history's file, else the default location; empty with a line on stderr when there is none.
std::string HistoryPath(const CommandLine& commandLine, const SessionStreams& streams) {
    if (!commandLine.history.file.empty()) return commandLine.history.file;
    const Result<std::string> path = history::DefaultHistoryPath();
    if (path) return *path;
    std::fprintf(streams.err, "padsmith: no place for the history: %s; name one with --history=FILE\n",
                 path.error().message.c_str());
    return std::string();
}

int ShowHistory(const CommandLine& commandLine, const std::string& path, const SessionStreams& streams) {
    const HistoryOptions& options = commandLine.history;
    HistoryOutput output(streams.out, options.csv ? HistoryForm::kCsv
                                      : commandLine.json ? HistoryForm::kJson
                                                         : HistoryForm::kTable);
    output.Start();
    // No history yet is no failure: nothing was recorded.
    if (!history::HistoryStore::Exists(path)) {
        output.End("no runs recorded (" + path + " does not exist)");
        return kExitSuccess;
    }
    history::HistoryOpenOptions access;
    access.access = history::HistoryAccess::kRead;
    Error error;
    std::unique_ptr<history::HistoryStore> store = history::HistoryStore::Open(path, access, error);
    if (store == nullptr) {
        std::fprintf(streams.err, "padsmith: %s\n", error.message.c_str());
        return kExitFailure;
    }
    history::HistoryFilter filter;
    filter.since = options.since;
    filter.device = commandLine.device;
    filter.serial = options.serial;
    if (options.failed) filter.excludedResults = WordsOfResultsThatEndedWell();
    error = store->Query(filter, [&output](const history::RunRecord& record) { output.Record(record); });
    output.End("no runs recorded" + std::string(filter.since.empty() && filter.device.empty() && filter.serial.empty() &&
                                                        filter.excludedResults.empty()
                                                    ? ""
                                                    : " that match"));
    if (error) {
        std::fprintf(streams.err, "padsmith: %s\n", error.message.c_str());
        return kExitFailure;
    }
    return kExitSuccess;
}

int PushHistory(const CommandLine& commandLine, const std::string& path, const SessionStreams& streams) {
    history::HistoryOpenOptions access;
    access.createFolders = commandLine.history.file.empty();
    Error error;
    std::unique_ptr<history::HistoryStore> store = history::HistoryStore::Open(path, access, error);
    if (store == nullptr) {
        std::fprintf(streams.err, "padsmith: %s\n", error.message.c_str());
        return kExitFailure;
    }
    int (*interrupted)() = streams.interrupted;
    const history::PushResult pushed = history::PushToPostgres(
        *store, commandLine.history.pushUrl, [interrupted] { return interrupted != nullptr && interrupted() != 0; });
    std::fprintf(streams.out, "%d run%s sent\n", pushed.sent, pushed.sent == 1 ? "" : "s");
    std::fflush(streams.out);
    if (pushed.error) {
        std::fprintf(streams.err, "padsmith: history push: %s; the runs not sent stay for the next push\n",
                     pushed.error.message.c_str());
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace

bool HistoryOperands(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error) {
    if (operands.empty()) return true;
    if (operands.size() != 2 || operands[0] != "push" || operands[1].empty()) {
        error = "history takes no operand, or push URL";
        return false;
    }
    parsed.history.push = true;
    return TakePushUrl(operands[1], parsed.history, error);
}

bool TakePushUrl(const std::string& url, HistoryOptions& options, std::string& error) {
    if (!history::PostgresForwardingBuilt()) return error = "push is not available in this build (it has no libpq)", false;
    const history::ServerUrlCheck check = history::CheckServerUrl(url);
    if (check.error) return error = "push: " + check.error.message, false;
    options.pushUrl = url;
    options.pushUrlHoldsPassword = check.holdsPassword;
    return true;
}

bool RecordsItsRuns(const std::string& command) {
    return command == "write" || command == "erase" || command == "station";
}

bool CheckHistoryOptions(const CommandLine& parsed, std::string& error) {
    const std::string name = parsed.command->name;
    const HistoryOptions& options = parsed.history;
    const bool listing = name == "history" && !options.push;
    if (!options.file.empty() && options.disabled) {
        error = "--history and --no-history exclude each other";
    } else if (!options.file.empty() && name != "history" && !RecordsItsRuns(name)) {
        error = "--history is for write, erase, station and history";
    } else if (options.disabled && !RecordsItsRuns(name)) {
        error = "--no-history is for write, erase and station";
    } else if (!options.push && !options.pushUrl.empty() && (name != "station" || options.disabled)) {
        error = "--push is for station, with a history";
    } else if (!listing && (!options.since.empty() || !options.serial.empty() || options.failed || options.csv)) {
        error = "--since, --serial, --failed and --csv are for history (not push)";
    } else if (options.csv && parsed.json) {
        error = "--csv and --json exclude each other";
    } else if (options.push && (parsed.json || !parsed.device.empty())) {
        error = "history push takes no --json or --device";
    }
    return error.empty();
}

int RunHistory(const CommandLine& commandLine, const SessionStreams& streams) {
    const std::string path = HistoryPath(commandLine, streams);
    if (path.empty()) return kExitFailure;
    return commandLine.history.push ? PushHistory(commandLine, path, streams) : ShowHistory(commandLine, path, streams);
}

}  // namespace padsmith::cli
