#pragma once
// One open top-level collection of a hidraw node. The node carries every collection of its USB
// interface, so the handle knows which one it serves: its usages, and the report IDs of its
// input reports, by which the node's reads are picked.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device/HidPort.h"

namespace padsmith::hidraw {

class HidrawDevice : public HidDevice {
public:
    // Takes `fd`: the node opened read/write and non-blocking, its exclusive lock held. `iface`
    // is the collection it serves; `inputIds` the IDs of that collection's input reports (0 when
    // the node uses none: then every report is the collection's). `sysfsRoot` is where a failed
    // report asks whether the display left (DepartureCheck.h).
    HidrawDevice(int fd, HidInterface iface, std::vector<uint8_t> inputIds, std::string sysfsRoot);
    // Closes the node, which lets its lock go.
    ~HidrawDevice() override;
    HidrawDevice(const HidrawDevice&) = delete;
    HidrawDevice& operator=(const HidrawDevice&) = delete;

    Error LastError() const override;
    bool GetAttributes(uint16_t& vendorId, uint16_t& productId) override;
    bool GetCaps(uint16_t& usagePage, uint16_t& usage) override;
    bool SetFeature(const uint8_t* report, size_t length) override;
    bool GetFeature(uint8_t* report, size_t length) override;
    // poll() on the node and on the stop's eventfd, then read(); reports of the node's other
    // collections are passed over. Ends with kFailed once the node is gone (after the reports
    // already queued), with kCancelled on the stop.
    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead, ReadStop& stop) override;

private:
    void Note(int error, const char* what);
    // A failed feature report: a refusal, a removal, or something else (DepartureCheck.h).
    void NoteReportFailure(int error, const std::string& what);

    const int m_fd;
    const HidInterface m_iface;
    const std::vector<uint8_t> m_inputIds;
    const std::string m_node;  // for the messages
    const std::string m_sysfsRoot;
    mutable std::mutex m_errorMutex;
    Error m_lastError;
};

}  // namespace padsmith::hidraw
