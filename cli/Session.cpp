#include "cli/Session.h"

#include <memory>

#include <nlohmann/json.hpp>

#include "app/DisplayWait.h"
#include "app/EveryDisplay.h"
#include "app/ExitStatus.h"
#include "app/RunPreparation.h"
#include "base/ShownText.h"
#include "base/Utf8.h"
#include "cli/CommandContext.h"
#include "cli/Commands.h"
#include "cli/ConsoleOutput.h"
#include "cli/JsonObjects.h"
#include "cli/JsonOutput.h"
#include "cli/ProblemLines.h"
#include "trust/TrustFolder.h"

namespace padsmith::cli {
namespace {

const char* ResultName(int status) {
    return ResultWord(ResultOfExitStatus(status));
}

double Seconds(Micros duration) {
    return std::chrono::duration<double>(duration).count();
}

// What stood in the way: a line on stderr and the "error" of the result object.
void ReportError(CommandContext& context, const Error& error) {
    PrintProblem(context.streams.err, error.message);
    context.result["error"] = ErrorObject(error);
}

// --all's lines: each display's catalogue lines name it; its problems are told as it ends.
class EveryDisplayLines : public RunObserver {
public:
    EveryDisplayLines(OutputLog& output, std::FILE* err) : m_output(output), m_err(err) {}
    void OnLogLine(const std::string& port, const LogEntry& entry) override { m_output.Write(entry, port); }
    void OnResult(const DisplayOutcome& outcome) override { PrintDisplayProblems(m_err, outcome, true); }

private:
    OutputLog& m_output;
    std::FILE* m_err;
};

// What is done once before any display (app/RunPreparation.h); what stood in the way when it
// failed, which was told, and nothing was sent.
Result<PreparedRun> Prepare(CommandContext& context, DisplayAction action) {
    const CommandLine& commandLine = context.commandLine;
    RunPreparation preparation;
    preparation.action = action;
    if (action == DisplayAction::kWrite) preparation.imagePath = AbsoluteFileName(commandLine.imageFile);
    preparation.expectedSha256 = commandLine.expectedSha256;
    if (commandLine.trustFolder) preparation.trustFolder = FromNativeFileName(*commandLine.trustFolder);
    preparation.systemTrustFolder = trust::SystemTrustFolder();
    preparation.history.file = commandLine.history.file;
    preparation.history.disabled = commandLine.history.disabled;
    preparation.history.command = commandLine.commandText;
    preparation.history.recordFile = commandLine.port.recordFile;
    std::FILE* err = context.streams.err;
    Result<PreparedRun> prepared =
        PrepareRun(preparation, context.output, [err](const std::string& line) { PrintProblem(err, line); });
    if (action == DisplayAction::kWrite) {
        context.result["image"] =
            ImageObject(preparation.imagePath, prepared && prepared->image ? &*prepared->image : nullptr);
    }
    if (!prepared) {
        ReportError(context, prepared.error());
        return prepared;
    }
    if (prepared->release) context.result["release"] = ReleaseObject(*prepared->release);
    if (prepared->history) context.result["history"] = prepared->history->Path();
    return prepared;
}

// What each display's run of the command is.
DisplayRunPlan PlanOf(CommandContext& context, DisplayAction action, const PreparedRun& prepared, TraceSink* trace) {
    const CommandLine& commandLine = context.commandLine;
    DisplayRunPlan plan;
    plan.action = action;
    if (prepared.image) plan.image = &*prepared.image;
    plan.vendorId = commandLine.vendorId;
    plan.productId = commandLine.productId;
    plan.monitorFor = Millis(int64_t{commandLine.seconds} * 1000);
    plan.history = prepared.history.get();
    if (prepared.release) plan.release = &*prepared.release;
    plan.versions = {commandLine.allowOlder, commandLine.allowReinstall};
    if (commandLine.debugOutput) plan.trace = trace;
    plan.interrupted = context.streams.interrupted;
    plan.holdInterrupts = context.streams.holdInterrupts;
    return plan;
}

// The command once, on the display the target rule (or --device) picks.
int RunOnOneDisplay(CommandContext& context, const DisplayRunPlan& plan) {
    ProgressBar bar(context.streams.err);
    DisplayRunSinks sinks;
    sinks.log = &context.output;
    if (context.streams.progressBar) sinks.progress = &bar;
    const DisplayOutcome outcome =
        RunOnDisplay(context.port, context.clock, plan, sinks, nullptr, context.commandLine.device);
    if (outcome.opened) context.result["device"] = outcome.port;
    context.result["result"] = ResultWord(outcome.Counted());
    const Json fields = DisplayResultFields(outcome, plan.action);
    for (auto& item : fields.items()) context.result[item.key()] = item.value();
    PrintDisplayProblems(context.streams.err, outcome, false);
    return outcome.ExitStatus();
}

// --all: the command on every display found, all at once (app/EveryDisplay.h). Every line names
// its display; a summary ends the run.
int RunOnEveryDisplay(CommandContext& context, const DisplayRunPlan& plan, const std::vector<HidInterface>& present) {
    EveryDisplayLines lines(context.output, context.streams.err);
    const EveryDisplayResult run = padsmith::RunOnEveryDisplay(context.port, context.clock, plan, present, lines);
    nlohmann::ordered_json results = nlohmann::ordered_json::array();
    for (const DisplayOutcome& outcome : run.outcomes) {
        nlohmann::ordered_json one{{"device", outcome.port},
                                   {"result", ResultWord(outcome.Counted())},
                                   {"exit", outcome.ExitStatus()}};
        const Json fields = DisplayResultFields(outcome, plan.action);
        for (auto& item : fields.items()) one[item.key()] = item.value();
        results.push_back(one);
    }
    context.result["displays"] = results;
    context.result["summary"] = run.summary;
    if (!context.commandLine.json) {
        std::fprintf(context.streams.out, "%s\n", ShownText(run.summary).c_str());
        std::fflush(context.streams.out);
    }
    return run.counts.AllSucceeded() ? kExitSuccess : kExitFailure;
}

int RunCommand(CommandContext& context) {
    const CommandLine& commandLine = context.commandLine;
    const Command& command = *commandLine.command;
    if (!command.action) return command.run(context, PreparedRun{});
    std::vector<HidInterface> present;
    if (commandLine.all) {
        Result<std::vector<HidInterface>> found = DisplaysPresent(context.port, commandLine.count.value_or(1));
        if (!found) {
            context.result["displays"] = nlohmann::ordered_json::array();
            ReportError(context, found.error());
            return kExitFailure;
        }
        present = std::move(*found);
    }
    const Result<PreparedRun> prepared = Prepare(context, *command.action);
    if (!prepared) return ExitStatusOfError(prepared.error());
    if (command.run != nullptr) return command.run(context, *prepared);
    ConsoleTrace trace(context.streams.err);
    const DisplayRunPlan plan = PlanOf(context, *command.action, *prepared, &trace);
    return commandLine.all ? RunOnEveryDisplay(context, plan, present) : RunOnOneDisplay(context, plan);
}

}  // namespace

int RunSession(const CommandLine& commandLine, HidPort& port, Clock& clock, const SessionStreams& streams) {
    std::unique_ptr<OutputLog> log;
    if (commandLine.json) {
        log = std::make_unique<JsonLog>(streams.out);
    } else {
        log = std::make_unique<ConsoleLog>(streams.out);
    }
    nlohmann::ordered_json result = nlohmann::ordered_json::object();
    CommandContext context{commandLine, port, clock, streams, *log, result};

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
    if (waited == WaitOutcome::kPresent) status = RunCommand(context);
    // A flash that was not saved is a run whose result is lost; a replay that diverged says
    // where, whatever else went wrong.
    if (const Error error = port.EndSession()) {
        PrintProblem(streams.err, error.message);
        const int ended = ExitStatusOfError(error);
        if (ended == kExitReplayDiverged || status == kExitSuccess) {
            status = ended;
            result["result"] = ResultName(status);
            result["error"] = ErrorObject(error);
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
