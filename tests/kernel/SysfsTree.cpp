#include "tests/kernel/SysfsTree.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace padsmith::test {
namespace {

namespace fs = std::filesystem;

constexpr char kControllerPath[] = "devices/pci0000:00/0000:00:14.0";
constexpr int kHidrawMajor = 241;

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::string Hex4(unsigned value, bool upper) {
    char text[8];
    std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value & 0xFFFFu);
    return text;
}

std::string NodeName(const HidrawEntry& entry) {
    return "hidraw" + std::to_string(entry.number);
}

// "1-1.2" -> "1.2": the ports from the root hub down.
std::string DevPath(const HidrawEntry& entry) {
    const std::string usb = UsbDeviceName(entry);
    return usb.substr(usb.find('-') + 1);
}

std::string HidDeviceName(const HidrawEntry& entry) {
    return "0003:" + Hex4(entry.vendorId, true) + ":" + Hex4(entry.productId, true) + "." +
           Hex4(static_cast<unsigned>(entry.instance), true);
}

}  // namespace

std::string UsbDeviceName(const HidrawEntry& entry) {
    return fs::path(entry.usbPath).filename().string();
}

std::string HidPhys(const HidrawEntry& entry) {
    return "usb-0000:00:14.0-" + DevPath(entry) + "/input0";
}

void MakeRootSkeleton(const std::string& root) {
    for (const char* dir : {"sys/class/hidraw", "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1", "dev", "fuse"}) {
        fs::create_directories(fs::path(root) / dir);
    }
    // Others (the unprivileged runs) must get through to dev/ and sys/.
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        fs::permissions(item.path(), fs::perms(0755));
    }
    fs::permissions(root, fs::perms(0755));
}

void AddHidrawEntry(const std::string& root, const HidrawEntry& entry) {
    const fs::path sys = fs::path(root) / "sys";
    const std::string usb = UsbDeviceName(entry);
    const fs::path usbDir = sys / kControllerPath / entry.usbPath;
    const fs::path interfaceDir = usbDir / (usb + ":1.0");
    const fs::path hidDir = interfaceDir / HidDeviceName(entry);
    const fs::path nodeDir = hidDir / "hidraw" / NodeName(entry);
    fs::create_directories(nodeDir);

    WriteFile(usbDir / "busnum", "1\n");
    WriteFile(usbDir / "devpath", DevPath(entry) + "\n");
    WriteFile(usbDir / "idVendor", Hex4(entry.vendorId, false) + "\n");
    WriteFile(usbDir / "idProduct", Hex4(entry.productId, false) + "\n");
    if (!entry.serial.empty()) WriteFile(usbDir / "serial", entry.serial + "\n");
    WriteFile(interfaceDir / "bInterfaceNumber", "00\n");
    const std::string vendor = "0000" + Hex4(entry.vendorId, true);
    const std::string product = "0000" + Hex4(entry.productId, true);
    WriteFile(hidDir / "uevent", "DRIVER=hid-generic\nHID_ID=0003:" + vendor + ":" + product +
                                     "\nHID_NAME=" + entry.name + "\nHID_PHYS=" + HidPhys(entry) +
                                     "\nHID_UNIQ=\nMODALIAS=hid:b0003g0001v" + vendor + "p" + product + "\n");
    WriteFile(hidDir / "report_descriptor",
              std::string(entry.descriptor.begin(), entry.descriptor.end()));
    const std::string number = std::to_string(entry.number);
    WriteFile(nodeDir / "uevent", "MAJOR=" + std::to_string(kHidrawMajor) + "\nMINOR=" + number +
                                      "\nDEVNAME=" + NodeName(entry) + "\n");
    WriteFile(nodeDir / "dev", std::to_string(kHidrawMajor) + ":" + number + "\n");
    fs::create_directory_symlink("../..", nodeDir / "device");
    for (fs::path dir = nodeDir; dir != usbDir.parent_path(); dir = dir.parent_path()) {
        fs::permissions(dir, fs::perms(0755));
    }

    const fs::path target = fs::path("../..") / kControllerPath / entry.usbPath / (usb + ":1.0") /
                            HidDeviceName(entry) / "hidraw" / NodeName(entry);
    fs::create_directory_symlink(target, sys / "class/hidraw" / NodeName(entry));
    fs::create_symlink(fs::path("../fuse") / NodeName(entry), fs::path(root) / "dev" / NodeName(entry));
}

void RemoveHidrawEntry(const std::string& root, const HidrawEntry& entry) {
    const fs::path sys = fs::path(root) / "sys";
    fs::remove(sys / "class/hidraw" / NodeName(entry));
    fs::remove_all(sys / kControllerPath / entry.usbPath);
    fs::remove(fs::path(root) / "dev" / NodeName(entry));
}

}  // namespace padsmith::test
