#pragma once
// The JSON objects padsmith prints, each built in one place apart from being printed: what
// --json prints, and what any other view (a page, an event stream) would send.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/DisplayOutcome.h"
#include "app/DisplayRun.h"
#include "app/PortQuarantine.h"
#include "app/StationPorts.h"
#include "base/Error.h"
#include "device/DeviceStatus.h"
#include "device/HidPort.h"
#include "history/RunRecord.h"
#include "protocol/FirmwareImage.h"
#include "trust/ReleaseChecks.h"

namespace padsmith::cli {

using Json = nlohmann::ordered_json;

// {"kind", "message"}.
Json ErrorObject(const Error& error);
// {"pcbVersion", "firmwareVersion", "productSize"}, each {"value", "text"}.
Json InfoObject(const DeviceStatus& info);
// {"path", "bytes", "sha256"}; the last two null without an image that loaded.
Json ImageObject(const std::wstring& path, const VerifiedImage* image);

// The signed release a write was checked against: {"manifestSha256", "key", "firmwareVersion"}.
Json ReleaseObject(const trust::VerifiedRelease& release);

// What a command's result object carries of one display's run of `action`: the information
// read (info), the records and the firmware version read after them (write), the error, and the
// history's row ("record") or why it was lost ("historyError").
Json DisplayResultFields(const DisplayOutcome& outcome, DisplayAction action);

// A station's event: {"event", "time", "port"}, with the display's "vidPid", "serial" and
// "node" when `display` is given.
Json StationEventObject(const char* event, const HidInterface* display, const std::string& port);
// A station's port out of service: {"event": "quarantined", "time", "port", "failures"}, each
// failure {"serial", "kind", "message"}, oldest first.
Json StationQuarantineObject(const std::string& port, const std::vector<PortFailure>& failures);
// A station's "result" event: the display, the information read before the erase, the image,
// the records, the seconds, the result, whether it was erased, its record and its error.
Json StationResultObject(const DisplayOutcome& outcome, const Json& image);

// The station's ports as its model holds them at `now` (on the model's clock), for a view that
// draws them all: {"event": "ports", "ports": [{"port", "state", "percent", "vidPid", "serial",
// "seconds", "done", "failed", "lastResult", "lastError", "outOfService", "failures"}...],
// "station": {"written", "failed", "displays", "firstPass", "firstPassYield", "displaysPerHour",
// "seconds"}}.
Json StationPortsObject(const std::map<std::string, PortStatus>& ports, const StationTotals& totals, Micros now);

// A run as the history keeps it, one key per field of the record's field table.
Json RunRecordObject(const history::RunRecord& record);

}  // namespace padsmith::cli
