#include "device/sim/UsbipWire.h"

#include <algorithm>

namespace padsmith::sim::usbip {
namespace {

uint32_t Big32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | at[3];
}

void PutBig32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

uint16_t Little16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

// The basic header of a reply: its command and the request's sequence number; devid, direction
// and endpoint are 0 in replies.
Header Reply(uint32_t command, uint32_t seqnum, int32_t status) {
    Header header{};
    PutBig32(&header[0], command);
    PutBig32(&header[4], seqnum);
    PutBig32(&header[20], static_cast<uint32_t>(status));
    return header;
}

}  // namespace

bool ParseCommand(const Header& header, Command& command) {
    command = Command{};
    command.command = Big32(&header[0]);
    command.seqnum = Big32(&header[4]);
    command.direction = Big32(&header[12]);
    command.endpoint = Big32(&header[16]);
    if (command.command == kCmdUnlink) {
        command.unlinkSeqnum = Big32(&header[20]);
        return true;
    }
    if (command.command != kCmdSubmit) return false;
    command.transferLength = Big32(&header[24]);
    const uint8_t* setup = &header[40];
    command.setup = SetupPacket{setup[0], setup[1], Little16(setup + 2), Little16(setup + 4), Little16(setup + 6)};
    return command.transferLength <= kLongestTransfer;
}

std::vector<uint8_t> RetSubmit(const Command& submitted, int32_t status, const std::vector<uint8_t>& inData,
                               uint32_t outTaken) {
    // The host drops a device that returns more than it asked for.
    const size_t inLength = submitted.In() ? std::min<size_t>(inData.size(), submitted.transferLength) : 0;
    const Header header = Reply(kRetSubmit, submitted.seqnum, status);
    std::vector<uint8_t> message(kHeaderSize + inLength);
    std::copy(header.begin(), header.end(), message.begin());
    PutBig32(&message[24], submitted.In() ? static_cast<uint32_t>(inLength)
                                          : std::min(outTaken, submitted.transferLength));
    std::copy_n(inData.begin(), inLength, message.begin() + kHeaderSize);
    return message;
}

Header RetUnlink(const Command& unlink, int32_t status) {
    return Reply(kRetUnlink, unlink.seqnum, status);
}

}  // namespace padsmith::sim::usbip
