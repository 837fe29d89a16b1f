#include "device/sim/SimTraceFile.h"

namespace padsmith::sim {

bool SimTraceFile::Open(const std::string& path, std::string& error) {
    m_file.open(path, std::ios::binary | std::ios::app);
    if (!m_file) {
        error = "trace file \"" + path + "\" cannot be opened";
        return false;
    }
    return true;
}

void SimTraceFile::Append(const ReportRecord& record) {
    if (!m_file.is_open()) return;
    m_file << TraceLine(record) << '\n' << std::flush;
}

void SimTraceFile::Close() {
    if (m_file.is_open()) m_file.close();
}

}  // namespace padsmith::sim
