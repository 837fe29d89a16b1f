#include "device/sim/linux/VhciHost.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace padsmith::sim {
namespace {

namespace fs = std::filesystem;

const fs::path kController = "/sys/devices/platform/vhci_hcd.0";
constexpr int kHighSpeed = 3;        // USB_SPEED_HIGH
constexpr char kPortFree[] = "004";  // VDEV_ST_NULL

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::string VhciHost::Unavailable() {
    if (geteuid() != 0) return "not root: attaching a USB device through vhci-hcd needs root";
    if (!fs::exists(kController / "attach")) return "vhci-hcd is not loaded (modprobe vhci-hcd)";
    return std::string();
}

int VhciHost::Attach(int port, unsigned devid, std::string& error) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = std::string("socketpair: ") + std::strerror(errno);
        return -1;
    }
    // The kernel takes its end by this process's descriptor number, and keeps its own reference.
    std::ofstream attach(kController / "attach");
    attach << port << ' ' << pair[1] << ' ' << devid << ' ' << kHighSpeed << std::flush;
    const bool attached = static_cast<bool>(attach);
    const int why = errno;
    close(pair[1]);
    if (!attached) {
        close(pair[0]);
        error = "attach to vhci-hcd port " + std::to_string(port) + ": " + std::strerror(why);
        return -1;
    }
    return pair[0];
}

bool VhciHost::PortFree(int port) {
    // "hub port sta spd dev sockfd local_busid", one line per port: "hs  0000 004 000 ...".
    std::ifstream status(kController / "status");
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string hub, number, state;
        if (!(fields >> hub >> number >> state) || hub != "hs") continue;
        if (number.find_first_not_of("0123456789") == std::string::npos && std::stoi(number) == port) {
            return state == kPortFree;
        }
    }
    return false;
}

bool VhciHost::WaitPortFree(int port, std::chrono::milliseconds timeout) {
    const auto giveUp = std::chrono::steady_clock::now() + timeout;
    while (!PortFree(port)) {
        if (std::chrono::steady_clock::now() >= giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string VhciHost::Location(int port) {
    std::error_code error;
    for (const fs::directory_entry& hub : fs::directory_iterator(kController, error)) {
        const std::string name = hub.path().filename().string();
        if (name.rfind("usb", 0) != 0 || FirstLine(hub.path() / "speed") != "480") continue;
        const std::string bus = FirstLine(hub.path() / "busnum");
        if (!bus.empty()) return bus + "-" + std::to_string(port + 1);
    }
    return std::string();
}

}  // namespace padsmith::sim
