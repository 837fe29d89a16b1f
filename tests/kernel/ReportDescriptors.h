#pragma once
// The report descriptors the hidraw nodes give out: the display's USB interface with its three
// top-level collections (tests/support/DisplayDescriptor.h, which the parser's tests read too),
// and the other maker's mouse. The feature lengths below follow from the display's.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace padsmith::test {

// Collection 1: a mouse-like pointer (report 0x01). Collection 2: the pen (digitizer page,
// input report 0x07). Collection 3: the service collection (page 0xFF00): feature reports 0x28,
// 0x29, 0x2A, 0x2B, 0x08 and 0x02, input report 0x2B.
const std::vector<uint8_t>& DisplayReportDescriptor();
// A three-button wheel-less boot mouse without report IDs.
const std::vector<uint8_t>& MouseReportDescriptor();

// The length, report ID included, of the display's feature report `reportId`; 0 when the
// descriptor declares no such feature report.
size_t DisplayFeatureLength(uint8_t reportId);

inline constexpr uint8_t kPenReportId = 0x07;
// One pen report: out of range, at the origin, no pressure.
inline constexpr uint8_t kPenReport[] = {kPenReportId, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

}  // namespace padsmith::test
