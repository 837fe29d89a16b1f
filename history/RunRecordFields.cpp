#include "history/RunRecordFields.h"

namespace padsmith::history {
namespace {

RunRecordField Text(const char* column, const char* key, std::string RunRecord::*member) {
    return {column, key, member, nullptr};
}

RunRecordField Number(const char* column, const char* key, std::optional<int64_t> RunRecord::*member) {
    return {column, key, nullptr, member};
}

}  // namespace

const std::vector<RunRecordField>& RunRecordFields() {
    static const std::vector<RunRecordField> fields{
        Text("id", "id", &RunRecord::id),
        Text("started", "started", &RunRecord::started),
        Text("ended", "ended", &RunRecord::ended),
        Text("host", "host", &RunRecord::host),
        Text("version", "version", &RunRecord::version),
        Text("command", "command", &RunRecord::command),
        Text("location", "location", &RunRecord::location),
        Text("vid_pid", "vidPid", &RunRecord::vidPid),
        Text("serial", "serial", &RunRecord::serial),
        Text("node", "node", &RunRecord::node),
        Text("pcb_version", "pcbVersion", &RunRecord::pcbVersion),
        Text("firmware_version", "firmwareVersion", &RunRecord::firmwareVersion),
        Text("product_size", "productSize", &RunRecord::productSize),
        Text("image_path", "imagePath", &RunRecord::imagePath),
        Number("image_bytes", "imageBytes", &RunRecord::imageBytes),
        Text("image_sha256", "imageSha256", &RunRecord::imageSha256),
        Number("records_sent", "recordsSent", &RunRecord::recordsSent),
        Number("records_refused", "recordsRefused", &RunRecord::recordsRefused),
        Text("result", "result", &RunRecord::result),
        Text("error_kind", "errorKind", &RunRecord::errorKind),
        Text("error_message", "errorMessage", &RunRecord::errorMessage),
        Text("record_file", "recordFile", &RunRecord::recordFile),
        // Added in schema 3, at the end, so a spreadsheet's columns stay where they were.
        Text("firmware_after", "firmwareAfter", &RunRecord::firmwareAfter),
        Text("manifest_sha256", "manifestSha256", &RunRecord::manifestSha256),
        Text("signing_key", "signingKey", &RunRecord::signingKey),
    };
    return fields;
}

}  // namespace padsmith::history
