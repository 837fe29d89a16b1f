#include "device/ReportDescriptor.h"

#include <algorithm>
#include <array>


namespace padsmith {
namespace {

// Item types, bits 2-3 of a short item's prefix.
constexpr uint8_t kMainItem = 0;
constexpr uint8_t kGlobalItem = 1;
constexpr uint8_t kLocalItem = 2;

// Main item tags.
constexpr uint8_t kInputTag = 0x8;
constexpr uint8_t kOutputTag = 0x9;
constexpr uint8_t kCollectionTag = 0xA;
constexpr uint8_t kFeatureTag = 0xB;
constexpr uint8_t kEndCollectionTag = 0xC;

// Global item tags; 0x0..0xB are the defined ones.
constexpr uint8_t kUsagePageTag = 0x0;
constexpr uint8_t kReportSizeTag = 0x7;
constexpr uint8_t kReportIdTag = 0x8;
constexpr uint8_t kReportCountTag = 0x9;
constexpr uint8_t kPushTag = 0xA;
constexpr uint8_t kPopTag = 0xB;

// Local item tags.
constexpr uint8_t kUsageTag = 0x0;

constexpr uint8_t kLongItemPrefix = 0xFE;

// The kernel's limits (hid-core.c): a wider field or a longer count fails its parse too.
constexpr uint32_t kMaxReportSizeBits = 256;
constexpr uint32_t kMaxReportCount = 12288;  // HID_MAX_USAGES
constexpr uint32_t kMaxReportId = 255;
constexpr uint64_t kMaxReportBits = uint64_t{kMaxReportBytes} * 8;

struct ShortItem {
    uint8_t type;
    uint8_t tag;
    uint8_t dataSize;  // 0, 1, 2 or 4
    uint32_t value;    // the data, little-endian, unsigned
};

// Steps over the item at `offset`. False when the descriptor ends inside it. A long item is
// stepped over whole and reported with `isLong`; no long item tag means anything to us.
bool NextItem(const uint8_t* data, size_t size, size_t& offset, ShortItem& item, bool& isLong) {
    const uint8_t prefix = data[offset];
    const size_t rest = size - offset - 1;
    if (prefix == kLongItemPrefix) {
        // Prefix, bDataSize, bLongItemTag, then the data.
        if (rest < 2 || rest - 2 < data[offset + 1]) return false;
        offset += 3 + size_t{data[offset + 1]};
        isLong = true;
        return true;
    }
    static constexpr uint8_t kDataSizes[] = {0, 1, 2, 4};
    item.dataSize = kDataSizes[prefix & 0x3];
    if (rest < item.dataSize) return false;
    item.type = (prefix >> 2) & 0x3;
    item.tag = prefix >> 4;
    item.value = 0;
    for (uint8_t i = 0; i < item.dataSize; ++i) {
        item.value |= uint32_t{data[offset + 1 + i]} << (8 * i);
    }
    offset += 1 + size_t{item.dataSize};
    isLong = false;
    return true;
}

struct GlobalState {
    uint16_t usagePage = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

// Only a Collection reads the local state, and only its first Usage (the kernel's usage[0]).
struct LocalState {
    bool hasUsage = false;
    bool extendedUsage = false;  // a 4-byte Usage: its own page in the high 16 bits
    uint32_t usage = 0;
};

struct ReportBits {
    uint8_t id;
    uint64_t bits;
};

struct OpenCollection {
    uint16_t usagePage;
    uint16_t usage;
    // Input, output and feature reports, in that order.
    std::array<std::vector<ReportBits>, 3> reports;
};

class Parser {
public:
    bool Parse(const uint8_t* data, size_t size) {
        if (size == 0 || size > kMaxReportDescriptorSize) return false;
        size_t offset = 0;
        while (offset < size) {
            ShortItem item{};
            bool isLong = false;
            if (!NextItem(data, size, offset, item, isLong)) return false;
            if (isLong) continue;
            bool ok = true;
            switch (item.type) {
                case kMainItem: ok = Main(item); break;
                case kGlobalItem: ok = Global(item); break;
                case kLocalItem: Local(item); break;
                default: break;  // the reserved type: nothing is defined for it
            }
            if (!ok) return false;
        }
        return m_depth == 0 && m_pushDepth == 0;
    }

    std::vector<TopLevelCollection> Collections() const {
        std::vector<TopLevelCollection> result;
        result.reserve(m_collections.size());
        for (const OpenCollection& open : m_collections) {
            TopLevelCollection collection;
            collection.usagePage = open.usagePage;
            collection.usage = open.usage;
            std::vector<ReportLength>* lengths[] = {&collection.input, &collection.output,
                                                    &collection.feature};
            for (size_t type = 0; type < open.reports.size(); ++type) {
                for (const ReportBits& report : open.reports[type]) {
                    lengths[type]->push_back(
                        {report.id, static_cast<size_t>((report.bits + 7) / 8) + (report.id != 0 ? 1 : 0)});
                }
            }
            result.push_back(std::move(collection));
        }
        return result;
    }

private:
    bool Main(const ShortItem& item) {
        bool ok = true;
        switch (item.tag) {
            case kInputTag: ok = AddField(0); break;
            case kOutputTag: ok = AddField(1); break;
            case kFeatureTag: ok = AddField(2); break;
            case kCollectionTag: ok = OpenCollectionItem(); break;
            case kEndCollectionTag:
                if (m_depth == 0) return false;
                --m_depth;
                break;
            default: break;  // undefined main tags carry nothing we read
        }
        m_local = LocalState{};
        return ok;
    }

    bool OpenCollectionItem() {
        if (m_depth == kMaxCollectionDepth) return false;
        if (m_depth == 0) {
            OpenCollection collection{};
            if (m_local.hasUsage) {
                collection.usagePage = m_local.extendedUsage ? static_cast<uint16_t>(m_local.usage >> 16)
                                                             : m_global.usagePage;
                collection.usage = static_cast<uint16_t>(m_local.usage & 0xFFFF);
            }
            m_collections.push_back(std::move(collection));
        }
        ++m_depth;
        return true;
    }

    bool AddField(size_t type) {
        if (m_global.reportId != 0) {
            m_sawReportWithId = true;
        } else {
            m_sawReportWithoutId = true;
        }
        // With report IDs every data report starts with one; a report without is malformed.
        if (m_sawReportWithId && m_sawReportWithoutId) return false;
        if (m_depth == 0) return true;  // outside any collection: counts for none

        std::vector<ReportBits>& reports = m_collections.back().reports[type];
        auto report = std::find_if(reports.begin(), reports.end(),
                                   [&](const ReportBits& r) { return r.id == m_global.reportId; });
        if (report == reports.end()) {
            reports.push_back({m_global.reportId, 0});
            report = reports.end() - 1;
        }
        // Both factors are capped (256 and 12288), so neither product nor sum can overflow.
        report->bits += uint64_t{m_global.reportSize} * m_global.reportCount;
        return report->bits <= kMaxReportBits;
    }

    bool Global(const ShortItem& item) {
        switch (item.tag) {
            case kUsagePageTag:
                // A usage page is 16 bits; the kernel keeps the low 16 of a wider item too.
                m_global.usagePage = static_cast<uint16_t>(item.value & 0xFFFF);
                return true;
            case kReportSizeTag:
                m_global.reportSize = item.value;
                return item.value <= kMaxReportSizeBits;
            case kReportCountTag:
                m_global.reportCount = item.value;
                return item.value <= kMaxReportCount;
            case kReportIdTag:
                if (item.value == 0 || item.value > kMaxReportId) return false;
                m_global.reportId = static_cast<uint8_t>(item.value);
                return true;
            case kPushTag:
                if (m_pushDepth == kMaxPushDepth) return false;
                m_pushed[static_cast<size_t>(m_pushDepth++)] = m_global;
                return true;
            case kPopTag:
                if (m_pushDepth == 0) return false;
                m_global = m_pushed[static_cast<size_t>(--m_pushDepth)];
                return true;
            default:
                // Logical and physical ranges, units: nothing here needs them.
                return item.tag <= kPopTag;
        }
    }

    void Local(const ShortItem& item) {
        if (item.tag != kUsageTag || m_local.hasUsage) return;
        m_local.hasUsage = true;
        m_local.extendedUsage = item.dataSize == 4;
        m_local.usage = item.value;
    }

    GlobalState m_global;
    std::array<GlobalState, kMaxPushDepth> m_pushed{};
    int m_pushDepth = 0;
    LocalState m_local;
    int m_depth = 0;
    bool m_sawReportWithId = false;
    bool m_sawReportWithoutId = false;
    std::vector<OpenCollection> m_collections;
};

}  // namespace

bool operator==(const ReportLength& a, const ReportLength& b) {
    return a.id == b.id && a.bytes == b.bytes;
}

bool operator==(const TopLevelCollection& a, const TopLevelCollection& b) {
    return a.usagePage == b.usagePage && a.usage == b.usage && a.input == b.input &&
           a.output == b.output && a.feature == b.feature;
}

bool ParseReportDescriptor(const uint8_t* data, size_t size, std::vector<TopLevelCollection>& collections) {
    collections.clear();
    Parser parser;
    if (!parser.Parse(data, size)) return false;
    collections = parser.Collections();
    return true;
}

}  // namespace padsmith
