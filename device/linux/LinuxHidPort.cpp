#include "device/linux/LinuxHidPort.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/Utf8.h"
#include "device/linux/DeviceDirectoryWatch.h"
#include "device/linux/HidrawDevice.h"
#include "device/ReportDescriptor.h"
#include "device/TargetRule.h"
#include "device/linux/SysfsHidraw.h"

namespace padsmith::hidraw {
namespace {

std::string RootFromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// The node was made (or had its access changed) so recently that udev may not have applied
// its rule yet.
bool Fresh(const std::string& node) {
    struct stat status {};
    if (stat(node.c_str(), &status) != 0) return false;
    const auto changed = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(status.st_ctim.tv_sec) + std::chrono::nanoseconds(status.st_ctim.tv_nsec)));
    return std::chrono::system_clock::now() - changed < kFreshNodeWindow;
}

// The report descriptor as the open node gives it.
bool ReadNodeDescriptor(int fd, std::vector<TopLevelCollection>& collections) {
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 ||
        static_cast<size_t>(size) > kMaxReportDescriptorSize) {
        return false;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<uint32_t>(size);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) return false;
    return ParseReportDescriptor(descriptor.value, descriptor.size, collections);
}

}  // namespace

LinuxHidPort::LinuxHidPort(std::string sysfsRoot, std::string devRoot)
    : m_sysfsRoot(std::move(sysfsRoot)), m_devRoot(std::move(devRoot)) {}

std::unique_ptr<LinuxHidPort> LinuxHidPort::FromEnvironment() {
    return std::make_unique<LinuxHidPort>(RootFromEnvironment("PADSMITH_SYSFS_ROOT", "/sys"),
                                          RootFromEnvironment("PADSMITH_DEV_ROOT", "/dev"));
}

LinuxHidPort::~LinuxHidPort() {
    m_watch.reset();
}

std::vector<HidInterface> LinuxHidPort::Enumerate() {
    std::vector<Error> unreadable;
    return EnumerateReportingUnreadable(unreadable);
}

std::vector<HidInterface> LinuxHidPort::EnumerateReportingUnreadable(std::vector<Error>& unreadable) {
    std::vector<HidInterface> interfaces;
    for (const HidrawNode& node : EnumerateHidrawNodes(m_sysfsRoot, m_devRoot, &unreadable)) {
        HidInterface iface;
        iface.path = FromNativeFileName(node.nodePath);
        iface.vendorId = node.vendorId;
        iface.productId = node.productId;
        iface.interfaceNumber = node.interfaceNumber;
        iface.location = node.location;
        iface.serial = node.serial;
        iface.instance = node.hidInstance;
        std::vector<TopLevelCollection> collections;
        const uint8_t* descriptor = node.reportDescriptor.data();
        if (!ParseReportDescriptor(descriptor, node.reportDescriptor.size(), collections) || collections.empty()) {
            const std::string why = node.descriptorError.empty() ? "its report descriptor cannot be parsed"
                                                                 : node.descriptorError;
            unreadable.push_back(Error(ErrorKind::kIo, node.nodePath + ": " + why + "; listed, never a display"));
            interfaces.push_back(iface);
            continue;
        }
        for (size_t index = 0; index < collections.size(); ++index) {
            iface.usagePage = collections[index].usagePage;
            iface.usage = collections[index].usage;
            iface.service = IsServiceCollection(collections[index]);
            iface.collection = static_cast<int>(index);
            interfaces.push_back(iface);
        }
    }
    return interfaces;
}

std::shared_ptr<HidDevice> LinuxHidPort::Open(const HidInterface& iface, Error* error) {
    const std::string node = ToNativeFileName(iface.path);
    auto fail = [&](Error why) -> std::shared_ptr<HidDevice> {
        if (error != nullptr) *error = std::move(why);
        return nullptr;
    };
    int fd = -1;
    const auto giveUp = std::chrono::steady_clock::now() + kFreshNodeWindow;
    for (;;) {
        fd = open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) break;
        const int why = errno;
        if ((why == EACCES || why == EPERM) && Fresh(node) && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(kFreshNodeRetry);
            continue;
        }
        return fail(ErrorFromErrno(why, "open " + node));
    }
    if (flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int why = errno;
        close(fd);
        if (why == EWOULDBLOCK) return fail({ErrorKind::kHeld, node + " is locked by another program"});
        return fail(ErrorFromErrno(why, "flock " + node));
    }
    std::vector<TopLevelCollection> collections;
    if (!ReadNodeDescriptor(fd, collections) || iface.collection < 0 ||
        static_cast<size_t>(iface.collection) >= collections.size()) {
        close(fd);
        return fail({ErrorKind::kAbsent, node + " no longer carries the collection listed"});
    }
    std::vector<uint8_t> inputIds;
    for (const ReportLength& input : collections[static_cast<size_t>(iface.collection)].input) {
        inputIds.push_back(input.id);
    }
    return std::make_shared<HidrawDevice>(fd, iface, std::move(inputIds), m_sysfsRoot);
}

bool LinuxHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    const bool someone = listener != nullptr;
    m_listener.Set(std::move(listener));
    std::lock_guard<std::mutex> lock(m_watchMutex);
    if (someone && !m_watch) {
        m_watch = std::make_unique<DeviceDirectoryWatch>(m_devRoot,
                                                         [this](DeviceChange change) { m_listener.Notify(change); });
    }
    return m_watch && m_watch->Watching();
}

}  // namespace padsmith::hidraw
