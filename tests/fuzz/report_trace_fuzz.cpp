// libFuzzer target: any bytes as a recording handed to --simulate=replay=FILE. Beyond not
// crashing, hanging or reading out of bounds, a rejected text says why in one line naming its
// line, and an accepted one holds only what a replay can play: a report for every request, a
// supplied get's reply as long as its request, line numbers that grow.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/ReportTrace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace padsmith;
    const Result<ParsedTrace> trace = ParseReportTrace(std::string(reinterpret_cast<const char*>(data), size));
    if (!trace) {
        const std::string& error = trace.error().message;
        if (error.compare(0, 5, "line ") != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    int line = 0;
    for (const ParsedTrace::Entry& entry : trace->entries) {
        const ReportRecord& record = entry.record;
        if (entry.line <= line || IsRequest(record.kind) == record.bytes.empty()) std::abort();
        if (record.kind == ReportKind::kGet && record.reply.size() != record.bytes.size()) std::abort();
        line = entry.line;
    }
    return 0;
}
