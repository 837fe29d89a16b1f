#include "cli/StationCommand.h"

#include <memory>

#include "app/ExitStatus.h"
#include "app/Station.h"
#include "cli/ConsoleOutput.h"
#include "cli/StationViews.h"

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

}  // namespace

int RunStation(CommandContext& context, const PreparedRun& prepared) {
    const CommandLine& commandLine = context.commandLine;
    ConsoleTrace trace(context.streams.err);
    StationSettings settings;
    settings.ports = commandLine.ports;
    settings.most = commandLine.most;
    settings.interrupted = context.streams.interrupted;
    if (commandLine.debugOutput) settings.trace = &trace;

    std::unique_ptr<StationObserver> view;
    StationTerminal* terminal = nullptr;
    if (commandLine.json) {
        view = std::make_unique<StationJson>(context.streams.out, context.result["image"]);
    } else if (context.streams.terminal) {
        auto drawn = std::make_unique<StationTerminal>(context.streams.out, context.clock, Heading(context));
        terminal = drawn.get();
        view = std::move(drawn);
    } else {
        view = std::make_unique<StationLines>(context.output);
    }
    Station station(context.port, context.clock, prepared.image, settings, *view);
    const StationSummary summary = station.Run();
    if (terminal != nullptr) terminal->Close();

    const std::string text = "station: " + std::to_string(summary.started) +
                             (summary.started == 1 ? " display: " : " displays: ") +
                             std::to_string(summary.succeeded) + " written, " + std::to_string(summary.failed) +
                             " failed, " + std::to_string(summary.ignored) + " ignored";
    context.result["displays"] = {{"started", summary.started},
                                  {"written", summary.succeeded},
                                  {"failed", summary.failed},
                                  {"ignored", summary.ignored}};
    context.result["summary"] = text;
    if (!commandLine.json) {
        std::fprintf(context.streams.out, "%s\n", text.c_str());
        std::fflush(context.streams.out);
    }
    return summary.AllSucceeded() ? kExitSuccess : kExitFailure;
}

}  // namespace padsmith::cli
