#include "device/linux/SysfsHidraw.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <tuple>

#include "device/ReportDescriptor.h"

namespace padsmith::hidraw {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxTextFileSize = 4096;  // a sysfs attribute is one page at most
constexpr size_t kMaxEntries = 1024;       // the kernel has 64 hidraw minors; room to spare
constexpr size_t kMaxDevpathLength = 64;   // seven hub tiers: "1.2.3.4.5.6.7" and then some

// The whole of a regular file of at most `cap` bytes. A FIFO or a device would block or never
// end, and a link could lead out of the root, so neither is read; a longer file is refused
// rather than cut, since a cut descriptor or line reads as something it is not.
std::optional<std::string> ReadSmallFile(const fs::path& path, size_t cap) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> content;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        std::string buffer(cap + 1, '\0');  // one byte more, to see a file that is too long
        size_t filled = 0;
        bool failed = false;
        while (filled < buffer.size()) {
            const ssize_t got = ::read(fd, &buffer[filled], buffer.size() - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) failed = true;
            if (got <= 0) break;
            filled += static_cast<size_t>(got);
        }
        if (!failed && filled <= cap) {
            buffer.resize(filled);
            content = std::move(buffer);
        }
    }
    ::close(fd);
    return content;
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

// Digits of the given base only, at most `maxDigits` of them, so the value fits 32 bits.
std::optional<uint32_t> ParseNumber(const std::string& text, int base, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0 || digit >= base) return std::nullopt;
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
    return value;
}

// HID_ID=BUS:VENDOR:PRODUCT, each in hex ("0003:00002A7D:00006C21"); all three or none.
void ParseHidId(const std::string& text, HidrawNode& node) {
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) return;
    auto bus = ParseNumber(text.substr(0, first), 16, 8);
    auto vendor = ParseNumber(text.substr(first + 1, second - first - 1), 16, 8);
    auto product = ParseNumber(text.substr(second + 1), 16, 8);
    if (!bus || !vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF) return;
    node.busType = *bus;
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
        if (auto value = ParseNumber(*number, 16, 2)) node.interfaceNumber = static_cast<int>(*value);
    }
    auto busnum = ReadAttribute(usbDevice / "busnum");
    auto devpath = ReadAttribute(usbDevice / "devpath");
    if (busnum && devpath && ParseNumber(*busnum, 10, 3) && IsDevpath(*devpath)) {
        node.location = *busnum + "-" + *devpath;
    }
}

std::optional<HidrawNode> ReadNode(const fs::path& root, const std::string& name, const std::string& devRoot) {
    auto nodeDir = ResolveInside(root / "class" / "hidraw" / name, root);
    if (!nodeDir) return std::nullopt;
    auto nodeUevent = ReadSmallFile(*nodeDir / "uevent", kMaxTextFileSize);
    if (!nodeUevent) return std::nullopt;
    auto devName = UeventValue(*nodeUevent, "DEVNAME");
    if (!devName || !IsSafeDevName(*devName)) return std::nullopt;
    auto hidDevice = ResolveInside(*nodeDir / "device", root);
    if (!hidDevice) return std::nullopt;

    HidrawNode node;
    node.name = name;
    node.nodePath = devRoot + "/" + *devName;
    if (auto hidUevent = ReadSmallFile(*hidDevice / "uevent", kMaxTextFileSize)) {
        if (auto id = UeventValue(*hidUevent, "HID_ID")) ParseHidId(*id, node);
        node.hidName = UeventValue(*hidUevent, "HID_NAME").value_or("");
        node.hidPhys = UeventValue(*hidUevent, "HID_PHYS").value_or("");
    }
    if (auto descriptor = ReadSmallFile(*hidDevice / "report_descriptor", kMaxReportDescriptorSize)) {
        node.reportDescriptor.assign(descriptor->begin(), descriptor->end());
    }
    if (node.busType == kUsbBusType) ReadUsbPlace(*hidDevice, root, node);
    if (node.location.empty()) node.location = node.hidPhys.empty() ? node.nodePath : node.hidPhys;
    return node;
}

}  // namespace

std::vector<HidrawNode> EnumerateHidrawNodes(const std::string& sysfsRoot, const std::string& devRoot) {
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
        if (auto node = ReadNode(root, name, devRoot)) nodes.push_back(std::move(*node));
    }
    std::sort(nodes.begin(), nodes.end(), [](const HidrawNode& a, const HidrawNode& b) {
        return std::tie(a.location, a.name) < std::tie(b.location, b.name);
    });
    return nodes;
}

}  // namespace padsmith::hidraw
