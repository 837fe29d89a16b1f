#pragma once
// The trace file of the simulated device: one line per report exchanged, appended and flushed at
// once, so a run that is killed still leaves every line it exchanged.

#include <fstream>
#include <string>

#include "device/sim/SimReport.h"

namespace padsmith::sim {

class SimTraceFile {
public:
    SimTraceFile() = default;
    // Opens `path` for appending; false with `error` when it cannot be opened.
    bool Open(const std::string& path, std::string& error);
    // Appends the record's line; nothing when no file is open.
    void Append(const ReportRecord& record);
    void Close();

private:
    std::ofstream m_file;
};

}  // namespace padsmith::sim
