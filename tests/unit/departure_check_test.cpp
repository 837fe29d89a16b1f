// A report that failed with an errno that names no removal: the display is gone when its node or
// its sysfs entry went (or now leads to another connection), even a moment after the failure.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "device/linux/DepartureCheck.h"

namespace padsmith::hidraw {
namespace {

namespace fs = std::filesystem;

TEST(DepartureCheck, OnlyAnUnnamedFailureAsksTheBusAndALeftDisplayIsGone) {
    struct Case {
        int code;
        bool left;
        ErrorKind kind;
        bool asked;
    };
    for (const Case& c : {Case{EPIPE, true, ErrorKind::kRefused, false},
                          Case{ENODEV, false, ErrorKind::kGone, false},
                          Case{ESHUTDOWN, false, ErrorKind::kGone, false},
                          Case{ETIMEDOUT, false, ErrorKind::kIo, true},
                          Case{ETIMEDOUT, true, ErrorKind::kGone, true},
                          Case{EPROTO, true, ErrorKind::kGone, true}}) {
        SCOPED_TRACE(c.code);
        bool asked = false;
        const Error error = ReportFailure(c.code, "HIDIOCSFEATURE report 0x28 on /dev/hidraw0", [&] {
            asked = true;
            return c.left;
        });
        EXPECT_EQ(error.kind, c.kind);
        EXPECT_EQ(asked, c.asked);
        // The system's own words stay, whatever the kind.
        EXPECT_EQ(error.message, "HIDIOCSFEATURE report 0x28 on /dev/hidraw0: " + std::generic_category().message(c.code));
    }
}

TEST(DepartureCheck, TheNodeAndItsEntryAreAskedForAndARemovalInFlightIsWaitedFor) {
    const fs::path base = fs::temp_directory_path() / ("padsmith_departure_" + std::to_string(std::random_device()()));
    const fs::path hidDevice = base / "sys/devices/usb1/1-1/1-1:1.0/0003:2A7D:6C21.0004";
    fs::create_directories(hidDevice / "hidraw/hidraw0");
    fs::create_directories(base / "sys/class/hidraw");
    fs::create_directory_symlink("../..", hidDevice / "hidraw/hidraw0/device");
    fs::create_directory_symlink("../../devices/usb1/1-1/1-1:1.0/0003:2A7D:6C21.0004/hidraw/hidraw0",
                                 base / "sys/class/hidraw/hidraw0");
    fs::create_directories(base / "dev");
    std::ofstream(base / "dev/hidraw0").put('\0');
    const std::string sys = (base / "sys").string();
    const std::string node = (base / "dev/hidraw0").string();
    const std::chrono::milliseconds brief{60};

    EXPECT_FALSE(LeftTheBus(sys, node, "0003:2A7D:6C21.0004", brief));
    EXPECT_FALSE(LeftTheBus(sys, node, "", brief));
    // The same node number, but another connection's entry.
    EXPECT_TRUE(LeftTheBus(sys, node, "0003:2A7D:6C21.0005", brief));
    EXPECT_TRUE(LeftTheBus(sys, (base / "dev/hidraw1").string(), "", brief));
    // The entry goes a moment after the failure, as the kernel removes it once the ioctl returned.
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fs::remove(base / "sys/class/hidraw/hidraw0");
    });
    EXPECT_TRUE(LeftTheBus(sys, node, "0003:2A7D:6C21.0004", std::chrono::milliseconds(2000)));
    unplug.join();
    fs::remove_all(base);
}

}  // namespace
}  // namespace padsmith::hidraw
