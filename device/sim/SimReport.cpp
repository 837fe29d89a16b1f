#include "device/sim/SimReport.h"

namespace padsmith::sim {

const char* ReportKindName(ReportKind kind) {
    switch (kind) {
        case ReportKind::kSet: return "set";
        case ReportKind::kSetRefused: return "set-refused";
        case ReportKind::kGet: return "get";
        case ReportKind::kGetFailed: return "get-failed";
        case ReportKind::kInput: return "input";
    }
    return "?";
}

std::string TraceLine(const ReportRecord& record) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string line = std::to_string(record.time.count());
    line += ' ';
    line += ReportKindName(record.kind);
    line += ' ';
    for (uint8_t byte : record.bytes) {
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

}  // namespace padsmith::sim
