#include "device/linux/SysfsHidraw.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>

#include "base/Number.h"
#include "base/RegularFile.h"
#include "base/ShownText.h"
#include "base/Utf8.h"
#include "device/ReportDescriptor.h"

namespace padsmith::hidraw {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxTextFileSize = 4096;  // a sysfs attribute is one page at most
constexpr size_t kMaxEntries = 1024;       // the kernel has 64 hidraw minors; room to spare
constexpr size_t kMaxDevpathLength = 64;   // seven hub tiers: "1.2.3.4.5.6.7" and then some
constexpr size_t kMaxSerialLength = 126;   // a USB string descriptor holds at most 126 characters


// A sysfs file read whole, no link followed, at most `cap` bytes.
std::optional<std::string> ReadSmallFile(const fs::path& path, size_t cap, Error* error = nullptr) {
    return padsmith::ReadSmallFile(FromNativeFileName(path.native()), cap, error);
}

// One attribute value: the file's text without its final newline.
std::optional<std::string> ReadAttribute(const fs::path& path) {
    std::optional<std::string> text = ReadSmallFile(path, kMaxTextFileSize);
    if (text && !text->empty() && text->back() == '\n') text->pop_back();
    return text;
}

// The value of the first KEY=VALUE line of a uevent file with this key.
std::optional<std::string> UeventValue(const std::string& uevent, const std::string& key) {
    size_t start = 0;
    while (start < uevent.size()) {
        size_t end = uevent.find('\n', start);
        if (end == std::string::npos) end = uevent.size();
        if (end - start > key.size() && uevent.compare(start, key.size(), key) == 0 &&
            uevent[start + key.size()] == '=') {
            return uevent.substr(start + key.size() + 1, end - start - key.size() - 1);
        }
        start = end + 1;
    }
    return std::nullopt;
}

// HID_ID=BUS:VENDOR:PRODUCT, each in hex ("0003:00002A7D:00006C21"); all three or none.
void ParseHidId(const std::string& text, HidrawNode& node) {
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) return;
    auto bus = ParseNumber(text.substr(0, first), NumberBase::kHex, UINT32_MAX);
    auto vendor = ParseNumber(text.substr(first + 1, second - first - 1), NumberBase::kHex, 0xFFFF);
    auto product = ParseNumber(text.substr(second + 1), NumberBase::kHex, 0xFFFF);
    if (!bus || !vendor || !product) return;
    node.busType = static_cast<uint32_t>(*bus);
    node.vendorId = static_cast<uint16_t>(*vendor);
    node.productId = static_cast<uint16_t>(*product);
}

// The name under the device root: relative, no way up, no blanks or control characters.
bool IsSafeDevName(const std::string& name) {
    if (name.empty() || name.front() == '/') return false;
    for (unsigned char c : name) {
        if (c <= ' ' || c == 0x7F) return false;
    }
    return ("/" + name + "/").find("/../") == std::string::npos;
}

// A USB devpath: port numbers joined by dots, "1.3".
bool IsDevpath(const std::string& text) {
    if (text.empty() || text.size() > kMaxDevpathLength || text.front() == '.' || text.back() == '.')
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dot = text[i] == '.';
        if (!dot && (text[i] < '0' || text[i] > '9')) return false;
        if (dot && text[i - 1] == '.') return false;
    }
    return true;
}

bool IsInside(const fs::path& path, const fs::path& root) {
    return std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// `path` with every link followed, when that ends inside `root` (canonical itself). A loop,
// a dangling link or one that leads out of the root gives nothing.
std::optional<fs::path> ResolveInside(const fs::path& path, const fs::path& root) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    if (error || !IsInside(resolved, root)) return std::nullopt;
    return resolved;
}

// The USB interface holds the HID device, and the USB device holds the interface.
void ReadUsbPlace(const fs::path& hidDevice, const fs::path& root, HidrawNode& node) {
    const fs::path usbInterface = hidDevice.parent_path();
    const fs::path usbDevice = usbInterface.parent_path();
    if (!IsInside(usbDevice, root) || usbDevice == root) return;
    if (auto number = ReadAttribute(usbInterface / "bInterfaceNumber")) {
        if (auto value = ParseNumber(*number, NumberBase::kHex, 0xFF)) node.interfaceNumber = static_cast<int>(*value);
    }
    auto busnum = ReadAttribute(usbDevice / "busnum");
    auto devpath = ReadAttribute(usbDevice / "devpath");
    if (busnum && devpath && ParseNumber(*busnum, NumberBase::kDecimal, 999) && IsDevpath(*devpath)) {
        node.location = *busnum + "-" + *devpath;
    }
    // The device's serial number, when it has one that is text as it stands (nothing in it that
    // a terminal would act on or that would be shown escaped): it names the display.
    if (auto serial = ReadAttribute(usbDevice / "serial")) {
        if (!serial->empty() && serial->size() <= kMaxSerialLength && ShownText(*serial) == *serial) {
            node.serial = *serial;
        }
    }
}

// The node's record; nothing, with `why` naming what could not be followed or read, when its
// sysfs entry does not lead to a node that can be listed.
std::optional<HidrawNode> ReadNode(const fs::path& root, const std::string& name, const std::string& devRoot,
                                   Error& why) {
    const std::string entry = "class/hidraw/" + name;
    auto unreadable = [&](const std::string& what) {
        why = Error(ErrorKind::kIo, "sysfs " + entry + ": " + what);
        return std::nullopt;
    };
    auto nodeDir = ResolveInside(root / "class" / "hidraw" / name, root);
    if (!nodeDir) return unreadable("does not lead to a device inside the sysfs tree");
    Error readError;
    auto nodeUevent = ReadSmallFile(*nodeDir / "uevent", kMaxTextFileSize, &readError);
    if (!nodeUevent) return unreadable("uevent cannot be read (" + readError.message + ")");
    auto devName = UeventValue(*nodeUevent, "DEVNAME");
    if (!devName || !IsSafeDevName(*devName)) return unreadable("uevent names no safe DEVNAME");
    auto hidDevice = ResolveInside(*nodeDir / "device", root);
    if (!hidDevice) return unreadable("its device link does not lead inside the sysfs tree");

    HidrawNode node;
    node.name = name;
    node.nodePath = devRoot + "/" + *devName;
    node.hidInstance = hidDevice->filename().string();
    if (auto hidUevent = ReadSmallFile(*hidDevice / "uevent", kMaxTextFileSize)) {
        if (auto id = UeventValue(*hidUevent, "HID_ID")) ParseHidId(*id, node);
        node.hidName = UeventValue(*hidUevent, "HID_NAME").value_or("");
        node.hidPhys = UeventValue(*hidUevent, "HID_PHYS").value_or("");
    }
    if (auto descriptor = ReadSmallFile(*hidDevice / "report_descriptor", kMaxReportDescriptorSize, &readError)) {
        node.reportDescriptor.assign(descriptor->begin(), descriptor->end());
    } else {
        // Listed all the same, but never as a display: it says why.
        node.descriptorError = "report_descriptor cannot be read (" + readError.message + ")";
    }
    if (node.busType == kUsbBusType) ReadUsbPlace(*hidDevice, root, node);
    if (node.location.empty()) node.location = node.hidPhys.empty() ? node.nodePath : node.hidPhys;
    return node;
}

}  // namespace

std::vector<HidrawNode> EnumerateHidrawNodes(const std::string& sysfsRoot, const std::string& devRoot,
                                             std::vector<Error>* unreadable) {
    std::vector<HidrawNode> nodes;
    std::error_code error;
    const fs::path root = fs::canonical(sysfsRoot, error);
    if (error) return nodes;

    std::vector<std::string> names;
    fs::directory_iterator entry(root / "class" / "hidraw", error);
    for (; !error && entry != fs::directory_iterator() && names.size() < kMaxEntries;
         entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    for (const std::string& name : names) {
        Error why;
        if (auto node = ReadNode(root, name, devRoot, why)) {
            nodes.push_back(std::move(*node));
        } else if (unreadable != nullptr) {
            unreadable->push_back(why);
        }
    }
    std::sort(nodes.begin(), nodes.end(), [](const HidrawNode& a, const HidrawNode& b) {
        return std::tie(a.location, a.name) < std::tie(b.location, b.name);
    });
    return nodes;
}

}  // namespace padsmith::hidraw
