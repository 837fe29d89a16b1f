#pragma once
// A HID report descriptor (what a Linux hidraw node hands out), read far enough to find the
// display's service collection (device/TargetRule.h): the top-level collections, their usage,
// and the length of each of their reports. The descriptor comes from the device, so it is untrusted: whatever it holds, the
// parser reads only inside it, in time and memory bounded by its length, and a descriptor it
// cannot make sense of is simply not the target.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace padsmith {

// The longest descriptor the kernel accepts (HID_MAX_DESCRIPTOR_SIZE); sysfs never holds more.
inline constexpr size_t kMaxReportDescriptorSize = 4096;
// Limits on what a descriptor may declare; past them it is malformed.
inline constexpr int kMaxCollectionDepth = 32;
inline constexpr int kMaxPushDepth = 4;           // the kernel's HID_GLOBAL_STACK_SIZE
inline constexpr size_t kMaxReportBytes = 16383;  // the kernel's HID_MAX_BUFFER_SIZE, less the ID

struct ReportLength {
    uint8_t id;    // 0 when the descriptor declares no report IDs
    size_t bytes;  // as hidraw and the feature ioctls count it: the report ID byte included
};

struct TopLevelCollection {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    // One entry per report ID, in the order the descriptor first names it.
    std::vector<ReportLength> input, output, feature;
};

bool operator==(const ReportLength& a, const ReportLength& b);
bool operator==(const TopLevelCollection& a, const TopLevelCollection& b);

// Fills `collections` with the top-level collections (Collection items at depth 0, as the
// kernel and Windows count them), in descriptor order. A collection's usage page and usage are
// those in effect at its Collection item: the first Usage since the last main item, its page
// the Usage Page then current, or the high 16 bits of a 4-byte Usage. No Usage gives 0 and 0.
// A report's bits are summed per type and report ID within the top-level collection where
// its main items stand; its length is ceil(bits / 8), plus the report ID byte when it has one.
//
// False, with `collections` left empty, when the descriptor is malformed:
//   - empty, or longer than kMaxReportDescriptorSize;
//   - an item (short or long) cut off by the end;
//   - End Collection with no collection open, or a collection still open at the end;
//   - collections nested deeper than kMaxCollectionDepth;
//   - Push deeper than kMaxPushDepth, Pop with nothing pushed, or a Push left at the end;
//   - Report Size over 256 bits, Report Count over 12288, Report ID 0 or over 255 (the
//     kernel's limits), or a report of more than kMaxReportBytes bytes without its ID;
//   - a global item of a tag the format does not define;
//   - data reports both with and without a report ID.
// Accepted and ignored: long items, items of the reserved type, main items of undefined
// tags, local items other than Usage, and data main items outside any collection (they count
// for no collection, but their report ID counts for the rule above).
bool ParseReportDescriptor(const uint8_t* data, size_t size, std::vector<TopLevelCollection>& collections);

}  // namespace padsmith
