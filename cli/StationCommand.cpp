#include "cli/StationCommand.h"

#include <cstring>
#include <memory>

#include "app/ExitStatus.h"
#include "app/Station.h"
#include "cli/ConsoleOutput.h"
#include "cli/InterruptHold.h"
#include "cli/ProblemLines.h"
#include "cli/StationViews.h"
#include "history/BackgroundPush.h"

namespace padsmith::cli {
namespace {

// Two lines above the ports: the image, then the ports and how it ends.
std::string Heading(const CommandContext& context) {
    const nlohmann::ordered_json& image = context.result["image"];
    std::string ports;
    for (const std::string& port : context.commandLine.ports) ports += (ports.empty() ? "" : ", ") + port;
    const std::string digest = image["sha256"].is_string() ? image["sha256"].get<std::string>().substr(0, 16) : "";
    return "padsmith station  " + image["path"].get<std::string>() + "  sha256 " + digest + "...\n" +
           "ports: " + (ports.empty() ? "every port" : ports) + "  (Ctrl-C ends it once the runs in hand are done)";
}

// The view; after each display's result, a record the history lost told on stderr, as a write
// tells it, and a push of the history to the line's server.
class AfterEachResult : public StationObserver {
public:
    AfterEachResult(StationObserver& view, std::FILE* err, history::BackgroundPush* push)
        : m_view(view), m_err(err), m_push(push) {}
    void OnArrival(const HidInterface& display) override { m_view.OnArrival(display); }
    void OnIgnored(const HidInterface& display) override { m_view.OnIgnored(display); }
    void OnStarted(const HidInterface& display) override { m_view.OnStarted(display); }
    void OnState(const std::string& port, PortState state, int percent) override {
        m_view.OnState(port, state, percent);
    }
    void OnLogLine(const std::string& port, const LogEntry& entry) override { m_view.OnLogLine(port, entry); }
    void OnResult(const DisplayOutcome& outcome) override {
        m_view.OnResult(outcome);
        if (outcome.recordLost) PrintProblem(m_err, outcome.port + ": " + outcome.recordLost.message);
        if (m_push != nullptr) m_push->Nudge();
    }
    void OnLeft(const std::string& port) override { m_view.OnLeft(port); }

private:
    StationObserver& m_view;
    std::FILE* m_err;
    history::BackgroundPush* m_push;
};

}  // namespace

int RunStation(CommandContext& context, const PreparedRun& prepared) {
    const CommandLine& commandLine = context.commandLine;
    ConsoleTrace trace(context.streams.err);
    StationSettings settings;
    settings.ports = commandLine.ports;
    settings.most = commandLine.most;
    settings.interrupted = context.streams.interrupted;
    if (commandLine.debugOutput) settings.trace = &trace;
    settings.history = prepared.history.get();

    std::unique_ptr<StationObserver> view;
    StationTerminal* terminal = nullptr;
    std::unique_ptr<ProblemRoute> aboveTheView;  // stderr's lines, while the view is drawn
    if (commandLine.json) {
        view = std::make_unique<StationJson>(context.streams.out, context.result["image"]);
    } else if (context.streams.terminal) {
        LeaveHeldNoticeToView(true);
        auto drawn = std::make_unique<StationTerminal>(
            context.streams.out, context.streams.err, context.clock, Heading(context),
            [] { return TakeHeldNotice() ? std::string(kHeldNotice, std::strlen(kHeldNotice) - 1) : std::string(); });
        terminal = drawn.get();
        aboveTheView = std::make_unique<ProblemRoute>(
            context.streams.err, [terminal](const std::string& line) { terminal->Message(line); });
        view = std::move(drawn);
    } else {
        view = std::make_unique<StationLines>(context.output);
    }
    // --push: the history goes to the line's server after each display, off the flashing path.
    std::unique_ptr<history::BackgroundPush> push;
    if (!commandLine.history.pushUrl.empty() && prepared.history) {
        std::FILE* err = context.streams.err;
        push = std::make_unique<history::BackgroundPush>(
            prepared.history->Path(), commandLine.history.pushUrl, [err](const history::PushResult& pushed) {
                if (pushed.error) {
                    PrintProblem(err, "history push: " + pushed.error.message +
                                          "; the runs not sent go with the next push");
                }
            });
    }
    AfterEachResult afterEach(*view, context.streams.err, push.get());
    Station station(context.port, context.clock, *prepared.image, settings, afterEach);
    // From here an interrupt is how a station ends: once the runs in hand are done.
    if (context.streams.holdInterrupts != nullptr) context.streams.holdInterrupts();
    const StationSummary summary = station.Run();
    if (terminal != nullptr) {
        terminal->Close();
        aboveTheView.reset();
        // An interrupt that came as the view closed is told after its last drawing.
        LeaveHeldNoticeToView(false);
        if (TakeHeldNotice()) std::fputs(kHeldNotice, context.streams.err);
    }
    push.reset();  // the last push, for the last displays

    const std::string text = "station: " + std::to_string(summary.started) +
                             (summary.started == 1 ? " display: " : " displays: ") +
                             std::to_string(summary.succeeded) + " written, " + std::to_string(summary.failed) +
                             " failed, " + std::to_string(summary.ignored) + " ignored" +
                             (summary.recordsLost > 0 ? ", " + std::to_string(summary.recordsLost) + " records lost"
                                                      : std::string());
    context.result["displays"] = {{"started", summary.started},
                                  {"written", summary.succeeded},
                                  {"failed", summary.failed},
                                  {"ignored", summary.ignored},
                                  {"recordsLost", summary.recordsLost}};
    context.result["summary"] = text;
    if (!commandLine.json) {
        std::fprintf(context.streams.out, "%s\n", text.c_str());
        std::fflush(context.streams.out);
    }
    return summary.AllSucceeded() ? kExitSuccess : kExitFailure;
}

}  // namespace padsmith::cli
