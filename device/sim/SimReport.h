#pragma once
// One report exchanged with the simulated device, as its record and its trace line show it.

#include <cstdint>
#include <string>
#include <vector>

#include "device/Clock.h"

namespace padsmith::sim {

enum class ReportKind { kSet, kSetRefused, kGet, kGetFailed, kInput };

struct ReportRecord {
    Micros time;  // clock time of the exchange
    ReportKind kind;
    // Report ID first. For a get: the reply, or the request when the get failed.
    std::vector<uint8_t> bytes;
};

// "set", "set-refused", "get", "get-failed" or "input".
const char* ReportKindName(ReportKind kind);
// "<microseconds> <kind> <HEX>" without the line end: the time in decimal, the bytes as two
// upper-case hex digits each, no spaces. Example: "10000 set 2945726173".
std::string TraceLine(const ReportRecord& record);

}  // namespace padsmith::sim
