// padsmith-usb-display: simulated displays as USB devices on this machine's bus, through the
// kernel's vhci-hcd (USB/IP), so that any program meets them through the kernel's own USB, HID
// and hidraw drivers. It runs until stopped (Ctrl-C, SIGTERM); SIGUSR1 plugs the displays that
// left in again.

#include <signal.h>

#include <cstring>
#include <iostream>
#include <string>

#include "base/SteadyClock.h"
#include "device/sim/SimOptions.h"
#include "device/sim/linux/UsbDisplayServer.h"
#include "device/sim/linux/VhciHost.h"

namespace {

constexpr char kUsage[] =
    "usage: padsmith-usb-display [--leave-in-flight] [OPTIONS...]\n"
    "\n"
    "Simulated pen displays as USB devices on this machine, through vhci-hcd (as root, after\n"
    "'modprobe vhci-hcd'): display K on vhci-hcd port K-1. OPTIONS are padsmith's --simulate\n"
    "items (displays=N, K:ITEM, info=HEX, absent, refuse-erase, refuse-at=ADDR,\n"
    "unplug-after=N, arrive-after=MS, leave-after=MS, swap=MS, no-reply, trace=FILE,\n"
    "flash=FILE); leave-after counts from when the last program closed the display's node.\n"
    "--leave-in-flight: unplug-after=N leaves when record N+1 arrives, without answering it.\n"
    "Runs until SIGTERM or Ctrl-C, then saves the flash files; SIGUSR1 plugs the displays\n"
    "that left in again.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace padsmith;
    bool inFlight = false;
    std::string text;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (argument == "--leave-in-flight") {
            inFlight = true;
        } else if (argument.rfind("--", 0) != 0) {
            text += (text.empty() ? "" : ",") + argument;  // items may come as arguments of their own
        } else {
            std::cerr << "padsmith-usb-display: unexpected argument \"" << argument << "\"\n" << kUsage;
            return 2;
        }
    }
    const Result<sim::SimOptions> parsed = sim::ParseSimOptions(text);
    if (!parsed) {
        std::cerr << "padsmith-usb-display: " << parsed.error().message << '\n';
        return 2;
    }
    const sim::SimOptions& options = *parsed;
    if (!options.replayFile.empty() || !options.interfaces.empty()) {
        std::cerr << "padsmith-usb-display: a replay is no USB device; give the display's options\n";
        return 2;
    }
    if (options.displays > sim::kVhciPorts) {
        std::cerr << "padsmith-usb-display: at most " << sim::kVhciPorts << " displays (vhci-hcd's ports)\n";
        return 2;
    }
    const std::string unavailable = sim::VhciHost::Unavailable();
    if (!unavailable.empty()) {
        std::cerr << "padsmith-usb-display: " << unavailable << '\n';
        return 1;
    }
    // Every thread is made with these blocked: the server takes them with sigtimedwait.
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&signals, number);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SteadyClock clock;
    sim::UsbDisplayServer server(options, inFlight, clock, std::cout);
    std::string error;
    if (!server.Start(error) || !server.Run(error)) {
        std::cerr << "padsmith-usb-display: " << error << '\n';
        return 1;
    }
    return 0;
}
