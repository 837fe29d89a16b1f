#pragma once
// The feature reports of the device's service protocol, the timing every exchange obeys, and the
// send step they share.

#include <array>
#include <cstddef>
#include <cstdint>

#include "device/Clock.h"

namespace padsmith {

class HidDevice;

inline constexpr Millis kDeviceLockWait{5000};
inline constexpr Millis kPostSendPause{10};   // after every set-feature, accepted or not
inline constexpr Millis kSettlePause{1000};   // at the end of an erase and of report 0x02

inline constexpr std::array<uint8_t, 5> kEraseReport{0x29, 'E', 'r', 'a', 's'};
inline constexpr std::array<uint8_t, 8> kInfoRequestReport{0x2A, 'V', 'e', 'r', 's', 'i', 'o', 'n'};
inline constexpr std::array<uint8_t, 5> kFeature02Report{0x02, 0x00, 0xFF, 0x00, 0xFF};
inline constexpr uint8_t kSetIdsReportId = 0x08;
inline constexpr size_t kSetIdsReportLength = 5;
inline constexpr uint8_t kInfoReplyReportId = 0x2B;
inline constexpr size_t kInfoReplyLength = 10;

// Sends one feature report, then pauses 10 ms whatever the outcome; true when accepted.
bool SendFeatureReport(HidDevice& device, Clock& clock, const uint8_t* report, size_t length);

}  // namespace padsmith
