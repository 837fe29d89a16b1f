#include "cli/StationCommand.h"

#include <cstring>
#include <memory>

#include "app/ExitStatus.h"
#include "app/Station.h"
#include "app/StationPorts.h"
#include "base/Sha256.h"
#include "base/Utf8.h"
#include "cli/ConsoleOutput.h"
#include "cli/InterruptHold.h"
#include "cli/PortClearing.h"
#include "cli/ProblemLines.h"
#include "cli/StationFeed.h"
#include "cli/StationMetrics.h"
#include "cli/StationViews.h"
#include "cli/StationWeb.h"
#include "history/BackgroundPush.h"

namespace padsmith::cli {
namespace {

// Two lines above the ports: the image, then the ports, how it ends and how a port out of
// service is cleared.
std::string Heading(const CommandLine& commandLine, const VerifiedImage& image, const std::string& howToClear) {
    std::string ports;
    for (const std::string& port : commandLine.ports) ports += (ports.empty() ? "" : ", ") + port;
    return "padsmith station  " + ToUtf8(image.Path()) + "  sha256 " + ToHex(image.Digest().sha256).substr(0, 16) +
           "...\n" + "ports: " + (ports.empty() ? "every port" : ports) +
           "  (Ctrl-C ends it once the runs in hand are done" +
           (howToClear.empty() ? "" : "; " + howToClear + " clears the ports out of service") + ")";
}

// After each display's result: a record the history lost told on stderr, as a write tells it,
// and a push of the history to the line's server.
class AfterEachResult : public RunObserver {
public:
    AfterEachResult(std::FILE* err, history::BackgroundPush* push) : m_err(err), m_push(push) {}
    void OnResult(const DisplayOutcome& outcome) override {
        if (outcome.recordLost) PrintProblem(m_err, outcome.port + ": " + outcome.recordLost.message);
        if (m_push != nullptr) m_push->Nudge();
    }

private:
    std::FILE* m_err;
    history::BackgroundPush* m_push;
};

// --listen: the station's web view, reading the port model through a feed of its own and the
// history through a connection of its own. It listens before any display is touched: an address
// it cannot have ends the command with nothing sent.
class WebView {
public:
    Error Start(const CommandLine& commandLine, const StationPorts& ports, Clock& clock, const VerifiedImage& image,
                const FlashHistory* recorded) {
        StationWebSettings settings;
        settings.address = *commandLine.listen;
        if (!commandLine.listenToken.empty()) {
            Result<std::string> token = ReadListenToken(commandLine.listenToken);
            if (!token) return token.error();
            settings.token = *token;
        }
        if (recorded != nullptr) {
            history::HistoryOpenOptions access;
            access.access = history::HistoryAccess::kRead;
            Error error;
            m_history = history::HistoryStore::Open(recorded->Path(), access, error);
            if (!m_history) return error.Within("--listen: read the history");
        }
        m_feed = std::make_unique<StationFeed>(ports, clock, ImageObject(image.Path(), &image));
        m_metrics = std::make_unique<StationMetrics>(ports, ToHex(image.Digest().sha256), m_history.get());
        Result<std::unique_ptr<StationWeb>> web =
            StartStationWeb(settings, StationWebSources{*m_feed, *m_metrics, m_history.get()});
        if (!web) return web.error();
        m_web = std::move(*web);
        return Error();
    }
    RunObserver& Feed() { return *m_feed; }
    // Where a browser finds it.
    std::string Address(const CommandLine& commandLine) const {
        const std::string& host = commandLine.listen->host;
        return "http://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
               std::to_string(m_web->Port()) + "/";
    }

private:
    std::unique_ptr<history::HistoryStore> m_history;
    std::unique_ptr<StationFeed> m_feed;
    std::unique_ptr<StationMetrics> m_metrics;
    std::unique_ptr<StationWeb> m_web;
};

}  // namespace

int RunStation(CommandContext& context, const PreparedRun& prepared) {
    const CommandLine& commandLine = context.commandLine;
    const VerifiedImage& image = *prepared.image;
    ConsoleTrace trace(context.streams.err);
    StationSettings settings;
    settings.ports = commandLine.ports;
    settings.most = commandLine.most;
    settings.interrupted = context.streams.interrupted;
    if (commandLine.debugOutput) settings.trace = &trace;
    settings.history = prepared.history.get();
    if (prepared.release) settings.release = &*prepared.release;
    settings.versions = {commandLine.allowOlder, commandLine.allowReinstall};
    if (commandLine.quarantineAfter) settings.quarantineAfter = *commandLine.quarantineAfter;
    std::string howToClear;
    if (context.streams.clearRequests != nullptr) {
        settings.clearRequests = context.streams.clearRequests;
        howToClear = HowToClear();
    }

    // The port model first: a view told of an event finds it there.
    StationPorts ports(context.clock);
    RunFanOut views;
    views.Add(ports);
    std::unique_ptr<RunObserver> view;
    StationTerminal* terminal = nullptr;
    std::unique_ptr<ProblemRoute> aboveTheView;  // stderr's lines, while the view is drawn
    if (commandLine.json) {
        view = std::make_unique<StationJson>(context.streams.out, ImageObject(image.Path(), &image));
    } else if (context.streams.terminal) {
        LeaveHeldNoticeToView(true);
        auto drawn = std::make_unique<StationTerminal>(
            context.streams.out, context.streams.err, context.clock, ports, Heading(commandLine, image, howToClear),
            [] { return TakeHeldNotice() ? std::string(kHeldNotice, std::strlen(kHeldNotice) - 1) : std::string(); });
        terminal = drawn.get();
        aboveTheView = std::make_unique<ProblemRoute>(
            context.streams.err, [terminal](const std::string& line) { terminal->Message(line); });
        view = std::move(drawn);
    } else {
        view = std::make_unique<StationLines>(context.output, howToClear);
    }
    views.Add(*view);
    WebView web;
    if (commandLine.listen) {
        if (Error error = web.Start(commandLine, ports, context.clock, image, prepared.history.get())) {
            PrintProblem(context.streams.err, error.message + "; nothing was sent to any display");
            return kExitFailure;
        }
        views.Add(web.Feed());
        PrintProblem(context.streams.err, "the station's page: " + web.Address(commandLine));
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
    AfterEachResult afterEach(context.streams.err, push.get());
    views.Add(afterEach);
    Station station(context.port, context.clock, image, settings, views);
    // From here an interrupt is how a station ends: once the runs in hand are done.
    if (context.streams.holdInterrupts != nullptr) context.streams.holdInterrupts();
    const RunCounts summary = station.Run();
    if (terminal != nullptr) {
        terminal->Close();
        aboveTheView.reset();
        // An interrupt that came as the view closed is told after its last drawing.
        LeaveHeldNoticeToView(false);
        if (TakeHeldNotice()) std::fputs(kHeldNotice, context.streams.err);
    }
    push.reset();  // the last push, for the last displays

    const std::string text = "station: " + summary.Text("written");
    context.result["displays"] = {{"started", summary.displays},
                                  {"written", summary.succeeded},
                                  {"current", summary.current},
                                  {"failed", summary.failed},
                                  {"ignored", summary.ignored.value_or(0)},
                                  {"recordsLost", summary.recordsLost}};
    context.result["outOfService"] = summary.outOfService;
    context.result["summary"] = text;
    if (!commandLine.json) {
        std::fprintf(context.streams.out, "%s\n", text.c_str());
        std::fflush(context.streams.out);
    }
    return summary.AllSucceeded() ? kExitSuccess : kExitFailure;
}

}  // namespace padsmith::cli
