#include "cli/HistoryOutput.h"

#include <algorithm>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/ShownText.h"
#include "cli/CsvOutput.h"
#include "cli/JsonObjects.h"
#include "cli/JsonOutput.h"
#include "history/RunRecordFields.h"

namespace padsmith::cli {
namespace {

// The table's columns: start, result, display, serial, image digest, records sent/refused,
// error. The digest is cut to 12 hex digits, enough to tell images apart at a glance.
constexpr char kTableLine[] = "%-24s  %-10s  %-10s  %-12s  %-12s  %-9s  %s";
constexpr size_t kShortDigest = 12;

// One line of the table, without the spaces an empty last column leaves.
void PrintTableLine(std::FILE* stream, const std::string& started, const std::string& result,
                    const std::string& device, const std::string& serial, const std::string& image,
                    const std::string& records, const std::string& error) {
    const int length = std::snprintf(nullptr, 0, kTableLine, started.c_str(), result.c_str(), device.c_str(),
                                     serial.c_str(), image.c_str(), records.c_str(), error.c_str());
    std::vector<char> buffer(static_cast<size_t>(std::max(length, 0)) + 1);
    std::snprintf(buffer.data(), buffer.size(), kTableLine, started.c_str(), result.c_str(), device.c_str(),
                  serial.c_str(), image.c_str(), records.c_str(), error.c_str());
    std::string line(buffer.data());
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(stream, "%s\n", line.c_str());
}

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::string Records(const history::RunRecord& record) {
    if (!record.recordsSent) return "-";
    return std::to_string(*record.recordsSent) + "/" + std::to_string(record.recordsRefused.value_or(0));
}

std::string ErrorText(const history::RunRecord& record) {
    if (record.errorKind.empty()) return record.errorMessage;
    return record.errorKind + (record.errorMessage.empty() ? "" : ": " + record.errorMessage);
}

}  // namespace

void HistoryOutput::Start() {
    if (m_form == HistoryForm::kCsv) {
        std::vector<std::string> names;
        for (const history::RunRecordField& field : history::RunRecordFields()) names.push_back(field.column);
        std::fputs(CsvLine(names).c_str(), m_stream);
    }
}

void HistoryOutput::Record(const history::RunRecord& record) {
    const std::vector<history::RunRecordField>& fields = history::RunRecordFields();
    if (m_form == HistoryForm::kTable) {
        if (m_records == 0) {
            PrintTableLine(m_stream, "started (UTC)", "result", "device", "serial", "image", "records", "error");
        }
        // One line per run, whatever a field holds (a line break in a file name, an escape
        // sequence in a location).
        PrintTableLine(m_stream, ShownText(record.started), ShownText(record.result),
                       ShownText(OrDash(record.location)), ShownText(OrDash(record.serial)),
                       OrDash(ShownText(record.imageSha256.substr(0, kShortDigest))), Records(record),
                       ShownText(ErrorText(record)));
    } else if (m_form == HistoryForm::kJson) {
        PrintJsonLine(m_stream, RunRecordObject(record));
    } else {
        std::vector<std::string> values;
        for (const history::RunRecordField& field : fields) {
            if (field.text != nullptr) {
                values.push_back(record.*field.text);
            } else {
                const std::optional<int64_t>& number = record.*field.number;
                values.push_back(number ? std::to_string(*number) : std::string());
            }
        }
        std::fputs(CsvLine(values).c_str(), m_stream);
    }
    ++m_records;
}

void HistoryOutput::End(const std::string& nothing) {
    if (m_form == HistoryForm::kTable && m_records == 0) std::fprintf(m_stream, "%s\n", nothing.c_str());
    std::fflush(m_stream);
}

}  // namespace padsmith::cli
