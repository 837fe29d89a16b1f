#include "cli/JsonOutput.h"

#include <string>

#include "base/Utf8.h"

namespace padsmith::cli {

void PrintJsonLine(std::FILE* stream, const nlohmann::ordered_json& object) {
    const std::string line = object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

void JsonLog::InsertLine(const std::wstring& line) {
    InsertEntry(LogEntry{std::wstring(), 0, line});
}

void JsonLog::InsertEntry(const LogEntry& entry) {
    nlohmann::ordered_json object{{"time", ToUtf8(entry.timeStamp)},
                          {"id", nullptr},
                          {"text", ToUtf8(entry.text)}};
    if (entry.messageId != 0) object["id"] = entry.messageId;
    std::lock_guard<std::mutex> lock(m_mutex);
    PrintJsonLine(m_stream, object);
}

}  // namespace padsmith::cli
