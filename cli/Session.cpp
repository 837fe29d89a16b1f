#include "cli/Session.h"

#include <memory>

#include <nlohmann/json.hpp>

#include "app/EveryDisplay.h"
#include "app/ExitStatus.h"
#include "base/Sha256.h"
#include "base/ShownText.h"
#include "base/Utf8.h"
#include "cli/CommandContext.h"
#include "cli/Commands.h"
#include "cli/ConsoleOutput.h"
#include "cli/DisplayDriver.h"
#include "cli/DisplayWait.h"
#include "cli/HistoryCommand.h"
#include "cli/JsonOutput.h"
#include "cli/ProblemLines.h"
#include "device/TargetRule.h"

namespace padsmith::cli {
namespace {

const char* ResultName(int status) {
    return ResultWord(ResultOfExitStatus(status));
}

double Seconds(Micros duration) {
    return std::chrono::duration<double>(duration).count();
}

// What is done once before any display: the command's preparation (the write reads its
// image), then the history its runs are recorded in. Anything but kExitSuccess ends the run
// there, with nothing sent.
int Prepare(CommandContext& context, PreparedRun& prepared) {
    const CommandLine& commandLine = context.commandLine;
    const Command& command = *commandLine.command;
    if (command.prepare != nullptr) {
        const int status = command.prepare(context, prepared);
        if (status != kExitSuccess) return status;
    }
    if (!RecordsItsRuns(command.name)) return kExitSuccess;
    FlashHistorySettings settings;
    settings.file = commandLine.history.file;
    settings.disabled = commandLine.history.disabled;
    settings.command = commandLine.commandText;
    settings.recordFile = commandLine.port.recordFile;
    if (prepared.image) {
        settings.imagePath = ToUtf8(prepared.image->Path());
        settings.imageBytes = static_cast<int64_t>(prepared.image->Digest().fileBytes);
        settings.imageSha256 = ToHex(prepared.image->Digest().sha256);
    }
    std::FILE* err = context.streams.err;
    Error error;
    prepared.history = FlashHistory::Open(
        settings, [err](const std::string& line) { PrintProblem(err, line); }, error);
    if (error) {
        ReportError(context, Error(error.kind, error.message + "; nothing was sent"));
        return kExitFailure;
    }
    if (prepared.history) context.result["history"] = prepared.history->Path();
    return kExitSuccess;
}

// The command once, on the display the target rule (or --device) picks.
int RunOnOneDisplay(CommandContext& context) {
    PreparedRun prepared;
    const int status = Prepare(context, prepared);
    return status == kExitSuccess ? context.commandLine.command->run(context, prepared) : status;
}

// --all: the command on every display found, all at once (app/EveryDisplay). Every line names
// its display; a summary ends the run.
class EveryDisplayRun {
public:
    explicit EveryDisplayRun(CommandContext& context) : m_context(context) {}

    int Run() {
        const CommandLine& commandLine = m_context.commandLine;
        const std::vector<HidInterface> present = PresentDisplays(m_context.port.Enumerate(), std::string());
        const int wanted = commandLine.count.value_or(1);
        if (static_cast<int>(present.size()) < wanted) {
            std::fprintf(m_context.streams.err, "padsmith: %zu display%s found, %d wanted; nothing was sent\n",
                         present.size(), present.size() == 1 ? "" : "s", wanted);
            m_context.result["displays"] = nlohmann::ordered_json::array();
            return kExitFailure;
        }
        const Command& command = *commandLine.command;
        PreparedRun prepared;
        const int status = Prepare(m_context, prepared);
        if (status != kExitSuccess) return status;
        for (const HidInterface& display : present) m_displays.push_back(std::make_unique<Display>(m_context.output, DisplayId(display)));

        RunOnEachDisplay(
            m_context.clock, m_displays.size(),
            [&](size_t index) {
                Display& display = *m_displays[index];
                CommandContext own{m_context.commandLine, m_context.port,   m_context.clock,
                                   m_context.streams,     m_context.output, display.log,
                                   display.result,        display.id,       true};
                display.status = command.run(own, prepared);
            },
            [&](size_t index, const std::string& why) {
                Display& display = *m_displays[index];
                CommandContext own{m_context.commandLine, m_context.port,   m_context.clock,
                                   m_context.streams,     m_context.output, display.log,
                                   display.result,        display.id,       true};
                ReportError(own, Error(ErrorKind::kIo, "no thread for its run (" + why + "); nothing was sent"));
            });
        return Summarize(command.doneWord);
    }

private:
    struct Display {
        Display(OutputLog& out, std::string deviceId) : id(std::move(deviceId)), log(out, id) {}
        const std::string id;
        DisplayLog log;
        nlohmann::ordered_json result = nlohmann::ordered_json::object();
        int status = kExitFailure;
    };

    // "4 displays: 3 written, 1 failed (1-1.3: write record 0x0040: the display refused report
    // 0x28)", what failed told by each display's error; 0 only when every one succeeded.
    int Summarize(const char* word) {
        int succeeded = 0;
        std::string failures;
        nlohmann::ordered_json results = nlohmann::ordered_json::array();
        for (auto& display : m_displays) {
            nlohmann::ordered_json one{{"device", display->id},
                                       {"result", ResultName(display->status)},
                                       {"exit", display->status}};
            for (auto& item : display->result.items()) one[item.key()] = item.value();
            results.push_back(one);
            if (display->status == kExitSuccess) {
                ++succeeded;
                continue;
            }
            const auto error = display->result.find("error");
            const std::string why = error != display->result.end() ? (*error)["message"].get<std::string>()
                                                                   : ResultName(display->status);
            failures += (failures.empty() ? "" : ", ") + display->id + ": " + why;
        }
        const size_t total = m_displays.size();
        std::string summary = std::to_string(total) + (total == 1 ? " display: " : " displays: ") +
                              std::to_string(succeeded) + " " + word;
        if (succeeded < static_cast<int>(total)) {
            summary += ", " + std::to_string(total - static_cast<size_t>(succeeded)) + " failed (" + failures + ")";
        }
        m_context.result["displays"] = results;
        m_context.result["summary"] = summary;
        if (!m_context.commandLine.json) {
            std::fprintf(m_context.streams.out, "%s\n", ShownText(summary).c_str());
            std::fflush(m_context.streams.out);
        }
        return succeeded == static_cast<int>(total) ? kExitSuccess : kExitFailure;
    }

    CommandContext& m_context;
    std::vector<std::unique_ptr<Display>> m_displays;
};

}  // namespace

int RunSession(const CommandLine& commandLine, HidPort& port, Clock& clock, const SessionStreams& streams) {
    std::unique_ptr<OutputLog> log;
    if (commandLine.json) {
        log = std::make_unique<JsonLog>(streams.out);
    } else {
        log = std::make_unique<ConsoleLog>(streams.out);
    }
    nlohmann::ordered_json result = nlohmann::ordered_json::object();
    CommandContext context{commandLine, port, clock, streams, *log, *log, result, commandLine.device, false};

    int status = kExitFailure;
    const Micros waitStarted = clock.Now();
    WaitOutcome waited = WaitOutcome::kPresent;
    if (commandLine.wait) {
        std::optional<Millis> limit;
        if (commandLine.waitSeconds) limit = Millis(int64_t{*commandLine.waitSeconds} * 1000);
        const int count = commandLine.all ? commandLine.count.value_or(1) : 1;
        waited = WaitForDisplays(port, clock, limit, commandLine.device, count, streams.interrupted);
        result["waited"] = Seconds(clock.Now() - waitStarted);
        if (waited == WaitOutcome::kTimedOut) {
            std::fprintf(streams.err, "padsmith: %s within %d s; nothing was sent\n",
                         count > 1 ? ("fewer than " + std::to_string(count) + " displays arrived").c_str()
                                   : "no display arrived",
                         *commandLine.waitSeconds);
        }
    }
    const Micros started = clock.Now();
    if (waited == WaitOutcome::kPresent) {
        if (commandLine.all) {
            status = EveryDisplayRun(context).Run();
        } else {
            status = RunOnOneDisplay(context);
        }
    }
    // A flash that was not saved is a run whose result is lost; a replay that diverged says
    // where, whatever else went wrong.
    if (const Error error = port.EndSession()) {
        PrintProblem(streams.err, error.message);
        const int ended = ExitStatusOfError(error);
        if (ended == kExitReplayDiverged || status == kExitSuccess) {
            status = ended;
            result["error"] = {{"kind", ErrorKindName(error.kind)}, {"message", error.message}};
        }
    }
    if (commandLine.json) {
        nlohmann::ordered_json last{{"result", ResultName(status)},
                                    {"exit", status},
                                    {"seconds", Seconds(clock.Now() - started)}};
        for (auto& item : result.items()) last[item.key()] = item.value();
        PrintJsonLine(streams.out, last);
    }
    return status;
}

}  // namespace padsmith::cli
