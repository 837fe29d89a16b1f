// libFuzzer target: any bytes as the report descriptor a device hands out. libFuzzer passes
// them in a buffer of exactly their length, so ASan stops a read past the end; beyond not
// crashing, a rejected descriptor leaves no collection and an accepted one has report lengths
// a report can have.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "device/ReportDescriptor.h"
#include "device/TargetRule.h"

namespace {

using padsmith::ReportLength;

void CheckLengths(const std::vector<ReportLength>& reports) {
    for (const ReportLength& report : reports) {
        const size_t idByte = report.id != 0 ? 1 : 0;
        if (report.bytes < idByte || report.bytes > padsmith::kMaxReportBytes + idByte) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<padsmith::TopLevelCollection> collections;
    if (!padsmith::ParseReportDescriptor(data, size, collections)) {
        if (!collections.empty()) std::abort();
        return 0;
    }
    for (const auto& collection : collections) {
        CheckLengths(collection.input);
        CheckLengths(collection.output);
        CheckLengths(collection.feature);
        (void)padsmith::IsServiceCollection(collection);
    }
    return 0;
}
