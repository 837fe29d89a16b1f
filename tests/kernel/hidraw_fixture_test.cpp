// The fixture itself, seen through system calls on its files as any program sees a hidraw node;
// no part of the tool is involved.

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/sim/SimFirmware.h"
#include "tests/kernel/HidrawServer.h"
#include "tests/kernel/KernelTest.h"
#include "tests/kernel/PrivateMounts.h"

namespace padsmith::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const Bytes kErase{0x29, 'E', 'r', 'a', 's'};
const Bytes kInfoRequest{0x2A, 'V', 'e', 'r', 's', 'i', 'o', 'n'};
const Bytes kDefaultInfo{0x2B, 0x00, 0x01, 0x00, 0x0A, 0xFF, 0x25, 0x15, 0x0A, 0x31};

// The ioctl's result, or -errno.
int SetFeature(int fd, Bytes report) {
    const int result = ioctl(fd, HIDIOCSFEATURE(report.size()), report.data());
    return result < 0 ? -errno : result;
}

// The reply, or the error as its one element.
std::vector<int> GetFeature(int fd, uint8_t reportId, size_t length) {
    Bytes report(length, 0);
    report[0] = reportId;
    const int result = ioctl(fd, HIDIOCGFEATURE(length), report.data());
    if (result < 0) return {-errno};
    return std::vector<int>(report.begin(), report.begin() + result);
}

std::vector<int> Ints(const Bytes& bytes) {
    return std::vector<int>(bytes.begin(), bytes.end());
}

// One read: the bytes, or the error as its one element.
std::vector<int> ReadReport(int fd) {
    uint8_t buffer[64];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) return {-errno};
    return std::vector<int>(buffer, buffer + got);
}

// What poll reports before `timeoutMs` runs out. At the timeout the kernel asks every file once
// more, so what only that last look finds counts as nothing: it was a missed wake-up.
short PollEvents(int fd, int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) != 1) return 0;
    if (timeoutMs > 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs)) return 0;
    return entry.revents;
}

Bytes FileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Name(const std::string& path) {
    return fs::path(path).filename().string();
}

// The next inotify event on `fd` within two seconds: its mask and name.
std::optional<std::pair<uint32_t, std::string>> NextEvent(int fd) {
    if (PollEvents(fd, 2000) == 0) return std::nullopt;
    alignas(inotify_event) char buffer[sizeof(inotify_event) + NAME_MAX + 1];
    // One event per read: the buffer holds exactly one.
    if (read(fd, buffer, sizeof buffer) <= 0) return std::nullopt;
    const auto* event = reinterpret_cast<const inotify_event*>(buffer);
    return std::make_pair(event->mask, std::string(event->len ? event->name : ""));
}

using Event = std::optional<std::pair<uint32_t, std::string>>;
Event Expected(uint32_t mask, const std::string& name) {
    return std::make_pair(mask, name);
}

TEST_F(KernelTest, ReportsTravelThroughTheKernelAsThroughHidraw) {
    HidrawFixture fixture({DisplayOptions(""), DisplayOptions("refuse-erase")}, clock, PenReports::kBeforeEach);
    const std::string node = fixture.NodePath(0);
    Fd fd(node, O_RDWR);
    ASSERT_GE(fd.get(), 0) << node << ": " << std::strerror(errno);

    // The descriptor the node gives is the one sysfs shows.
    int size = 0;
    ASSERT_EQ(ioctl(fd.get(), HIDIOCGRDESCSIZE, &size), 0);
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<uint32_t>(size);
    ASSERT_EQ(ioctl(fd.get(), HIDIOCGRDESC, &descriptor), 0);
    const fs::path sysfs = fs::path(fixture.SysfsRoot()) / "class/hidraw" / Name(node) / "device";
    EXPECT_EQ(Bytes(descriptor.value, descriptor.value + size), FileBytes(sysfs / "report_descriptor"));
    hidraw_devinfo info{};
    ASSERT_EQ(ioctl(fd.get(), HIDIOCGRAWINFO, &info), 0);
    EXPECT_EQ(info.vendor, 0x2A7D);
    EXPECT_EQ(info.product, 0x6C21);

    // Feature reports reach the display and its answers come back; a refusal is a stall.
    EXPECT_EQ(SetFeature(fd.get(), kErase), 5);
    EXPECT_EQ(GetFeature(fd.get(), 0x2B, 10), Ints(kDefaultInfo));
    Fd refusing(fixture.NodePath(1), O_RDWR);
    EXPECT_EQ(SetFeature(refusing.get(), kErase), -EPIPE);

    // An input report wakes a waiting poll and is read one report per read, the pen's first.
    EXPECT_EQ(PollEvents(fd.get(), 0) & POLLIN, 0);
    std::thread display([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the poll waits by then
        fixture.Display(0).SendInputReport();
    });
    EXPECT_NE(PollEvents(fd.get(), 2000) & POLLIN, 0);
    display.join();
    EXPECT_EQ(ReadReport(fd.get()).front(), 0x07);
    EXPECT_EQ(ReadReport(fd.get()), Ints(kDefaultInfo));
    Fd nonBlocking(node, O_RDWR | O_NONBLOCK);
    EXPECT_EQ(ReadReport(nonBlocking.get()), std::vector<int>{-EAGAIN});

    // flock is the kernel's own, on the one inode every open shares.
    EXPECT_EQ(flock(fd.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(flock(nonBlocking.get(), LOCK_EX | LOCK_NB), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
}

TEST_F(KernelTest, UnplugAndPlugAsTheKernelDoes) {
    auto fixture = std::make_unique<HidrawFixture>(std::vector<sim::SimOptions>{DisplayOptions("")}, clock);
    const std::string root = fs::path(fixture->DevRoot()).parent_path().string();
    Fd watch(inotify_init1(IN_CLOEXEC));
    inotify_add_watch(watch.get(), fixture->DevRoot().c_str(), IN_CREATE | IN_DELETE);
    const std::string old = fixture->NodePath(0);
    Fd queued(old, O_RDWR);
    fixture->Display(0).SendInputReport();
    ASSERT_NE(PollEvents(queued.get(), 2000) & POLLIN, 0);
    // One file waits in read, one in poll, one has a report queued.
    Fd reading(old, O_RDWR);
    Fd polling(old, O_RDWR);
    std::vector<int> blockedRead;
    short blockedPoll = 0;
    std::thread reader([&] { blockedRead = ReadReport(reading.get()); });
    std::thread poller([&] { blockedPoll = PollEvents(polling.get(), 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    fixture->Unplug(0);
    reader.join();
    poller.join();
    EXPECT_EQ(blockedRead, std::vector<int>{-EIO});
    EXPECT_EQ(blockedPoll, POLLERR | POLLHUP);
    EXPECT_EQ(NextEvent(watch.get()), Expected(IN_DELETE, Name(old)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(fixture->SysfsRoot()) / "class/hidraw" / Name(old))));
    EXPECT_EQ(PollEvents(queued.get(), 0), POLLIN | POLLERR | POLLHUP);
    EXPECT_EQ(ReadReport(queued.get()), Ints(kDefaultInfo));
    EXPECT_EQ(ReadReport(queued.get()), std::vector<int>{-EIO});
    EXPECT_EQ(GetFeature(queued.get(), 0x2B, 10), std::vector<int>{-ENODEV});

    // The old node is still open, so its number is still taken.
    fixture->Plug(0);
    const std::string renewed = fixture->NodePath(0);
    EXPECT_NE(renewed, old);
    EXPECT_EQ(NextEvent(watch.get()), Expected(IN_CREATE, Name(renewed)));
    Fd fd(renewed, O_RDWR);
    EXPECT_EQ(GetFeature(fd.get(), 0x2B, 10), Ints(kDefaultInfo));

    // The display's own drop-off comes in on the thread serving the ioctl that caused it.
    fixture->Display(0).SetFaults(sim::SimFaults{std::nullopt, false, true});
    EXPECT_EQ(SetFeature(fd.get(), kErase), 5);
    EXPECT_EQ(NextEvent(watch.get()), Expected(IN_DELETE, Name(renewed)));
    EXPECT_EQ(fixture->NodePath(0), "");

    // Nothing stays behind, open files or not.
    fixture.reset();
    EXPECT_FALSE(IsMountPoint(root + "/fuse"));
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(KernelTest, ALateDisplayArrivesOnItsOwn) {
    HidrawFixture fixture({DisplayOptions("arrive-after=300")}, clock);
    Fd watch(inotify_init1(IN_CLOEXEC));
    inotify_add_watch(watch.get(), fixture.DevRoot().c_str(), IN_CREATE);
    EXPECT_EQ(fixture.NodePath(0), "");
    const Event arrival = NextEvent(watch.get());
    ASSERT_TRUE(arrival);
    EXPECT_EQ(fixture.DevRoot() + "/" + arrival->second, fixture.NodePath(0));
}

TEST_F(KernelTest, TheNodeModeDecidesWhoMayOpenIt) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    const std::string node = fixture.NodePath(0);
    // The path comes through the environment the runner passes.
    const std::vector<std::string> openNode{"/bin/sh", "-c", "exec 3<>\"$PADSMITH_DEV_ROOT/$0\"", Name(node)};
    const RunOptions nobody{fixture.Environment(), true};
    RunResult refused = RunProgram(openNode, nobody);
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("Permission denied"), std::string::npos) << refused.err;

    struct stat before {};
    ASSERT_EQ(stat(node.c_str(), &before), 0);
    EXPECT_EQ(before.st_mode & 07777, 0600u);
    Fd watch(inotify_init1(IN_CLOEXEC));
    inotify_add_watch(watch.get(), fixture.DevRoot().c_str(), IN_ATTRIB);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // ctime must visibly move
    fixture.SetNodeMode(0, 0666);
    EXPECT_EQ(NextEvent(watch.get()), Expected(IN_ATTRIB, Name(node)));
    struct stat after {};
    ASSERT_EQ(stat(node.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_GT(after.st_ctim.tv_sec * 1'000'000'000LL + after.st_ctim.tv_nsec,
              before.st_ctim.tv_sec * 1'000'000'000LL + before.st_ctim.tv_nsec);

    RunResult opened = RunProgram(openNode, nobody);
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
}

TEST_F(KernelTest, AReaderKilledWhileItWaitsEnds) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    RunOptions shortly;
    shortly.timeout = Millis(300);
    // cat waits in read(); SIGKILL must get it out of the file system's hands.
    RunResult killed = RunProgram({"cat", fixture.NodePath(0)}, shortly);
    EXPECT_TRUE(killed.timedOut);
    EXPECT_FALSE(killed.unkillable);
    EXPECT_EQ(killed.signal, SIGKILL);
}

TEST_F(KernelTest, ATeardownEndsTheReadsOfRunningPrograms) {
    auto fixture = std::make_unique<HidrawFixture>(std::vector<sim::SimOptions>{DisplayOptions("")}, clock);
    ChildProcess reader({"cat", fixture->NodePath(0)}, RunOptions{});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // into its read
    fixture.reset();
    RunResult ended = reader.Wait();
    EXPECT_FALSE(ended.timedOut);
    EXPECT_EQ(ended.exitCode, 1);
    EXPECT_NE(ended.err.find("Input/output error"), std::string::npos) << ended.err;
}

// hidraw's ring of 64 keeps one slot free and drops what comes while it is full: the newest.
TEST_F(KernelTest, AFileQueuesAtMost63ReportsAndDropsTheNewest) {
    char mountpoint[] = "/tmp/padsmith-hidraw-server-XXXXXX";
    ASSERT_NE(mkdtemp(mountpoint), nullptr);
    {
        HidrawServer server(mountpoint);
        const int number = server.Add(HidrawDevice{});
        Fd fd(std::string(mountpoint) + "/hidraw" + std::to_string(number), O_RDONLY | O_NONBLOCK);
        for (int i = 0; i < 70; ++i) {
            const uint8_t report[] = {0x2B, static_cast<uint8_t>(i)};
            server.QueueInput(number, report, sizeof report);
        }
        std::vector<int> kept;
        for (std::vector<int> read = ReadReport(fd.get()); read.size() == 2; read = ReadReport(fd.get())) {
            kept.push_back(read[1]);
        }
        ASSERT_EQ(kept.size(), 63u);
        EXPECT_EQ(kept.front(), 0);
        EXPECT_EQ(kept.back(), 62);
    }
    rmdir(mountpoint);
}

}  // namespace
}  // namespace padsmith::test
