#include "tests/kernel/HidrawFixture.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "device/sim/DisplayDescriptor.h"
#include "device/sim/SimFirmware.h"
#include "device/sim/SimInterfaces.h"
#include "tests/kernel/HidrawServer.h"
#include "tests/kernel/PrivateMounts.h"

namespace padsmith::test {
namespace {

namespace fs = std::filesystem;

constexpr char kDisplayName[] = "QXTP Pen Display";
constexpr char kMouseName[] = "USB Optical Mouse";

// One pen report: out of range, at the origin, no pressure.
constexpr uint8_t kPenReport[] = {0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// The length, report ID included, of the display's feature report `id`, as its descriptor
// declares it; 0 for none.
size_t DisplayFeatureLength(uint8_t id) {
    for (const ReportLength& feature : sim::DisplayCollections()[sim::kServiceCollection].feature) {
        if (feature.id == id) return feature.bytes;
    }
    return 0;
}

// The one place that knows how a simulated display's interfaces are enumerated and opened.
std::shared_ptr<HidDevice> OpenServiceCollection(sim::SimHidPort& port) {
    for (const HidInterface& iface : port.Enumerate()) {
        if (iface.service) return port.Open(iface);
    }
    return nullptr;
}

// `features` (null: none, every feature report is refused) takes the feature reports, and
// `accepted` hears of each one it accepted.
ServedDevice DeviceOf(const HidrawEntry& entry, std::shared_ptr<HidDevice> features,
                      std::function<void(uint8_t reportId)> accepted = nullptr) {
    ServedDevice device;
    device.name = entry.name;
    device.phys = HidPhys(entry);
    device.vendorId = entry.vendorId;
    device.productId = entry.productId;
    device.descriptor = entry.descriptor;
    if (features) {
        device.setFeature = [features, accepted](const uint8_t* report, size_t length) {
            if (!features->SetFeature(report, length)) return false;
            if (accepted) accepted(report[0]);
            return true;
        };
        device.getFeature = [features](uint8_t* report, size_t length) { return features->GetFeature(report, length); };
        device.featureLength = DisplayFeatureLength;
    }
    return device;
}

}  // namespace

std::string HidrawFixture::Unavailable() {
    static const std::string reason = []() -> std::string {
        if (access("/dev/fuse", F_OK) != 0) return "no /dev/fuse";
        if (geteuid() != 0) return "not root";
        const std::string failure = EnterPrivateMountNamespace();
        return failure.empty() ? ProbeFuseMount() : failure;
    }();
    return reason;
}

HidrawFixture::HidrawFixture(const std::vector<sim::SimOptions>& displays, Clock& clock, PenReports pen)
    : m_pen(pen) {
    const std::string reason = Unavailable();
    if (!reason.empty()) throw std::runtime_error("hidraw fixture unavailable: " + reason);
    char root[] = "/tmp/padsmith-hidraw-XXXXXX";
    if (mkdtemp(root) == nullptr) throw std::runtime_error("cannot make a temporary directory");
    m_root = fs::canonical(root).string();
    try {
        MakeRootSkeleton(m_root);
        m_server = std::make_unique<HidrawServer>(m_root + "/fuse");

        m_mouse.usbPath = "usb1/1-2";
        m_mouse.vendorId = sim::kMouseVendorId;
        m_mouse.productId = sim::kMouseProductId;
        m_mouse.instance = m_nextInstance++;
        m_mouse.name = kMouseName;
        m_mouse.descriptor = sim::MouseCollection();
        m_mouse.number = m_server->Add(DeviceOf(m_mouse, nullptr));
        AddHidrawEntry(m_root, m_mouse);

        m_slots.resize(displays.size());
        for (size_t k = 0; k < displays.size(); ++k) {
            Result<std::unique_ptr<sim::SimHidPort>> port = sim::SimHidPort::Create(clock, displays[k]);
            if (!port) throw std::runtime_error("display " + std::to_string(k) + ": " + port.error().message);
            m_slots[k].port = std::move(*port);
            const int display = static_cast<int>(k);
            // One notice per collection: the first plugs or unplugs the node, the second finds it done.
            m_slots[k].port->WatchDeviceChanges([this, display](DeviceChange change) {
                if (change == DeviceChange::kArrival) {
                    PlugNode(display);
                } else {
                    UnplugNode(display);
                }
            });
            if (m_slots[k].port->Plugged()) PlugNode(display);
        }
    } catch (...) {
        TearDown();
        throw;
    }
}

HidrawFixture::~HidrawFixture() {
    TearDown();
}

void HidrawFixture::TearDown() {
    // No notice may come in while the nodes go; this waits for one being handled.
    for (Slot& slot : m_slots) {
        if (slot.port) slot.port->WatchDeviceChanges(nullptr);
    }
    for (size_t k = 0; k < m_slots.size(); ++k) UnplugNode(static_cast<int>(k));
    const std::string mountpoint = m_root + "/fuse";
    if (m_server) {
        m_server->Remove(m_mouse.number);
        RemoveHidrawEntry(m_root, m_mouse);
        m_server.reset();
    }
    if (IsMountPoint(mountpoint)) {
        std::fprintf(stderr, "hidraw fixture: %s was still mounted; detaching it\n", mountpoint.c_str());
        umount2(mountpoint.c_str(), MNT_DETACH);
    }
    m_slots.clear();
    if (IsMountPoint(mountpoint)) {
        std::fprintf(stderr, "hidraw fixture: %s stays mounted; %s is left\n", mountpoint.c_str(), m_root.c_str());
        return;
    }
    std::error_code error;
    fs::remove_all(m_root, error);
    if (error) std::fprintf(stderr, "hidraw fixture: cannot remove %s: %s\n", m_root.c_str(), error.message().c_str());
}

void HidrawFixture::PlugNode(int display) {
    std::lock_guard<std::mutex> bus(m_busMutex);
    Slot& slot = m_slots.at(static_cast<size_t>(display));
    if (slot.plugged) return;
    auto plugged = std::make_unique<Plugged>();
    HidrawEntry& entry = plugged->entry;
    entry.usbPath = "usb1/1-1/1-1." + std::to_string(display + 1);
    entry.vendorId = sim::kDisplayVendorId;
    entry.productId = sim::kDisplayProductId;
    entry.instance = m_nextInstance++;
    entry.name = kDisplayName;
    char serial[24];
    std::snprintf(serial, sizeof serial, "QXTP-%06d", display + 1);
    entry.serial = serial;
    entry.descriptor = sim::DisplayReportDescriptor();
    plugged->service = OpenServiceCollection(*slot.port);
    entry.number = m_server->Add(DeviceOf(entry, plugged->service, [this, display](uint8_t reportId) {
        FeatureAccepted(display, reportId);
    }));
    try {
        AddHidrawEntry(m_root, entry);
    } catch (const std::exception& failure) {
        // Called from the display's notice, where nothing could catch it.
        std::fprintf(stderr, "hidraw fixture: display %d: %s\n", display, failure.what());
    }
    if (plugged->service) {
        plugged->pump = std::thread([this, number = entry.number, service = plugged->service,
                                     stop = &plugged->stop] {
            uint8_t report[sim::kInputReportLength];
            size_t length = 0;
            while (service->ReadInputReport(report, sizeof report, length, *stop) == ReadStatus::kReport) {
                if (m_pen == PenReports::kBeforeEach) m_server->QueueInput(number, kPenReport, sizeof kPenReport);
                m_server->QueueInput(number, report, length);
            }
        });
    }
    slot.plugged = std::move(plugged);
}

void HidrawFixture::UnplugNode(int display) {
    std::lock_guard<std::mutex> bus(m_busMutex);
    Slot& slot = m_slots.at(static_cast<size_t>(display));
    if (!slot.plugged) return;
    Plugged& plugged = *slot.plugged;
    m_server->Remove(plugged.entry.number);
    try {
        RemoveHidrawEntry(m_root, plugged.entry);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "hidraw fixture: display %d: %s\n", display, failure.what());
    }
    // A display that left the bus has ended the read already; one torn down has not.
    plugged.stop.Request();
    if (plugged.pump.joinable()) plugged.pump.join();
    slot.plugged.reset();
}

void HidrawFixture::AfterFeatureAccepted(int display, std::function<void(uint8_t reportId)> hook) {
    std::lock_guard<std::mutex> lock(m_hookMutex);
    m_slots.at(static_cast<size_t>(display)).afterAccepted = std::move(hook);
}

void HidrawFixture::FeatureAccepted(int display, uint8_t reportId) {
    std::function<void(uint8_t reportId)> hook;
    {
        std::lock_guard<std::mutex> lock(m_hookMutex);
        hook = m_slots.at(static_cast<size_t>(display)).afterAccepted;
    }
    if (hook) hook(reportId);
}

std::string HidrawFixture::SysfsRoot() const {
    return m_root + "/sys";
}

std::string HidrawFixture::DevRoot() const {
    return m_root + "/dev";
}

std::vector<std::string> HidrawFixture::Environment() const {
    return {"PADSMITH_SYSFS_ROOT=" + SysfsRoot(), "PADSMITH_DEV_ROOT=" + DevRoot()};
}

std::string HidrawFixture::NodePath(int display) const {
    std::lock_guard<std::mutex> bus(m_busMutex);
    const Slot& slot = m_slots.at(static_cast<size_t>(display));
    return slot.plugged ? DevRoot() + "/hidraw" + std::to_string(slot.plugged->entry.number) : std::string();
}

sim::SimHidPort& HidrawFixture::Display(int display) {
    return *m_slots.at(static_cast<size_t>(display)).port;
}

void HidrawFixture::Unplug(int display) {
    Display(display).Unplug();
}

void HidrawFixture::Plug(int display) {
    Display(display).Replug();
}

void HidrawFixture::SetNodeMode(int display, mode_t mode) {
    std::lock_guard<std::mutex> bus(m_busMutex);
    const Slot& slot = m_slots.at(static_cast<size_t>(display));
    if (!slot.plugged) return;
    m_server->SetMode(slot.plugged->entry.number, mode);
    // Nothing inside a FUSE mount reaches inotify; touching the dev/ link does, as udev's chmod
    // of the node itself would.
    const std::string link = DevRoot() + "/hidraw" + std::to_string(slot.plugged->entry.number);
    const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    utimensat(AT_FDCWD, link.c_str(), now, AT_SYMLINK_NOFOLLOW);
}

}  // namespace padsmith::test
