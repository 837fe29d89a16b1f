#pragma once
// The USB/IP wire format, as the kernel's vhci-hcd speaks it to a device (the kernel's
// Documentation/usb/usbip_protocol.rst): every message starts with a 48-byte header of
// big-endian 32-bit fields. The host sends CMD_SUBMIT (a URB: the setup packet of a control
// transfer, then the data of an OUT transfer) and CMD_UNLINK (cancel a pending one); the device
// answers each with RET_SUBMIT (status, the length done, then the data of an IN transfer) or
// RET_UNLINK.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace padsmith::sim::usbip {

inline constexpr size_t kHeaderSize = 48;
inline constexpr uint32_t kCmdSubmit = 0x0001;
inline constexpr uint32_t kCmdUnlink = 0x0002;
inline constexpr uint32_t kRetSubmit = 0x0003;
inline constexpr uint32_t kRetUnlink = 0x0004;
inline constexpr uint32_t kDirectionIn = 1;
// Statuses are the kernel's negative errno values: a stall, and a URB unlinked while pending.
inline constexpr int32_t kStatusStall = -32;       // -EPIPE
inline constexpr int32_t kStatusUnlinked = -104;   // -ECONNRESET
// The largest transfer a display's host asks for; more is a broken stream.
inline constexpr uint32_t kLongestTransfer = 4096;

using Header = std::array<uint8_t, kHeaderSize>;

// The 8 bytes of a control transfer's setup stage (little-endian inside).
struct SetupPacket {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
};

// A message from the host.
struct Command {
    uint32_t command = 0;
    uint32_t seqnum = 0;
    uint32_t direction = 0;
    uint32_t endpoint = 0;
    // CMD_SUBMIT: the data of an OUT transfer that follows the header, or the most an IN
    // transfer takes back.
    uint32_t transferLength = 0;
    SetupPacket setup;
    uint32_t unlinkSeqnum = 0;  // CMD_UNLINK: the CMD_SUBMIT to cancel
    bool In() const { return direction == kDirectionIn; }
};

// False when the header is neither command, or asks for a transfer longer than kLongestTransfer.
bool ParseCommand(const Header& header, Command& command);

// RET_SUBMIT for `submitted`: the status, the bytes of an IN transfer (at most its length) or the
// number of OUT bytes taken, the data after the header.
std::vector<uint8_t> RetSubmit(const Command& submitted, int32_t status, const std::vector<uint8_t>& inData,
                               uint32_t outTaken);
// RET_UNLINK for `unlink`: -ECONNRESET when the URB was still pending, 0 when it was answered.
Header RetUnlink(const Command& unlink, int32_t status);

}  // namespace padsmith::sim::usbip
