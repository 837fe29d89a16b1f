#include "cli/JsonObjects.h"

#include "app/ActivityLog.h"
#include "base/Sha256.h"
#include "base/Utf8.h"
#include "protocol/DeviceInfo.h"

namespace padsmith::cli {
namespace {

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

Json TimeStamp() {
    return ToUtf8(FormatTimeStamp(CurrentLocalTime()));
}

}  // namespace

Json ErrorObject(const Error& error) {
    return {{"kind", ErrorKindName(error.kind)}, {"message", error.message}};
}

Json InfoObject(const DeviceStatus& info) {
    return {{"pcbVersion", {{"value", info.pcbVersion}, {"text", ToUtf8(FormatPcbVersion(info.pcbVersion))}}},
            {"firmwareVersion",
             {{"value", info.firmwareVersion}, {"text", ToUtf8(FormatFirmwareVersion(info.firmwareVersion))}}},
            {"productSize", {{"value", info.sizeCode}, {"text", ToUtf8(FormatProductSize(info.sizeCode))}}}};
}

Json ImageObject(const std::wstring& path, const VerifiedImage* image) {
    Json object{{"path", ToUtf8(path)}, {"bytes", nullptr}, {"sha256", nullptr}};
    if (image != nullptr) {
        object["bytes"] = image->Digest().fileBytes;
        object["sha256"] = ToHex(image->Digest().sha256);
    }
    return object;
}

Json DisplayResultFields(const DisplayOutcome& outcome, DisplayAction action) {
    Json fields = Json::object();
    if (action == DisplayAction::kInfo && outcome.info) fields = InfoObject(*outcome.info);
    if (action == DisplayAction::kWrite) {
        fields["records"] = {{"sent", outcome.recordsSent}, {"refused", outcome.recordsRefused}};
    }
    if (outcome.error) fields["error"] = ErrorObject(outcome.error);
    if (outcome.recordLost) {
        fields["historyError"] = ErrorObject(outcome.recordLost);
    } else if (!outcome.recordId.empty()) {
        fields["record"] = outcome.recordId;
    }
    return fields;
}

Json StationEventObject(const char* event, const HidInterface* display, const std::string& port) {
    Json object{{"event", event}, {"time", TimeStamp()}, {"port", port}};
    if (display != nullptr) {
        const DisplayOutcome named = OutcomeFor(*display);
        object["vidPid"] = named.vidPid;
        object["serial"] = TextOrNull(named.serial);
        object["node"] = named.node;
    }
    return object;
}

Json StationQuarantineObject(const std::string& port, const std::vector<PortFailure>& failures) {
    Json list = Json::array();
    for (const PortFailure& failure : failures) {
        Json item{{"serial", TextOrNull(failure.serial)}};
        item.update(ErrorObject(failure.error));
        list.push_back(std::move(item));
    }
    Json object = StationEventObject("quarantined", nullptr, port);
    object["failures"] = std::move(list);
    return object;
}

Json StationResultObject(const DisplayOutcome& outcome, const Json& image) {
    Json result{{"event", "result"},
                {"time", TimeStamp()},
                {"port", outcome.port},
                {"vidPid", outcome.vidPid},
                {"serial", TextOrNull(outcome.serial)},
                {"node", outcome.node},
                {"info", outcome.info ? InfoObject(*outcome.info) : Json(nullptr)},
                {"image", image},
                {"records", {{"sent", outcome.recordsSent}, {"refused", outcome.recordsRefused}}},
                {"seconds", outcome.seconds},
                {"result", ResultWord(outcome.result)},
                {"erased", outcome.erased},
                {"record", TextOrNull(outcome.recordId)},
                {"error", outcome.error ? ErrorObject(outcome.error) : Json(nullptr)}};
    if (outcome.recordLost) result["recordLost"] = ErrorObject(outcome.recordLost);
    return result;
}

}  // namespace padsmith::cli
