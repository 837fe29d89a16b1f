#include "device/linux/DeviceDirectoryWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace padsmith::hidraw {
namespace {

bool IsHidrawName(const char* name) {
    return std::strncmp(name, "hidraw", 6) == 0;
}

}  // namespace

DeviceDirectoryWatch::DeviceDirectoryWatch(const std::string& directory,
                                           std::function<void(DeviceChange)> onChange)
    : m_onChange(std::move(onChange)) {
    m_inotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const bool watched = m_inotify >= 0 && m_stop >= 0 &&
                         inotify_add_watch(m_inotify, directory.c_str(),
                                           IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) >= 0;
    if (watched) m_thread = std::thread([this] { Run(); });
}

DeviceDirectoryWatch::~DeviceDirectoryWatch() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        ssize_t ignored = write(m_stop, &one, sizeof one);
        (void)ignored;
        m_thread.join();
    }
    if (m_inotify >= 0) close(m_inotify);
    if (m_stop >= 0) close(m_stop);
}

void DeviceDirectoryWatch::Run() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        pollfd waits[2] = {{m_inotify, POLLIN, 0}, {m_stop, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if ((waits[1].revents & POLLIN) != 0) return;
        const ssize_t got = read(m_inotify, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            return;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                m_onChange(DeviceChange::kArrival);  // events were lost: look again
            } else if ((event->mask & IN_IGNORED) != 0) {
                return;  // the directory itself is gone
            } else if (event->len > 0 && IsHidrawName(event->name)) {
                const bool arrived = (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0;
                m_onChange(arrived ? DeviceChange::kArrival : DeviceChange::kRemoval);
            }
        }
    }
}

}  // namespace padsmith::hidraw
