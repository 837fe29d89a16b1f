#include "device/linux/HidrawDevice.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>

#include "base/Utf8.h"
#include "device/linux/DepartureCheck.h"
#include "device/ReportIdText.h"

namespace padsmith::hidraw {
namespace {

// The longest report the tool sends or asks for is 38 bytes; feature ioctls go through a copy
// of this size (see SetFeature).
constexpr size_t kLongestFeatureReport = 64;
// A read takes one report whole, or its first bytes: enough for any report of the collection.
constexpr size_t kReadBuffer = 4096;

// A reader's stop, as an eventfd poll() can wait on. The wake owns it: it may run after the
// read it was made for has ended.
struct StopEvent {
    StopEvent() : fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~StopEvent() {
        if (fd >= 0) close(fd);
    }
    StopEvent(const StopEvent&) = delete;
    StopEvent& operator=(const StopEvent&) = delete;
    void Signal() const {
        const uint64_t one = 1;
        ssize_t ignored = write(fd, &one, sizeof one);
        (void)ignored;
    }
    void Drain() const {
        uint64_t count = 0;
        ssize_t ignored = read(fd, &count, sizeof count);
        (void)ignored;
    }
    const int fd;
};

}  // namespace

HidrawDevice::HidrawDevice(int fd, HidInterface iface, std::vector<uint8_t> inputIds, std::string sysfsRoot)
    : m_fd(fd),
      m_iface(std::move(iface)),
      m_inputIds(std::move(inputIds)),
      m_node(ToUtf8(m_iface.path)),
      m_sysfsRoot(std::move(sysfsRoot)) {}

HidrawDevice::~HidrawDevice() {
    close(m_fd);
}

Error HidrawDevice::LastError() const {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_lastError;
}

void HidrawDevice::Note(int error, const char* what) {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_lastError = ErrorFromErrno(error, std::string(what) + " on " + m_node);
}

void HidrawDevice::NoteReportFailure(int error, const std::string& what) {
    // Outside the lock: the look at the bus may wait for a removal in flight.
    Error failure = ReportFailure(error, what + " on " + m_node,
                                  [&] { return LeftTheBus(m_sysfsRoot, m_node, m_iface.instance); });
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_lastError = std::move(failure);
}

bool HidrawDevice::GetAttributes(uint16_t& vendorId, uint16_t& productId) {
    hidraw_devinfo info{};
    if (ioctl(m_fd, HIDIOCGRAWINFO, &info) < 0) {
        Note(errno, "HIDIOCGRAWINFO");
        return false;
    }
    vendorId = static_cast<uint16_t>(info.vendor);
    productId = static_cast<uint16_t>(info.product);
    return true;
}

bool HidrawDevice::GetCaps(uint16_t& usagePage, uint16_t& usage) {
    usagePage = m_iface.usagePage;
    usage = m_iface.usage;
    return true;
}

bool HidrawDevice::SetFeature(const uint8_t* report, size_t length) {
    if (report == nullptr || length == 0 || length > kLongestFeatureReport) return false;
    // The request is read and written (_IOWR): a file system that serves the node, as the test
    // fixture's does, writes the buffer back. So it goes from a copy, never from the caller's
    // buffer, which may be read-only.
    std::array<uint8_t, kLongestFeatureReport> copy;
    std::copy(report, report + length, copy.begin());
    if (ioctl(m_fd, HIDIOCSFEATURE(length), copy.data()) < 0) {
        const int error = errno;
        NoteReportFailure(error, "HIDIOCSFEATURE report " + ReportIdText(report[0]));
        return false;
    }
    return true;
}

bool HidrawDevice::GetFeature(uint8_t* report, size_t length) {
    if (report == nullptr || length == 0) return false;
    const uint8_t id = report[0];
    if (ioctl(m_fd, HIDIOCGFEATURE(length), report) < 0) {
        const int error = errno;
        NoteReportFailure(error, "HIDIOCGFEATURE report " + ReportIdText(id));
        return false;
    }
    return true;
}

ReadStatus HidrawDevice::ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead, ReadStop& stop) {
    // A reader thread reads report after report: its stop's eventfd is made once per thread.
    thread_local std::shared_ptr<StopEvent> stopped = std::make_shared<StopEvent>();
    if (stopped->fd < 0 || report == nullptr || length == 0) return ReadStatus::kFailed;
    stopped->Drain();  // a late wake of an earlier read's stop
    stop.SetWake([wake = stopped] { wake->Signal(); });
    const bool anyReport = std::find(m_inputIds.begin(), m_inputIds.end(), 0) != m_inputIds.end();
    std::array<uint8_t, kReadBuffer> buffer;
    ReadStatus status = ReadStatus::kFailed;
    for (;;) {
        if (stop.Requested()) {
            status = ReadStatus::kCancelled;
            break;
        }
        pollfd waits[2] = {{m_fd, POLLIN, 0}, {stopped->fd, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            Note(errno, "poll");
            break;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            stopped->Drain();  // the loop's first check tells whether it was this read's stop
            continue;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            const ssize_t got = read(m_fd, buffer.data(), buffer.size());
            if (got < 0) {
                if (errno == EAGAIN || errno == EINTR) continue;
                Note(errno, "read");
                break;
            }
            const bool ours = got > 0 && (anyReport || std::find(m_inputIds.begin(), m_inputIds.end(),
                                                                  buffer[0]) != m_inputIds.end());
            if (!ours) continue;  // another collection's report
            bytesRead = std::min(static_cast<size_t>(got), length);
            std::copy(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(bytesRead), report);
            status = ReadStatus::kReport;
            break;
        }
        if ((waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            Note(ENODEV, "poll");
            break;
        }
    }
    stop.SetWake(nullptr);
    return status;
}

}  // namespace padsmith::hidraw
