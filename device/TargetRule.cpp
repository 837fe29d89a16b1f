#include "device/TargetRule.h"

#include <algorithm>

#include "device/WireFormat.h"

namespace padsmith {
namespace {

constexpr uint16_t kServiceUsagePage = 0xFF00;

const ReportLength* FindReport(const std::vector<ReportLength>& reports, uint8_t id) {
    auto found = std::find_if(reports.begin(), reports.end(),
                              [id](const ReportLength& report) { return report.id == id; });
    return found == reports.end() ? nullptr : &*found;
}

}  // namespace

bool IsServicePath(const std::wstring& path) {
    return path.find(kTargetToken) != std::wstring::npos;
}

bool IsServiceCollection(const TopLevelCollection& collection) {
    if (collection.usagePage != kServiceUsagePage) return false;
    const ReportLength* record = FindReport(collection.feature, wire::kRecordHeader[0]);
    const ReportLength* reply = FindReport(collection.feature, wire::kInfoReplyReportId);
    return record != nullptr && record->bytes == wire::kRecordLength &&
           FindReport(collection.feature, wire::kEraseReport[0]) != nullptr &&
           FindReport(collection.feature, wire::kInfoRequestReport[0]) != nullptr &&
           reply != nullptr && reply->bytes == wire::kInfoReplyLength;
}

std::vector<HidInterface> InterfacesNamed(std::vector<HidInterface> interfaces, const std::string& id) {
    if (id.empty()) return interfaces;
    interfaces.erase(std::remove_if(interfaces.begin(), interfaces.end(),
                                    [&](const HidInterface& iface) { return !NamesInterface(id, iface); }),
                     interfaces.end());
    return interfaces;
}

std::vector<size_t> TargetOrder(const std::vector<HidInterface>& interfaces) {
    std::vector<size_t> order;
    for (size_t index = interfaces.size(); index-- > 0;) {
        if (interfaces[index].service) order.push_back(index);
    }
    return order;
}

std::vector<HidInterface> PresentDisplays(const std::vector<HidInterface>& interfaces, const std::string& id) {
    std::vector<HidInterface> displays;
    for (const HidInterface& iface : InterfacesNamed(interfaces, id)) {
        if (!iface.service) continue;
        const bool seen = std::any_of(displays.begin(), displays.end(), [&](const HidInterface& known) {
            return DisplayId(known) == DisplayId(iface);
        });
        if (!seen) displays.push_back(iface);
    }
    return displays;
}

}  // namespace padsmith
