#pragma once
// The bytes on the wire, declared once: the feature reports the tool sends, the write record's layout and the reply's byte positions. The simulated
// device does not include this file: it keeps its own copy (device/sim/SimFirmware.h), a second
// reading of the protocol that a slip here cannot hide behind.

#include <array>
#include <cstddef>
#include <cstdint>

namespace padsmith::wire {

// --- The collections ---
// The service collection is told by device/TargetRule.h. The pen collection of the same display, which selection must never accept.
inline constexpr uint16_t kPenUsagePage = 0x0D;  // digitizer
inline constexpr uint16_t kPenUsage = 0x02;      // pen

// --- Fixed feature reports ---
inline constexpr std::array<uint8_t, 5> kEraseReport{0x29, 'E', 'r', 'a', 's'};
inline constexpr std::array<uint8_t, 8> kInfoRequestReport{0x2A, 'V', 'e', 'r', 's', 'i', 'o', 'n'};
inline constexpr std::array<uint8_t, 5> kFeature02Report{0x02, 0x00, 0xFF, 0x00, 0xFF};

// --- New vendor and product IDs: 0x08, VID low, VID high, PID low, PID high ---
inline constexpr uint8_t kSetIdsReportId = 0x08;
inline constexpr size_t kSetIdsReportLength = 5;

// --- The write record: 0x28 'Q' 'X' 'W', address low, address high, then 32 bytes of data ---
inline constexpr std::array<uint8_t, 4> kRecordHeader{0x28, 'Q', 'X', 'W'};
inline constexpr size_t kRecordAddressLow = 4;
inline constexpr size_t kRecordAddressHigh = 5;
inline constexpr size_t kHeadLength = 6;   // cnHeadLength, report ID included
inline constexpr size_t kDataLength = 32;  // cnDataLength
inline constexpr size_t kRecordLength = kHeadLength + kDataLength;
// The two address windows of flash: 0x0000..0x7FE0 and 0xB000..0xD7E0.
inline constexpr int32_t kFirstWindowEnd = 0x8000;
inline constexpr int32_t kSecondWindowStart = 0xB000;
inline constexpr int32_t kSecondWindowEnd = 0xD800;
inline constexpr uint8_t kErasedByte = 0xFF;

// --- The information reply (0x2B), and the input reports, which carry the same bytes ---
inline constexpr uint8_t kInfoReplyReportId = 0x2B;
inline constexpr size_t kInfoReplyLength = 10;
inline constexpr size_t kInputReportLength = 10;
// Each value most significant byte first; bytes 0 and 1 carry no value.
inline constexpr size_t kFirmwareVersionAt = 2;  // 4 bytes
inline constexpr size_t kSizeCodeAt = 6;         // 2 bytes
inline constexpr size_t kPcbVersionAt = 8;       // 2 bytes

}  // namespace padsmith::wire
