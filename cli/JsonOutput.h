#pragma once
// padsmith --json: stdout carries one JSON object per line and nothing else. Each activity-log
// line becomes {"time", "id", "text"}; a last object gives the run's result.

#include <cstdio>
#include <mutex>

#include <nlohmann/json.hpp>

#include "app/ActivityLog.h"

namespace padsmith::cli {

// Writes `object` as one line. Text that is not valid UTF-8 (a file name's stray bytes) comes
// out as U+FFFD, so every line is valid JSON.
void PrintJsonLine(std::FILE* stream, const nlohmann::ordered_json& object);

class JsonLog : public LogList {
public:
    explicit JsonLog(std::FILE* stream) : m_stream(stream) {}
    // Lines come as entries; a bare line has no ID.
    void InsertLine(const std::wstring& line) override;
    void InsertEntry(const LogEntry& entry) override;

private:
    std::mutex m_mutex;
    std::FILE* m_stream;
};

}  // namespace padsmith::cli
