#include "cli/JsonOutput.h"

#include <string>

#include "base/Utf8.h"

namespace padsmith::cli {

std::string JsonLineText(const nlohmann::ordered_json& object) {
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void PrintJsonLine(std::FILE* stream, const nlohmann::ordered_json& object) {
    const std::string line = JsonLineText(object);
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

void JsonLog::Write(const LogEntry& entry, const std::string& device) {
    nlohmann::ordered_json object{{"time", ToUtf8(entry.timeStamp)},
                                  {"id", nullptr},
                                  {"text", ToUtf8(entry.text)}};
    if (entry.messageId != 0) object["id"] = entry.messageId;
    // Always there: null on lines about no display in particular.
    object["device"] = device.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(device);
    std::lock_guard<std::mutex> lock(m_mutex);
    PrintJsonLine(m_stream, object);
}

}  // namespace padsmith::cli
