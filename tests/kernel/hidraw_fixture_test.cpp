// The fixture itself, seen through system calls on its files as any program sees a hidraw node;
// no part of the tool is involved. What the tool's runs through the kernel show already
// (padsmith_through_kernel_test.cpp: feature reports, input reports, flock, the node's mode) is
// not shown again here: only how a node goes and what a fixture leaves behind.

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/sim/SimFirmware.h"
#include "tests/kernel/KernelTest.h"
#include "tests/kernel/PrivateMounts.h"

namespace padsmith::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const Bytes kErase{0x29, 'E', 'r', 'a', 's'};
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

TEST_F(KernelTest, AReaderKilledWhileItWaitsEnds) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    RunOptions shortly;
    shortly.timeout = Millis(300);
    // cat waits in read(); SIGKILL must get it out of the file system's hands.
    ProgramRun killed = RunProgram({"cat", fixture.NodePath(0)}, shortly);
    EXPECT_TRUE(killed.timedOut);
    EXPECT_FALSE(killed.unkillable);
    EXPECT_EQ(killed.signal, SIGKILL);
}

TEST_F(KernelTest, ATeardownEndsTheReadsOfRunningPrograms) {
    auto fixture = std::make_unique<HidrawFixture>(std::vector<sim::SimOptions>{DisplayOptions("")}, clock);
    ChildProcess reader({"cat", fixture->NodePath(0)}, RunOptions{});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // into its read
    fixture.reset();
    ProgramRun ended = reader.Wait();
    EXPECT_FALSE(ended.timedOut);
    EXPECT_EQ(ended.exitCode, 1);
    EXPECT_NE(ended.err.find("Input/output error"), std::string::npos) << ended.err;
}

}  // namespace
}  // namespace padsmith::test
