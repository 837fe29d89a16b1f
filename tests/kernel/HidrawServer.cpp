#define FUSE_USE_VERSION 35
#include "tests/kernel/HidrawServer.h"

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <stdexcept>
#include <utility>

namespace padsmith::test {
namespace {

// hidraw's ring holds HIDRAW_BUFFER_SIZE slots and is full when one is left.
constexpr size_t kQueuedReports = HIDRAW_BUFFER_SIZE - 1;

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

void ReplyString(fuse_req_t request, const std::string& text, size_t outSize) {
    // The string and its terminator, cut to the caller's buffer, as hidraw copies them.
    const size_t length = std::min(text.size() + 1, outSize);
    fuse_reply_ioctl(request, static_cast<int>(length), text.c_str(), length);
}

}  // namespace

struct HidrawServer::Node {
    int number = 0;
    uint64_t ino = 0;
    HidrawDevice device;  // fixed once added: read without the lock
    mode_t mode = 0600;
    timespec created{};
    timespec changed{};
    bool present = true;
    int openFiles = 0;
};

struct HidrawServer::OpenFile {
    struct ParkedRead {
        fuse_req_t request;
        size_t size;
        bool interrupted;
    };
    std::shared_ptr<Node> node;
    std::deque<std::vector<uint8_t>> reports;
    std::deque<ParkedRead> reads;
    fuse_pollhandle* poller = nullptr;  // set while a poll waits for this file
};

HidrawServer::HidrawServer(const std::string& mountpoint) : m_mounted(Now()) {
    fuse_lowlevel_ops ops{};
    ops.lookup = [](fuse_req_t r, fuse_ino_t parent, const char* name) { Self(r).Lookup(r, parent, name); };
    ops.getattr = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info*) { Self(r).GetAttr(r, ino); };
    ops.readdir = [](fuse_req_t r, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*) {
        Self(r).ReadDir(r, ino, size, offset);
    };
    ops.open = [](fuse_req_t r, fuse_ino_t ino, fuse_file_info* fi) { Self(r).Open(r, ino, fi); };
    ops.read = [](fuse_req_t r, fuse_ino_t, size_t size, off_t, fuse_file_info* fi) { Self(r).Read(r, size, fi); };
    ops.write = [](fuse_req_t r, fuse_ino_t, const char*, size_t size, off_t, fuse_file_info* fi) {
        Self(r).Write(r, size, fi);
    };
    ops.release = [](fuse_req_t r, fuse_ino_t, fuse_file_info* fi) { Self(r).Release(r, fi); };
    ops.poll = [](fuse_req_t r, fuse_ino_t, fuse_file_info* fi, fuse_pollhandle* ph) { Self(r).Poll(r, fi, ph); };
    ops.ioctl = [](fuse_req_t r, fuse_ino_t, unsigned int cmd, void*, fuse_file_info* fi, unsigned,
                   const void* in, size_t inSize, size_t outSize) { Self(r).Ioctl(r, cmd, fi, in, inSize, outSize); };

    // allow_other: others reach the files at all; default_permissions: the kernel then checks
    // the mode against them, as for a device node.
    std::string arguments[] = {"padsmith-hidraw", "-o",
                               "allow_other,default_permissions,fsname=padsmith-hidraw,subtype=hidraw"};
    char* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data()};
    fuse_args args = FUSE_ARGS_INIT(3, argv);
    m_session = fuse_session_new(&args, &ops, sizeof ops, this);
    fuse_opt_free_args(&args);
    if (m_session == nullptr) throw std::runtime_error("fuse_session_new failed");
    if (fuse_session_mount(m_session, mountpoint.c_str()) != 0) {
        fuse_session_destroy(m_session);
        throw std::runtime_error("cannot mount FUSE on " + mountpoint);
    }
    // A request can be withdrawn between poll and read (its caller was killed): the read must
    // not block then. (libfuse opens /dev/fuse close-on-exec: children never hold the connection.)
    const int fd = fuse_session_fd(m_session);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_serving = std::thread([this] { Serve(); });
}

HidrawServer::~HidrawServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    Wake();
    m_serving.join();
    for (auto& entry : m_files) {
        if (entry.second->poller != nullptr) fuse_pollhandle_destroy(entry.second->poller);
    }
    // Closes /dev/fuse first, which aborts the connection: calls still in the kernel fail.
    fuse_session_unmount(m_session);
    fuse_session_destroy(m_session);
    close(m_wake);
}

HidrawServer& HidrawServer::Self(fuse_req_t request) {
    return *static_cast<HidrawServer*>(fuse_req_userdata(request));
}

void HidrawServer::Wake() {
    const uint64_t one = 1;
    (void)!write(m_wake, &one, sizeof one);
}

void HidrawServer::Serve() {
    fuse_buf buffer{};
    pollfd fds[2] = {{fuse_session_fd(m_session), POLLIN, 0}, {m_wake, POLLIN, 0}};
    bool stopping = false;
    while (!stopping) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            (void)!read(m_wake, &count, sizeof count);
        }
        if (fds[0].revents & POLLIN) {
            const int received = fuse_session_receive_buf(m_session, &buffer);
            if (received > 0) {
                fuse_session_process_buf(m_session, &buffer);
            } else if (received == 0 || (received != -EINTR && received != -EAGAIN)) {
                break;  // 0: the connection is gone
            }
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            break;
        }
        Answer();
        std::lock_guard<std::mutex> lock(m_mutex);
        stopping = m_stopping;
    }
    // Whatever is still parked ends now, also when the connection went first.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    Answer();
    std::free(buffer.mem);
}

void HidrawServer::Answer() {
    struct Reply {
        fuse_req_t request;
        int error;
        std::vector<uint8_t> bytes;
    };
    std::vector<Reply> replies;
    std::vector<fuse_pollhandle*> pollers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_files) {
            OpenFile& file = *entry.second;
            for (auto read = file.reads.begin(); read != file.reads.end();) {
                if (!read->interrupted) {
                    ++read;
                    continue;
                }
                replies.push_back({read->request, EINTR, {}});
                read = file.reads.erase(read);
            }
            while (!file.reads.empty() && !file.reports.empty()) {
                std::vector<uint8_t> report = std::move(file.reports.front());
                file.reports.pop_front();
                report.resize(std::min(report.size(), file.reads.front().size));
                replies.push_back({file.reads.front().request, 0, std::move(report)});
                file.reads.pop_front();
            }
            const bool gone = !file.node->present;
            if (gone || m_stopping) {
                for (const auto& read : file.reads) replies.push_back({read.request, EIO, {}});
                file.reads.clear();
            }
            if (file.poller != nullptr && (gone || !file.reports.empty())) {
                pollers.push_back(file.poller);
                file.poller = nullptr;
            }
        }
    }
    for (const Reply& reply : replies) {
        if (reply.error != 0) {
            fuse_reply_err(reply.request, reply.error);
        } else {
            fuse_reply_buf(reply.request, reinterpret_cast<const char*>(reply.bytes.data()), reply.bytes.size());
        }
    }
    for (fuse_pollhandle* poller : pollers) {
        fuse_lowlevel_notify_poll(poller);
        fuse_pollhandle_destroy(poller);
    }
}

int HidrawServer::Add(HidrawDevice device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int number = 0; number < HIDRAW_MAX_DEVICES; ++number) {
        const bool taken = std::any_of(m_nodes.begin(), m_nodes.end(), [&](const auto& entry) {
            const Node& node = *entry.second;
            return node.number == number && (node.present || node.openFiles > 0);
        });
        if (taken) continue;
        auto node = std::make_shared<Node>();
        node->number = number;
        node->ino = m_nextIno++;
        node->device = std::move(device);
        node->created = node->changed = Now();
        m_nodes[node->ino] = node;
        return number;
    }
    throw std::runtime_error("every hidraw number is taken");
}

std::shared_ptr<HidrawServer::Node> HidrawServer::PresentNode(int number) {
    for (const auto& entry : m_nodes) {
        if (entry.second->present && entry.second->number == number) return entry.second;
    }
    return nullptr;
}

void HidrawServer::Remove(int number) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::shared_ptr<Node> node = PresentNode(number);
        if (!node) return;
        node->present = false;
    }
    Wake();
}

void HidrawServer::QueueInput(int number, const uint8_t* report, size_t length) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::shared_ptr<Node> node = PresentNode(number);
        if (!node) return;
        for (auto& entry : m_files) {
            OpenFile& file = *entry.second;
            if (file.node != node || file.reports.size() == kQueuedReports) continue;
            file.reports.emplace_back(report, report + length);
        }
    }
    Wake();
}

void HidrawServer::SetMode(int number, mode_t mode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::shared_ptr<Node> node = PresentNode(number)) {
        node->mode = mode & 07777;
        node->changed = Now();
    }
}

void HidrawServer::Lookup(fuse_req_t request, uint64_t parent, const char* name) {
    fuse_entry_param entry{};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& item : m_nodes) {
            const Node& node = *item.second;
            if (parent != FUSE_ROOT_ID || !node.present || "hidraw" + std::to_string(node.number) != name) continue;
            entry.ino = node.ino;
            entry.attr.st_ino = node.ino;
            entry.attr.st_mode = S_IFREG | node.mode;
            entry.attr.st_nlink = 1;
            entry.attr.st_mtim = entry.attr.st_atim = node.created;
            entry.attr.st_ctim = node.changed;
            break;
        }
    }
    // Timeouts stay 0: the kernel asks again every time, so a mode change counts at once.
    if (entry.ino == 0) {
        fuse_reply_err(request, ENOENT);
    } else {
        fuse_reply_entry(request, &entry);
    }
}

void HidrawServer::GetAttr(fuse_req_t request, uint64_t ino) {
    struct stat attributes{};
    attributes.st_ino = ino;
    if (ino == FUSE_ROOT_ID) {
        attributes.st_mode = S_IFDIR | 0755;
        attributes.st_nlink = 2;
        attributes.st_mtim = attributes.st_atim = attributes.st_ctim = m_mounted;
    } else {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_nodes.find(ino);
        if (found == m_nodes.end()) {
            fuse_reply_err(request, ENOENT);
            return;
        }
        const Node& node = *found->second;
        attributes.st_mode = S_IFREG | node.mode;
        attributes.st_nlink = 1;
        attributes.st_mtim = attributes.st_atim = node.created;
        attributes.st_ctim = node.changed;
    }
    fuse_reply_attr(request, &attributes, 0);
}

void HidrawServer::ReadDir(fuse_req_t request, uint64_t ino, size_t size, off_t offset) {
    if (ino != FUSE_ROOT_ID) {
        fuse_reply_err(request, ENOTDIR);
        return;
    }
    std::vector<std::pair<std::string, uint64_t>> names{{".", FUSE_ROOT_ID}, {"..", FUSE_ROOT_ID}};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& entry : m_nodes) {
            if (entry.second->present) names.emplace_back("hidraw" + std::to_string(entry.second->number), entry.first);
        }
    }
    // Entry i's offset is i + 1, where the next call starts.
    std::vector<char> buffer(size);
    size_t used = 0;
    for (size_t i = static_cast<size_t>(offset); i < names.size(); ++i) {
        struct stat attributes{};
        attributes.st_ino = names[i].second;
        attributes.st_mode = i < 2 ? S_IFDIR : S_IFREG;
        const size_t needed = fuse_add_direntry(request, buffer.data() + used, size - used, names[i].first.c_str(),
                                                &attributes, static_cast<off_t>(i + 1));
        if (needed > size - used) break;
        used += needed;
    }
    fuse_reply_buf(request, buffer.data(), used);
}

void HidrawServer::Open(fuse_req_t request, uint64_t ino, fuse_file_info* info) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_nodes.find(ino);
        if (found == m_nodes.end() || !found->second->present) {
            fuse_reply_err(request, ENODEV);
            return;
        }
        auto file = std::make_unique<OpenFile>();
        file->node = found->second;
        ++file->node->openFiles;
        info->fh = m_nextFile++;
        m_files[info->fh] = std::move(file);
    }
    // Every read reaches the server with the caller's size; there is no position.
    info->direct_io = 1;
    info->nonseekable = 1;
    fuse_reply_open(request, info);
}

void HidrawServer::Read(fuse_req_t request, size_t size, fuse_file_info* info) {
    std::vector<uint8_t> report;
    int error = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        OpenFile& file = *m_files.at(info->fh);
        if (file.reads.empty() && !file.reports.empty()) {
            report = std::move(file.reports.front());
            file.reports.pop_front();
            report.resize(std::min(report.size(), size));
        } else if (!file.node->present) {
            error = EIO;
        } else if (info->flags & O_NONBLOCK) {
            error = EAGAIN;
        } else {
            file.reads.push_back({request, size, false});
        }
    }
    if (error != 0) {
        fuse_reply_err(request, error);
    } else if (!report.empty()) {
        fuse_reply_buf(request, reinterpret_cast<const char*>(report.data()), report.size());
    } else {
        // Parked. Only this thread answers reads, so the request is still ours here; when it was
        // interrupted already, Interrupted runs now.
        fuse_req_interrupt_func(request, [](fuse_req_t r, void* self) {
            static_cast<HidrawServer*>(self)->Interrupted(r);
        }, this);
    }
}

void HidrawServer::Interrupted(fuse_req_t request) {
    // Called with libfuse's lock on the request held: mark it, and let Answer reply.
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_files) {
        for (auto& read : entry.second->reads) {
            if (read.request == request) read.interrupted = true;
        }
    }
}

void HidrawServer::Write(fuse_req_t request, size_t size, fuse_file_info* info) {
    bool present;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        present = m_files.at(info->fh)->node->present;
    }
    // An output report: the display has no interrupt-out endpoint and declares none, so the
    // class driver's SET_REPORT fallback is stalled.
    fuse_reply_err(request, !present ? ENODEV : size < 2 ? EINVAL : EPIPE);
}

void HidrawServer::Release(fuse_req_t request, fuse_file_info* info) {
    std::unique_ptr<OpenFile> file;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_files.find(info->fh);
        file = std::move(found->second);
        m_files.erase(found);
        --file->node->openFiles;
    }
    if (file->poller != nullptr) fuse_pollhandle_destroy(file->poller);
    fuse_reply_err(request, 0);
}

void HidrawServer::Poll(fuse_req_t request, fuse_file_info* info, fuse_pollhandle* handle) {
    unsigned events = POLLOUT | POLLWRNORM;  // hidraw is always writable
    fuse_pollhandle* unused = handle;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        OpenFile& file = *m_files.at(info->fh);
        if (!file.reports.empty()) events |= POLLIN | POLLRDNORM;
        if (!file.node->present) events |= POLLERR | POLLHUP;
        if (handle != nullptr && (events & (POLLIN | POLLHUP)) == 0) {
            // The caller will wait: Answer wakes it when a report comes or the node goes.
            unused = file.poller;
            file.poller = handle;
        }
    }
    if (unused != nullptr) fuse_pollhandle_destroy(unused);
    fuse_reply_poll(request, events);
}

void HidrawServer::Ioctl(fuse_req_t request, unsigned int command, fuse_file_info* info, const void* in,
                         size_t inSize, size_t outSize) {
    std::shared_ptr<Node> node;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        node = m_files.at(info->fh)->node;
        if (!node->present) {
            fuse_reply_err(request, ENODEV);
            return;
        }
    }
    const HidrawDevice& device = node->device;
    const auto* input = static_cast<const uint8_t*>(in);
    const size_t length = _IOC_SIZE(command);

    // The commands with a fixed size are matched whole, the others by type and number, in
    // hidraw_ioctl's order.
    if (command == HIDIOCGRDESCSIZE) {
        const int size = static_cast<int>(device.descriptor.size());
        fuse_reply_ioctl(request, 0, &size, sizeof size);
    } else if (command == HIDIOCGRDESC) {
        // The caller's size field never reaches a restricted ioctl: the whole descriptor goes
        // back, with its size.
        hidraw_report_descriptor descriptor{};
        descriptor.size = static_cast<uint32_t>(device.descriptor.size());
        std::copy(device.descriptor.begin(), device.descriptor.end(), descriptor.value);
        fuse_reply_ioctl(request, 0, &descriptor, std::min(sizeof descriptor, outSize));
    } else if (command == HIDIOCGRAWINFO) {
        hidraw_devinfo devinfo{BUS_USB, static_cast<int16_t>(device.vendorId), static_cast<int16_t>(device.productId)};
        fuse_reply_ioctl(request, 0, &devinfo, sizeof devinfo);
    } else if (_IOC_TYPE(command) != 'H') {
        fuse_reply_err(request, EINVAL);
    } else if (_IOC_NR(command) == _IOC_NR(HIDIOCSFEATURE(0))) {
        if (length < 2 || inSize < length) {
            fuse_reply_err(request, EINVAL);
        } else if (device.features && device.features->SetFeature(input, length)) {
            fuse_reply_ioctl(request, static_cast<int>(length), nullptr, 0);
        } else {
            fuse_reply_err(request, EPIPE);  // the device stalled the request
        }
    } else if (_IOC_NR(command) == _IOC_NR(HIDIOCGFEATURE(0))) {
        // The device answers with its whole report; the transfer takes what fits.
        const size_t full = device.featureLength && inSize >= 1 ? device.featureLength(input[0]) : 0;
        std::vector<uint8_t> reply(std::max<size_t>(full, 1), 0);
        reply[0] = inSize >= 1 ? input[0] : 0;
        if (length < 2) {
            fuse_reply_err(request, EINVAL);
        } else if (full != 0 && device.features && device.features->GetFeature(reply.data(), full)) {
            const size_t copied = std::min(full, length);
            fuse_reply_ioctl(request, static_cast<int>(copied), reply.data(), copied);
        } else {
            fuse_reply_err(request, EPIPE);
        }
    } else if (_IOC_NR(command) >= 0x09 && _IOC_NR(command) <= 0x0C) {
        // Input and output reports by control transfer: the display stalls them.
        fuse_reply_err(request, length < 2 ? EINVAL : EPIPE);
    } else if (_IOC_DIR(command) != _IOC_READ) {
        fuse_reply_err(request, EINVAL);
    } else if (_IOC_NR(command) == _IOC_NR(HIDIOCGRAWNAME(0))) {
        ReplyString(request, device.name, length);
    } else if (_IOC_NR(command) == _IOC_NR(HIDIOCGRAWPHYS(0))) {
        ReplyString(request, device.phys, length);
    } else if (_IOC_NR(command) == _IOC_NR(HIDIOCGRAWUNIQ(0))) {
        ReplyString(request, "", length);
    } else {
        fuse_reply_err(request, ENOTTY);
    }
}

}  // namespace padsmith::test
