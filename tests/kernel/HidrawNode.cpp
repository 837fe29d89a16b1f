#include "tests/kernel/HidrawNode.h"

#include <linux/hidraw.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>

namespace padsmith::test {
namespace {

// hidraw's ring holds HIDRAW_BUFFER_SIZE slots and is full when one is left.
constexpr size_t kQueuedReports = HIDRAW_BUFFER_SIZE - 1;

NodeAnswer Failed(int error) {
    return NodeAnswer{error, 0, {}};
}

template <typename T>
NodeAnswer StructReply(const T& value, size_t size = sizeof(T)) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    return NodeAnswer{0, 0, std::vector<uint8_t>(bytes, bytes + size)};
}

NodeAnswer StringReply(const std::string& text, size_t outSize) {
    // The string and its terminator, cut to the caller's buffer, as hidraw copies them.
    const size_t length = std::min(text.size() + 1, outSize);
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    return NodeAnswer{0, static_cast<int>(length), std::vector<uint8_t>(bytes, bytes + length)};
}

}  // namespace

NodeAnswer HidrawNode::Ioctl(unsigned int command, const uint8_t* in, size_t inSize, size_t outSize) const {
    if (!m_present) return Failed(ENODEV);
    const ServedDevice& device = m_device;
    const size_t length = _IOC_SIZE(command);

    // The commands with a fixed size are matched whole, the others by type and number, in
    // hidraw_ioctl's order.
    if (command == HIDIOCGRDESCSIZE) {
        return StructReply(static_cast<int>(device.descriptor.size()));
    }
    if (command == HIDIOCGRDESC) {
        // The caller's size field never reaches a restricted ioctl: the whole descriptor goes
        // back, with its size.
        hidraw_report_descriptor descriptor{};
        descriptor.size = static_cast<uint32_t>(device.descriptor.size());
        std::copy(device.descriptor.begin(), device.descriptor.end(), descriptor.value);
        return StructReply(descriptor, std::min(sizeof descriptor, outSize));
    }
    if (command == HIDIOCGRAWINFO) {
        return StructReply(hidraw_devinfo{BUS_USB, static_cast<int16_t>(device.vendorId),
                                     static_cast<int16_t>(device.productId)});
    }
    if (_IOC_TYPE(command) != 'H') return Failed(EINVAL);
    if (_IOC_NR(command) == _IOC_NR(HIDIOCSFEATURE(0))) {
        if (length < 2 || inSize < length) return Failed(EINVAL);
        if (!device.setFeature || !device.setFeature(in, length)) return Failed(EPIPE);  // stalled
        return NodeAnswer{0, static_cast<int>(length), {}};
    }
    if (_IOC_NR(command) == _IOC_NR(HIDIOCGFEATURE(0))) {
        // The device answers with its whole report; the transfer takes what fits.
        const size_t full = device.featureLength && inSize >= 1 ? device.featureLength(in[0]) : 0;
        std::vector<uint8_t> reply(std::max<size_t>(full, 1), 0);
        reply[0] = inSize >= 1 ? in[0] : 0;
        if (length < 2) return Failed(EINVAL);
        if (full == 0 || !device.getFeature || !device.getFeature(reply.data(), full)) return Failed(EPIPE);
        reply.resize(std::min(full, length));
        return NodeAnswer{0, static_cast<int>(reply.size()), std::move(reply)};
    }
    if (_IOC_NR(command) >= 0x09 && _IOC_NR(command) <= 0x0C) {
        // Input and output reports by control transfer: the display stalls them.
        return Failed(length < 2 ? EINVAL : EPIPE);
    }
    if (_IOC_DIR(command) != _IOC_READ) return Failed(EINVAL);
    if (_IOC_NR(command) == _IOC_NR(HIDIOCGRAWNAME(0))) return StringReply(device.name, length);
    if (_IOC_NR(command) == _IOC_NR(HIDIOCGRAWPHYS(0))) return StringReply(device.phys, length);
    if (_IOC_NR(command) == _IOC_NR(HIDIOCGRAWUNIQ(0))) return StringReply("", length);
    return Failed(ENOTTY);
}

NodeAnswer HidrawNode::Write(size_t size) const {
    // An output report: the display has no interrupt-out endpoint and declares none, so the
    // class driver's SET_REPORT fallback is stalled.
    return Failed(!m_present ? ENODEV : size < 2 ? EINVAL : EPIPE);
}

void NodeFile::QueueInput(const uint8_t* report, size_t length) {
    if (m_reports.size() < kQueuedReports) m_reports.emplace_back(report, report + length);
}

std::vector<uint8_t> NodeFile::TakeReport(size_t size) {
    std::vector<uint8_t> report = std::move(m_reports.front());
    m_reports.pop_front();
    report.resize(std::min(report.size(), size));
    return report;
}

int NodeFile::NoReportError(bool nonBlocking) const {
    if (!m_node->Present()) return EIO;
    return nonBlocking ? EAGAIN : 0;
}

unsigned NodeFile::PollEvents() const {
    unsigned events = POLLOUT | POLLWRNORM;  // hidraw is always writable
    if (!m_reports.empty()) events |= POLLIN | POLLRDNORM;
    if (!m_node->Present()) events |= POLLERR | POLLHUP;
    return events;
}

}  // namespace padsmith::test
