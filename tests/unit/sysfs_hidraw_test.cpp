// The hidraw nodes read from a sysfs tree laid out as the kernel lays it out, built in a
// temporary folder with relative links, and what becomes of entries that are broken or hostile.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "CliRun.h"
#include "device/linux/LinuxHidPort.h"
#include "device/linux/SysfsHidraw.h"
#include "device/sim/DisplayDescriptor.h"

namespace padsmith::hidraw {
namespace {

namespace fs = std::filesystem;

const char kPciController[] = "devices/pci0000:00/0000:00:14.0/usb1";

std::string HidUevent(const std::string& hidId, const std::string& name, const std::string& phys) {
    return "DRIVER=hid-generic\nHID_ID=" + hidId + "\nHID_NAME=" + name + "\nHID_PHYS=" + phys +
           "\nHID_UNIQ=\n";
}

// A sysfs tree of each test's own: `Root()` is the sysfs root; beside it, outside it, there is
// room for what a hostile link may point to.
class SysfsHidraw : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_base = fs::temp_directory_path() /
                 ("padsmith_sysfs_" + std::string(test->name()) + "_" + std::to_string(std::random_device()()));
        fs::create_directories(m_base / "sys" / "class" / "hidraw");
        std::error_code error;
        fs::create_directory_symlink("..", m_base / "probe", error);
        if (error) GTEST_SKIP() << "no symbolic links in " << m_base << ": " << error.message();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_base, ignored);
    }
    std::string Root() const { return (m_base / "sys").string(); }
    fs::path Outside() const { return m_base / "elsewhere"; }

    // A HID device at `hidDevice` (under the root) with the hidraw node `name`, linked from
    // class/hidraw and back to the device the way the kernel links them.
    void AddNode(const fs::path& hidDevice, const std::string& name, const std::string& hidUevent,
                 const std::vector<uint8_t>& descriptor) {
        const fs::path device = m_base / "sys" / hidDevice;
        const fs::path node = device / "hidraw" / name;
        fs::create_directories(node);
        Write(node / "uevent", "MAJOR=244\nMINOR=0\nDEVNAME=" + name + "\n");
        fs::create_directory_symlink("../..", node / "device");
        Write(device / "uevent", hidUevent);
        Write(device / "report_descriptor", std::string(descriptor.begin(), descriptor.end()));
        Link("class/hidraw/" + name, fs::relative(node, m_base / "sys" / "class" / "hidraw"));
    }
    // The USB device and interface above a HID device, as their attributes read.
    void AddUsbPlace(const fs::path& usbDevice, const std::string& busnum, const std::string& devpath,
                     const fs::path& usbInterface, const std::string& interfaceNumber) {
        Write(m_base / "sys" / usbDevice / "busnum", busnum);
        Write(m_base / "sys" / usbDevice / "devpath", devpath);
        Write(m_base / "sys" / usbInterface / "bInterfaceNumber", interfaceNumber);
    }
    void Link(const fs::path& under, const fs::path& target) {
        fs::create_directories((m_base / "sys" / under).parent_path());
        fs::create_symlink(target, m_base / "sys" / under);
    }
    static void Write(const fs::path& path, const std::string& content) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

    // The display on port 1.3 of bus 1 at interface 0, as hidraw5, and a mouse on port 2 at
    // interface 1, as hidraw1; the display comes first because 1-1.3 sorts before 1-2.
    void AddDisplayAndMouse() {
        const std::string display = std::string(kPciController) + "/1-1/1-1.3";
        AddNode(display + "/1-1.3:1.0/0003:2A7D:6C21.0005", "hidraw5",
                HidUevent("0003:00002A7D:00006C21", "Velmora Pen Display", "usb-0000:00:14.0-1.3/input0"),
                sim::DisplayReportDescriptor());
        AddUsbPlace(display, "1\n", "1.3\n", display + "/1-1.3:1.0", "00\n");
        Write(m_base / "sys" / display / "serial", "NB7315-000042\n");
        const std::string mouse = std::string(kPciController) + "/1-2";
        AddNode(mouse + "/1-2:1.1/0003:FFF0:0001.0002", "hidraw1",
                HidUevent("0003:0000FFF0:00000001", "USB Optical Mouse", "usb-0000:00:14.0-2/input1"),
                {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0});
        AddUsbPlace(mouse, "1\n", "2\n", mouse + "/1-2:1.1", "01\n");
    }

private:
    fs::path m_base;
};

std::vector<std::string> Names(const std::vector<HidrawNode>& nodes) {
    std::vector<std::string> names;
    for (const HidrawNode& node : nodes) names.push_back(node.name);
    return names;
}

TEST_F(SysfsHidraw, OneRecordPerNodeSortedByUsbLocation) {
    AddDisplayAndMouse();
    Link("class/hidraw/hidraw9", "../../devices/virtual/gone/hidraw/hidraw9");

    const auto nodes = EnumerateHidrawNodes(Root(), "/run/dev");
    ASSERT_EQ(Names(nodes), (std::vector<std::string>{"hidraw5", "hidraw1"}));
    const HidrawNode& display = nodes[0];
    EXPECT_EQ(display.nodePath, "/run/dev/hidraw5");
    EXPECT_EQ(display.vendorId, 0x2A7D);
    EXPECT_EQ(display.productId, 0x6C21);
    EXPECT_EQ(display.busType, kUsbBusType);
    EXPECT_EQ(display.hidName, "Velmora Pen Display");
    EXPECT_EQ(display.hidPhys, "usb-0000:00:14.0-1.3/input0");
    EXPECT_EQ(display.interfaceNumber, 0);
    EXPECT_EQ(display.location, "1-1.3");
    EXPECT_EQ(display.reportDescriptor, sim::DisplayReportDescriptor());
    EXPECT_EQ(display.serial, "NB7315-000042");
    EXPECT_EQ(display.hidInstance, "0003:2A7D:6C21.0005");
    const HidrawNode& mouse = nodes[1];
    EXPECT_EQ(mouse.nodePath, "/run/dev/hidraw1");
    EXPECT_EQ(mouse.vendorId, 0xFFF0);
    EXPECT_EQ(mouse.productId, 0x0001);
    EXPECT_EQ(mouse.interfaceNumber, 1);
    EXPECT_EQ(mouse.location, "1-2");
    EXPECT_EQ(mouse.serial, "");  // it has none
}

TEST_F(SysfsHidraw, EntriesThatCannotBeFollowedOrNameNoDeviceAreLeftOut) {
    AddDisplayAndMouse();
    Link("class/hidraw/hidraw10", "hidraw11");  // a loop
    Link("class/hidraw/hidraw11", "hidraw10");
    Write(fs::path(Root()) / "class/hidraw/hidraw12", "not a link\n");
    // A well-formed node, but outside the root.
    const fs::path outside = Outside() / "0003:2A7D:6C21.0009";
    Write(outside / "hidraw/hidraw13/uevent", "DEVNAME=hidraw13\n");
    fs::create_directory_symlink("../..", outside / "hidraw/hidraw13/device");
    Link("class/hidraw/hidraw13", fs::relative(outside / "hidraw/hidraw13", fs::path(Root()) / "class/hidraw"));
    // Nodes whose uevent names no usable device, and one with no way to its HID device.
    const std::string uhid = "devices/virtual/misc/uhid/0003:0001:0001.00";
    struct Broken {
        const char* name;
        std::string nodeUevent;
    };
    for (const Broken& broken : {Broken{"hidraw14", "MAJOR=244\nMINOR=14\n"},
                                 Broken{"hidraw15", "DEVNAME=../sda\n"},
                                 Broken{"hidraw16", "DEVNAME=/dev/sda\n"},
                                 Broken{"hidraw17", "DEVNAME=" + std::string(5000, 'x') + "\n"},
                                 Broken{"hidraw18", "DEVNAME=hidraw18\n"}}) {
        const std::string device = uhid + (broken.name + 6);  // the node's number
        AddNode(device, broken.name, HidUevent("0003:00000001:00000001", "uhid", ""), {});
        Write(fs::path(Root()) / device / "hidraw" / broken.name / "uevent", broken.nodeUevent);
    }
    fs::remove(fs::path(Root()) / (uhid + "18") / "hidraw/hidraw18/device");

    std::vector<Error> unreadable;
    EXPECT_EQ(Names(EnumerateHidrawNodes(Root(), "/dev", &unreadable)),
              (std::vector<std::string>{"hidraw5", "hidraw1"}));
    // None is passed over without a word: each is named, with why.
    std::vector<std::string> named;
    for (const Error& error : unreadable) named.push_back(error.message.substr(0, error.message.find(':')));
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, (std::vector<std::string>{"sysfs class/hidraw/hidraw10", "sysfs class/hidraw/hidraw11",
                                               "sysfs class/hidraw/hidraw12", "sysfs class/hidraw/hidraw13",
                                               "sysfs class/hidraw/hidraw14", "sysfs class/hidraw/hidraw15",
                                               "sysfs class/hidraw/hidraw16", "sysfs class/hidraw/hidraw17",
                                               "sysfs class/hidraw/hidraw18"}));
}

TEST_F(SysfsHidraw, MalformedFieldsKeepTheirDefaults) {
    const std::string usb = std::string(kPciController) + "/1-4";
    // On USB, but the interface number is not hex and the devpath has an empty port.
    AddNode(usb + "/1-4:1.0/0003:2A7D:6C21.0001", "hidraw0",
            HidUevent("0003:00002A7D:00006C21", "Display", "usb-0000:00:14.0-4/input0"), {});
    AddUsbPlace(usb, "1\n", "1..4\n", usb + "/1-4:1.0", "zz\n");
    // A vendor ID wider than 16 bits, a descriptor one byte over the cap, no HID_PHYS.
    AddNode("devices/virtual/misc/uhid/0003:12345:0001.0002", "hidraw1",
            HidUevent("0003:00012345:00000001", "Wide", ""), std::vector<uint8_t>(4097, 0xC0));
    // On I2C: no USB place; a descriptor exactly at the cap.
    AddNode("devices/platform/i2c-1/i2c-XMPL0001:00/0018:FFF2:2A7D.0003", "hidraw2",
            HidUevent("0018:0000FFF2:00002A7D", "Touch", "i2c-XMPL0001:00"), std::vector<uint8_t>(4096, 0xC0));

    const auto nodes = EnumerateHidrawNodes(Root(), "/dev");
    ASSERT_EQ(Names(nodes), (std::vector<std::string>{"hidraw1", "hidraw2", "hidraw0"}));
    const HidrawNode& wide = nodes[0];
    EXPECT_EQ(wide.vendorId, 0);
    EXPECT_EQ(wide.productId, 0);
    EXPECT_EQ(wide.busType, 0u);
    EXPECT_TRUE(wide.reportDescriptor.empty());
    EXPECT_EQ(wide.location, "/dev/hidraw1");
    const HidrawNode& touch = nodes[1];
    EXPECT_EQ(touch.busType, 0x18u);
    EXPECT_EQ(touch.interfaceNumber, -1);
    EXPECT_EQ(touch.location, "i2c-XMPL0001:00");
    EXPECT_EQ(touch.reportDescriptor.size(), 4096u);
    const HidrawNode& usbDisplay = nodes[2];
    EXPECT_EQ(usbDisplay.vendorId, 0x2A7D);
    EXPECT_EQ(usbDisplay.interfaceNumber, -1);
    EXPECT_EQ(usbDisplay.location, "usb-0000:00:14.0-4/input0");
}

TEST_F(SysfsHidraw, ListShowsADisplaysHostileHidPhysAsTextAndJsonKeepsItAsItIs) {
    // A display on USB whose USB place cannot be read: its location is its HID_PHYS, which here
    // clears the screen and writes the clipboard.
    const std::string phys = "usb-\x1B[2J\x1B]52;c;cm0gLXJmIH4=\x07/input0";
    AddNode("devices/virtual/misc/uhid/0003:2A7D:6C21.0007", "hidraw7",
            HidUevent("0003:00002A7D:00006C21", "Pen", phys), sim::DisplayReportDescriptor());
    LinuxHidPort port(Root(), "/run/dev");
    VirtualClock clock;

    const test::CliRun plain({"list"}, port, clock);
    EXPECT_EQ(plain.out.find_first_of("\x1B\x07"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("usb-\\x1B[2J\\x1B]52;c;cm0gLXJmIH4=\\x07/input0"), std::string::npos) << plain.out;

    const test::CliRun json({"--json", "list"}, port, clock);
    EXPECT_EQ(nlohmann::json::parse(json.Lines().at(0))["location"], phys);
}

TEST_F(SysfsHidraw, AMissingRootGivesNoNodes) {
    EXPECT_TRUE(EnumerateHidrawNodes("/nonexistent/padsmith/sys", "/dev").empty());
}

}  // namespace
}  // namespace padsmith::hidraw
