#pragma once
// What a hidraw node does, as the kernel's drivers/hid/hidraw.c does it, apart from how its
// files are served: the hidraw ioctls, answered from the device the node serves; one input
// report per read, from each open file's own queue; what poll tells; and the errors of a node
// whose device has gone: ENODEV to ioctls and writes, EIO to reads once the queued reports are
// read, POLLERR|POLLHUP to poll. Nothing here blocks: a read that finds nothing to answer is told
// to wait, and the server (HidrawServer.h) parks it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace padsmith::test {

// What a served node tells of its device, and what takes its feature reports.
struct ServedDevice {
    std::string name;  // HIDIOCGRAWNAME
    std::string phys;  // HIDIOCGRAWPHYS
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::vector<uint8_t> descriptor;
    // Take a feature report, and supply one (`report[0]` holds its ID): true when the device
    // accepted or supplied it. Null: every one is refused, as by a device that stalls them.
    std::function<bool(const uint8_t* report, size_t length)> setFeature;
    std::function<bool(uint8_t* report, size_t length)> getFeature;
    // Length of feature report `id`, report ID included; 0 when the device has none.
    std::function<size_t(uint8_t id)> featureLength;
};

// A call's answer: an error number, or the call's result and the bytes that go back.
struct NodeAnswer {
    int error = 0;  // 0: answered
    int result = 0;
    std::vector<uint8_t> bytes;
};

class HidrawNode {
public:
    explicit HidrawNode(ServedDevice device) : m_device(std::move(device)) {}

    // The device left the bus; a node never comes back (a new one does).
    void Leave() { m_present = false; }
    bool Present() const { return m_present; }

    // Any thread, any lock or none: the device is fixed, and its feature handler may take its
    // time or unplug the display, which comes back to the server. `in` holds `inSize` bytes of
    // the caller's buffer; `outSize` is what the caller takes back.
    NodeAnswer Ioctl(unsigned int command, const uint8_t* in, size_t inSize, size_t outSize) const;
    // An output report of `size` bytes.
    NodeAnswer Write(size_t size) const;

private:
    const ServedDevice m_device;
    std::atomic<bool> m_present{true};
};

// One open file of a node, with the input reports queued for it. Not thread-safe: the server
// calls it under its own lock.
class NodeFile {
public:
    explicit NodeFile(std::shared_ptr<HidrawNode> node) : m_node(std::move(node)) {}

    // Queues at most 63 reports and drops what comes while full: hidraw's ring of 64 keeps one
    // slot empty.
    void QueueInput(const uint8_t* report, size_t length);
    bool HasReport() const { return !m_reports.empty(); }
    // The oldest queued report, cut to `size`: one report per read. HasReport() first.
    std::vector<uint8_t> TakeReport(size_t size);
    // A read that finds no report: EIO once the node is gone, EAGAIN when it may not wait, else
    // 0: it waits.
    int NoReportError(bool nonBlocking) const;
    // What poll tells now.
    unsigned PollEvents() const;

private:
    std::shared_ptr<HidrawNode> m_node;
    std::deque<std::vector<uint8_t>> m_reports;
};

}  // namespace padsmith::test
