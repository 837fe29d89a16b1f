#include "cli/JsonObjects.h"

#include "app/ActivityLog.h"
#include "base/Sha256.h"
#include "base/Utf8.h"
#include "history/RunRecordFields.h"
#include "protocol/DeviceInfo.h"
#include "trust/MinisignKey.h"

namespace padsmith::cli {
namespace {

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

// What the display reported after its write, where it was asked.
void AddFirmwareAfter(const DisplayOutcome& outcome, Json& object) {
    if (outcome.firmwareAfter) object["firmwareAfter"] = ToUtf8(FormatFirmwareVersion(*outcome.firmwareAfter));
}

Json TimeStamp() {
    return ToUtf8(FormatTimeStamp(CurrentLocalTime()));
}

// A port's state in a word or two: out of service, its phase, or once its last run ended, that
// run's result.
const char* StateWord(const PortStatus& port) {
    if (port.outOfService) return "out of service";
    switch (port.phase) {
        case PortPhase::kWaiting: return "waiting";
        case PortPhase::kArrived: return "arrived";
        case PortPhase::kIgnored: return "ignored";
        case PortPhase::kReading: return "reading";
        case PortPhase::kErasing: return "erasing";
        case PortPhase::kWriting: return "writing";
        case PortPhase::kEnded: break;
    }
    return RowOf(port.lastResult).shown;
}

// A port's failures in a row, oldest first: [{"serial", "kind", "message"}].
Json FailuresArray(const std::vector<PortFailure>& failures) {
    Json list = Json::array();
    for (const PortFailure& failure : failures) {
        Json item{{"serial", TextOrNull(failure.serial)}};
        item.update(ErrorObject(failure.error));
        list.push_back(std::move(item));
    }
    return list;
}

double SecondsBetween(Micros from, Micros to) {
    return std::chrono::duration<double>(to - from).count();
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

Json ReleaseObject(const trust::VerifiedRelease& release) {
    return {{"manifestSha256", ToHex(release.manifestSha256)},
            {"key", trust::FormatKeyId(release.keyId)},
            {"firmwareVersion", ToUtf8(FormatFirmwareVersion(release.manifest.firmwareVersion))}};
}

Json DisplayResultFields(const DisplayOutcome& outcome, DisplayAction action) {
    Json fields = Json::object();
    if (action == DisplayAction::kInfo && outcome.info) fields = InfoObject(*outcome.info);
    if (action == DisplayAction::kWrite) {
        fields["records"] = {{"sent", outcome.recordsSent}, {"refused", outcome.recordsRefused}};
        AddFirmwareAfter(outcome, fields);
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
    Json object = StationEventObject("quarantined", nullptr, port);
    object["failures"] = FailuresArray(failures);
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
    AddFirmwareAfter(outcome, result);
    if (outcome.recordLost) result["recordLost"] = ErrorObject(outcome.recordLost);
    return result;
}


Json StationPortsObject(const std::map<std::string, PortStatus>& ports, const StationTotals& totals, Micros now) {
    Json rows = Json::array();
    for (const auto& [location, port] : ports) {
        const bool ended = port.phase == PortPhase::kEnded || port.done + port.failed > 0;
        rows.push_back({{"port", location},
                        {"state", StateWord(port)},
                        {"percent", port.phase == PortPhase::kWriting ? port.percent : 0},
                        {"vidPid", TextOrNull(port.vidPid)},
                        {"serial", TextOrNull(port.serial)},
                        {"seconds", port.running ? SecondsBetween(port.started, now) : port.seconds},
                        {"done", port.done},
                        {"failed", port.failed},
                        {"lastResult", ended ? Json(ResultWord(port.lastResult)) : Json(nullptr)},
                        {"lastError", TextOrNull(port.lastError)},
                        {"outOfService", port.outOfService},
                        {"failures", FailuresArray(port.failures)}});
    }
    const double seconds = SecondsBetween(totals.since, now);
    return {{"event", "ports"},
            {"time", TimeStamp()},
            {"ports", rows},
            {"station",
             {{"written", totals.written},
              {"failed", totals.failed},
              {"displays", totals.displays},
              {"firstPass", totals.firstPass},
              {"firstPassYield", totals.displays > 0 ? Json(double(totals.firstPass) / totals.displays) : Json(nullptr)},
              {"displaysPerHour", seconds > 0 ? totals.written * 3600.0 / seconds : 0.0},
              {"seconds", seconds}}}};
}

Json RunRecordObject(const history::RunRecord& record) {
    Json object = Json::object();
    for (const history::RunRecordField& field : history::RunRecordFields()) {
        if (field.text != nullptr) {
            object[field.key] = record.*field.text;
        } else if (const std::optional<int64_t>& number = record.*field.number) {
            object[field.key] = *number;
        } else {
            object[field.key] = nullptr;
        }
    }
    return object;
}

}  // namespace padsmith::cli
