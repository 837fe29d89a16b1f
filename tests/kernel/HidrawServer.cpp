#define FUSE_USE_VERSION 35
#include "tests/kernel/HidrawServer.h"

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <stdexcept>
#include <utility>
#include <vector>

namespace padsmith::test {
namespace {

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// What a waiting poller waits for: a report to read, or the node's end.
bool WakesPoller(unsigned events) {
    return (events & (POLLIN | POLLHUP)) != 0;
}

}  // namespace

// A node's place in the file system.
struct HidrawServer::Entry {
    int number = 0;
    uint64_t ino = 0;
    std::shared_ptr<HidrawNode> node;
    mode_t mode = 0600;
    timespec created{};
    timespec changed{};
    int openFiles = 0;
};

struct HidrawServer::OpenFile {
    struct ParkedRead {
        fuse_req_t request;
        size_t size;
        bool interrupted;
    };
    explicit OpenFile(std::shared_ptr<Entry> entryIn) : entry(std::move(entryIn)), node(entry->node) {}
    std::shared_ptr<Entry> entry;
    NodeFile node;
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
        for (auto& item : m_files) {
            OpenFile& file = *item.second;
            for (auto read = file.reads.begin(); read != file.reads.end();) {
                if (!read->interrupted) {
                    ++read;
                    continue;
                }
                replies.push_back({read->request, EINTR, {}});
                read = file.reads.erase(read);
            }
            while (!file.reads.empty() && file.node.HasReport()) {
                replies.push_back({file.reads.front().request, 0, file.node.TakeReport(file.reads.front().size)});
                file.reads.pop_front();
            }
            // Parked reads never came from a file that may not wait.
            const int error = m_stopping ? EIO : file.node.NoReportError(false);
            if (error != 0) {
                for (const auto& read : file.reads) replies.push_back({read.request, error, {}});
                file.reads.clear();
            }
            if (file.poller != nullptr && WakesPoller(file.node.PollEvents())) {
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

int HidrawServer::Add(ServedDevice device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int number = 0; number < HIDRAW_MAX_DEVICES; ++number) {
        const bool taken = std::any_of(m_entries.begin(), m_entries.end(), [&](const auto& item) {
            const Entry& entry = *item.second;
            return entry.number == number && (entry.node->Present() || entry.openFiles > 0);
        });
        if (taken) continue;
        auto entry = std::make_shared<Entry>();
        entry->number = number;
        entry->ino = m_nextIno++;
        entry->node = std::make_shared<HidrawNode>(std::move(device));
        entry->created = entry->changed = Now();
        m_entries[entry->ino] = entry;
        return number;
    }
    throw std::runtime_error("every hidraw number is taken");
}

std::shared_ptr<HidrawServer::Entry> HidrawServer::PresentEntry(int number) {
    for (const auto& item : m_entries) {
        if (item.second->node->Present() && item.second->number == number) return item.second;
    }
    return nullptr;
}

void HidrawServer::Remove(int number) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::shared_ptr<Entry> entry = PresentEntry(number);
        if (!entry) return;
        entry->node->Leave();
    }
    Wake();
}

void HidrawServer::QueueInput(int number, const uint8_t* report, size_t length) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::shared_ptr<Entry> entry = PresentEntry(number);
        if (!entry) return;
        for (auto& item : m_files) {
            if (item.second->entry == entry) item.second->node.QueueInput(report, length);
        }
    }
    Wake();
}

void HidrawServer::SetMode(int number, mode_t mode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::shared_ptr<Entry> entry = PresentEntry(number)) {
        entry->mode = mode & 07777;
        entry->changed = Now();
    }
}

void HidrawServer::Lookup(fuse_req_t request, uint64_t parent, const char* name) {
    fuse_entry_param found{};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& item : m_entries) {
            const Entry& entry = *item.second;
            if (parent != FUSE_ROOT_ID || !entry.node->Present() || "hidraw" + std::to_string(entry.number) != name) {
                continue;
            }
            found.ino = entry.ino;
            found.attr.st_ino = entry.ino;
            found.attr.st_mode = S_IFREG | entry.mode;
            found.attr.st_nlink = 1;
            found.attr.st_mtim = found.attr.st_atim = entry.created;
            found.attr.st_ctim = entry.changed;
            break;
        }
    }
    // Timeouts stay 0: the kernel asks again every time, so a mode change counts at once.
    if (found.ino == 0) {
        fuse_reply_err(request, ENOENT);
    } else {
        fuse_reply_entry(request, &found);
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
        auto found = m_entries.find(ino);
        if (found == m_entries.end()) {
            fuse_reply_err(request, ENOENT);
            return;
        }
        const Entry& entry = *found->second;
        attributes.st_mode = S_IFREG | entry.mode;
        attributes.st_nlink = 1;
        attributes.st_mtim = attributes.st_atim = entry.created;
        attributes.st_ctim = entry.changed;
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
        for (const auto& item : m_entries) {
            if (item.second->node->Present()) names.emplace_back("hidraw" + std::to_string(item.second->number), item.first);
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
        auto found = m_entries.find(ino);
        if (found == m_entries.end() || !found->second->node->Present()) {
            fuse_reply_err(request, ENODEV);
            return;
        }
        ++found->second->openFiles;
        info->fh = m_nextFile++;
        m_files[info->fh] = std::make_unique<OpenFile>(found->second);
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
        // A read never overtakes one parked before it.
        if (file.reads.empty() && file.node.HasReport()) {
            report = file.node.TakeReport(size);
        } else {
            error = file.node.NoReportError((info->flags & O_NONBLOCK) != 0);
            if (error == 0) file.reads.push_back({request, size, false});
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
    for (auto& item : m_files) {
        for (auto& read : item.second->reads) {
            if (read.request == request) read.interrupted = true;
        }
    }
}

void HidrawServer::Write(fuse_req_t request, size_t size, fuse_file_info* info) {
    std::shared_ptr<HidrawNode> node;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        node = m_files.at(info->fh)->entry->node;
    }
    fuse_reply_err(request, node->Write(size).error);
}

void HidrawServer::Release(fuse_req_t request, fuse_file_info* info) {
    std::unique_ptr<OpenFile> file;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_files.find(info->fh);
        file = std::move(found->second);
        m_files.erase(found);
        --file->entry->openFiles;
    }
    if (file->poller != nullptr) fuse_pollhandle_destroy(file->poller);
    fuse_reply_err(request, 0);
}

void HidrawServer::Poll(fuse_req_t request, fuse_file_info* info, fuse_pollhandle* handle) {
    unsigned events = 0;
    fuse_pollhandle* unused = handle;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        OpenFile& file = *m_files.at(info->fh);
        events = file.node.PollEvents();
        if (handle != nullptr && !WakesPoller(events)) {
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
    std::shared_ptr<HidrawNode> node;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        node = m_files.at(info->fh)->entry->node;
    }
    // Answered without the lock: the display's feature handler may unplug it, which comes back
    // here through Remove.
    const NodeAnswer answer = node->Ioctl(command, static_cast<const uint8_t*>(in), inSize, outSize);
    if (answer.error != 0) {
        fuse_reply_err(request, answer.error);
    } else {
        fuse_reply_ioctl(request, answer.result, answer.bytes.data(), answer.bytes.size());
    }
}

}  // namespace padsmith::test
