#pragma once
// padsmith --json: stdout carries one JSON object per line and nothing else. Each activity-log
// line becomes {"time", "id", "text"}; a last object gives the run's result.

#include <cstdio>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/OutputLog.h"

namespace padsmith::cli {

// `object` as one line's text (without its line break), stray bytes as U+FFFD.
std::string JsonLineText(const nlohmann::ordered_json& object);

// Writes `object` as one line. Text that is not valid UTF-8 (a file name's stray bytes) comes
// out as U+FFFD, so every line is valid JSON.
void PrintJsonLine(std::FILE* stream, const nlohmann::ordered_json& object);

// {"time", "id", "text", "device"}: "device" names the display the line is about, or is null.
class JsonLog : public OutputLog {
public:
    explicit JsonLog(std::FILE* stream) : m_stream(stream) {}
    void Write(const LogEntry& entry, const std::string& device) override;

private:
    std::mutex m_mutex;
    std::FILE* m_stream;
};

}  // namespace padsmith::cli
