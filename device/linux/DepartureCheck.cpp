#include "device/linux/DepartureCheck.h"

#include <sys/stat.h>

#include <filesystem>
#include <thread>

namespace padsmith::hidraw {

Error ReportFailure(int code, const std::string& operation, const std::function<bool()>& left) {
    Error error = ErrorFromErrno(code, operation);
    if (error.kind != ErrorKind::kRefused && error.kind != ErrorKind::kGone && left()) {
        error.kind = ErrorKind::kGone;
    }
    return error;
}

bool NodeStillThere(const std::string& sysfsRoot, const std::string& nodePath, const std::string& instance) {
    namespace fs = std::filesystem;
    struct stat node {};
    if (stat(nodePath.c_str(), &node) != 0) return false;
    std::error_code error;
    const fs::path entry = fs::path(sysfsRoot) / "class" / "hidraw" / fs::path(nodePath).filename();
    const fs::path hidDevice = fs::canonical(entry / "device", error);
    return !error && (instance.empty() || hidDevice.filename() == instance);
}

bool LeftTheBus(const std::string& sysfsRoot, const std::string& nodePath, const std::string& instance,
                std::chrono::milliseconds window) {
    const auto giveUp = std::chrono::steady_clock::now() + window;
    for (;;) {
        if (!NodeStillThere(sysfsRoot, nodePath, instance)) return true;
        if (std::chrono::steady_clock::now() >= giveUp) return false;
        std::this_thread::sleep_for(kDepartureLook);
    }
}

}  // namespace padsmith::hidraw
