// An independent client of the simulated display: Debian's libhidapi-hidraw, not padsmith, finds
// the display's service collection (vendor page 0xFF00), sends the information request (0x2A)
// and reads the reply (0x2B). It shows the display to be a standard HID device to any program.
// Prints "serial S, firmware A.B.C.D, PCB A.B.C.D" and exits 0, or says what failed and exits 1.

#include <hidapi/hidapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr unsigned short kVendorId = 0x2A7D;
constexpr unsigned short kProductId = 0x6C21;
constexpr unsigned short kServicePage = 0xFF00;

int Fail(const char* what, hid_device* device) {
    std::fprintf(stderr, "hidapi_info: %s: %ls\n", what, device != nullptr ? hid_error(device) : L"");
    if (device != nullptr) hid_close(device);
    hid_exit();
    return 1;
}

}  // namespace

int main() {
    if (hid_init() != 0) return Fail("hid_init", nullptr);
    std::string path;
    std::wstring serial;
    hid_device_info* found = hid_enumerate(kVendorId, kProductId);
    for (const hid_device_info* entry = found; entry != nullptr; entry = entry->next) {
        if (entry->usage_page != kServicePage) continue;
        path = entry->path;
        serial = entry->serial_number != nullptr ? entry->serial_number : L"";
        break;
    }
    hid_free_enumeration(found);
    if (path.empty()) return Fail("no 2A7D:6C21 interface with a collection of page 0xFF00", nullptr);
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) return Fail(("hid_open_path " + path).c_str(), nullptr);
    const unsigned char request[] = {0x2A, 'V', 'e', 'r', 's', 'i', 'o', 'n'};
    if (hid_send_feature_report(device, request, sizeof request) != sizeof request) {
        return Fail("hid_send_feature_report 0x2A", device);
    }
    unsigned char reply[10] = {0x2B};
    if (hid_get_feature_report(device, reply, sizeof reply) != sizeof reply) {
        return Fail("hid_get_feature_report 0x2B", device);
    }
    // After the report ID and a zero: the firmware version (4 bytes), the size code (2), the PCB
    // version (2), most significant byte first.
    std::printf("serial %ls, firmware %u.%u.%u.%u, PCB %u.%u.%u.%u\n", serial.c_str(), reply[2], reply[3], reply[4],
                reply[5], reply[8] >> 4, reply[8] & 0x0F, reply[9] >> 4, reply[9] & 0x0F);
    hid_close(device);
    hid_exit();
    return 0;
}
