// The simulated display as a USB device: the USB/IP messages it reads and writes, and its
// answers to a host's control transfers (descriptors, feature reports, faults), as vhci-hcd and
// usbhid would send them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/sim/DisplayDescriptor.h"
#include "device/sim/SimFlashFile.h"
#include "device/sim/UsbDisplay.h"
#include "device/sim/UsbipWire.h"

namespace padsmith::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using usbip::SetupPacket;

usbip::Header HeaderOf(std::vector<uint32_t> fields, Bytes setup = {}) {
    usbip::Header header{};
    for (size_t i = 0; i < fields.size(); ++i) {
        for (int b = 0; b < 4; ++b) header[i * 4 + b] = static_cast<uint8_t>(fields[i] >> (24 - 8 * b));
    }
    std::copy(setup.begin(), setup.end(), header.begin() + 40);
    return header;
}

TEST(UsbipWire, CommandsAreReadAndRepliesNeverCarryMoreThanAsked) {
    usbip::Command submit;
    // CMD_SUBMIT, seqnum 7, devid, IN, endpoint 0, flags, 255 bytes; GET_DESCRIPTOR string 3.
    ASSERT_TRUE(usbip::ParseCommand(HeaderOf({1, 7, 0x10001, 1, 0, 0, 255}, {0x80, 6, 3, 3, 9, 4, 255, 0}), submit));
    EXPECT_EQ(submit.seqnum, 7u);
    EXPECT_TRUE(submit.In());
    EXPECT_EQ(submit.transferLength, 255u);
    EXPECT_EQ(submit.setup.value, 0x0303);
    EXPECT_EQ(submit.setup.index, 0x0409);
    EXPECT_EQ(submit.setup.length, 255);
    usbip::Command unlink;
    ASSERT_TRUE(usbip::ParseCommand(HeaderOf({2, 8, 0x10001, 0, 1, 7}), unlink));
    EXPECT_EQ(unlink.unlinkSeqnum, 7u);
    usbip::Command other;
    EXPECT_FALSE(usbip::ParseCommand(HeaderOf({3, 9}), other));
    EXPECT_FALSE(usbip::ParseCommand(HeaderOf({1, 9, 0, 0, 0, 0, usbip::kLongestTransfer + 1}), other));

    // An IN reply: status, actual_length, then no more bytes than the transfer takes.
    submit.transferLength = 2;
    const Bytes reply = usbip::RetSubmit(submit, usbip::kStatusStall, {1, 2, 3}, 0);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 8), (Bytes{0, 0, 0, 3, 0, 0, 0, 7}));
    EXPECT_EQ(Bytes(reply.begin() + 20, reply.begin() + 28), (Bytes{0xFF, 0xFF, 0xFF, 0xE0, 0, 0, 0, 2}));
    EXPECT_EQ(Bytes(reply.begin() + 48, reply.end()), (Bytes{1, 2}));
    // An OUT reply: the bytes taken, and no data.
    usbip::Command out;
    ASSERT_TRUE(usbip::ParseCommand(HeaderOf({1, 5, 0, 0, 0, 0, 38}), out));
    const Bytes taken = usbip::RetSubmit(out, 0, {}, 38);
    EXPECT_EQ(taken.size(), usbip::kHeaderSize);
    EXPECT_EQ(taken[27], 38);
    const usbip::Header unlinked = usbip::RetUnlink(unlink, usbip::kStatusUnlinked);
    EXPECT_EQ(Bytes(unlinked.begin(), unlinked.begin() + 8), (Bytes{0, 0, 0, 4, 0, 0, 0, 8}));
    EXPECT_EQ(Bytes(unlinked.begin() + 20, unlinked.begin() + 24), (Bytes{0xFF, 0xFF, 0xFF, 0x98}));
}

SetupPacket Request(uint8_t type, uint8_t request, uint16_t value, uint16_t length, uint16_t index = 0) {
    return SetupPacket{type, request, value, index, length};
}

TEST(UsbDisplay, DescribesItselfAndStallsWhatItDoesNotKnow) {
    SimFirmware firmware(SimOptions{}, FactoryFlash());
    UsbDisplay display(firmware, "SIM01-0001", true, std::nullopt, false, nullptr);
    const Bytes report = DisplayReportDescriptor();
    struct Case {
        const char* name;
        SetupPacket setup;
        Bytes expected;  // empty: stalled
    };
    const Bytes serial{22, 3, 'S', 0, 'I', 0, 'M', 0, '0', 0, '1', 0, '-', 0, '0', 0, '0', 0, '0', 0, '1', 0};
    for (const Case& c : {
             Case{"device", Request(0x80, 6, 0x0100, 64), {18, 1, 0, 2, 0, 0, 0, 64, 0x7D, 0x2A, 0x21, 0x6C, 0, 1, 1, 2, 3, 1}},
             Case{"device, first 8 bytes", Request(0x80, 6, 0x0100, 8), {18, 1, 0, 2, 0, 0, 0, 64}},
             Case{"configuration head", Request(0x80, 6, 0x0200, 9), {9, 2, 34, 0, 1, 1, 0, 0x80, 50}},
             Case{"languages", Request(0x80, 6, 0x0300, 255), {4, 3, 0x09, 0x04}},
             Case{"serial", Request(0x80, 6, 0x0303, 255, 0x0409), serial},
             Case{"report descriptor", Request(0x81, 6, 0x2200, 4096), report},
             Case{"HID descriptor", Request(0x81, 6, 0x2100, 9), {9, 0x21, 0x11, 1, 0, 1, 0x22, static_cast<uint8_t>(report.size()), 0}},
             Case{"no fourth string", Request(0x80, 6, 0x0304, 255), {}},
             Case{"no device qualifier", Request(0x80, 6, 0x0600, 10), {}},
             Case{"no such request", Request(0xC0, 0x42, 0, 4), {}},
             Case{"no input report to get", Request(0xA1, 1, 0x0107, 6), {}},
         }) {
        SCOPED_TRACE(c.name);
        const UsbReply reply = display.Control(c.setup, {}, Micros(0));
        EXPECT_EQ(reply.stall, c.expected.empty());
        EXPECT_EQ(reply.data, c.expected);
    }
    const Bytes configuration = display.Control(Request(0x80, 6, 0x0200, 255), {}, Micros(0)).data;
    ASSERT_EQ(configuration.size(), 34u);
    EXPECT_EQ(Bytes(configuration.begin() + 27, configuration.end()), (Bytes{7, 5, 0x81, 3, 64, 0, 1}));
    EXPECT_FALSE(display.Control(Request(0x21, 0x0A, 0, 0), {}, Micros(0)).stall);  // SET_IDLE
    EXPECT_FALSE(display.Control(Request(0x00, 9, 1, 0), {}, Micros(0)).stall);     // SET_CONFIGURATION
    // A display without its service collection shows only the mouse and the pen.
    UsbDisplay absent(firmware, "SIM01-0001", false, std::nullopt, false, nullptr);
    EXPECT_EQ(absent.Control(Request(0x81, 6, 0x2200, 4096), {}, Micros(0)).data, DisplayReportDescriptor(false));
}

Bytes Record(uint32_t address) {
    Bytes record(38, 0x5A);
    const Bytes head{0x28, 0x51, 0x58, 0x57, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
    std::copy(head.begin(), head.end(), record.begin());
    return record;
}

TEST(UsbDisplay, FeatureReportsReachTheFirmwareAndAFaultEndsTheConnection) {
    const SetupPacket setRecord = Request(0x21, 9, 0x0328, 38);
    for (bool inFlight : {false, true}) {
        SCOPED_TRACE(inFlight);
        SimOptions options;
        options.unplugAfter = 1;
        SimFirmware firmware(options, FactoryFlash());
        UsbDisplay display(firmware, "SIM01-0001", true, options.unplugAfter, inFlight, nullptr);
        const Bytes erase{0x29, 'E', 'r', 'a', 's'};
        const UsbReply erased = display.Control(Request(0x21, 9, 0x0329, 5), erase, Micros(0));
        EXPECT_FALSE(erased.stall);
        EXPECT_EQ(erased.taken, 5u);
        // A record during the erase is refused: a stall, which the host's ioctl tells as EPIPE.
        EXPECT_TRUE(display.Control(setRecord, Record(0), Micros(100'000)).stall);
        const UsbReply first = display.Control(setRecord, Record(0), Micros(1'000'000));
        EXPECT_FALSE(first.stall);
        EXPECT_EQ(first.dropOff, !inFlight);  // right after the record it accepted
        const UsbReply second = display.Control(setRecord, Record(0x20), Micros(1'020'000));
        EXPECT_EQ(second.answered, !inFlight);  // or with the next one in flight
        EXPECT_EQ(second.dropOff, inFlight);
        // Plugged in again, it answers on.
        EXPECT_TRUE(display.Control(setRecord, Record(0x40), Micros(1'040'000)).answered);
        EXPECT_EQ(firmware.AcceptedWriteRecords(), inFlight ? 2 : 3);
        const UsbReply info = display.Control(Request(0xA1, 1, 0x032B, 10), {}, Micros(0));
        EXPECT_EQ(info.data, (Bytes{0x2B, 0, 0x01, 0x00, 0x0A, 0xFF, 0x25, 0x15, 0x0A, 0x31}));
        // A report whose ID is not the one the request names is no report.
        EXPECT_TRUE(display.Control(setRecord, erase, Micros(2'000'000)).stall);
    }
}

}  // namespace
}  // namespace padsmith::sim
