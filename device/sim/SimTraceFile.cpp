#include "device/sim/SimTraceFile.h"

#include <chrono>

namespace padsmith::sim {
namespace {
constexpr std::chrono::milliseconds kWritePeriod{5};
}  // namespace

SimTraceFile::~SimTraceFile() {
    Close();
}

bool SimTraceFile::Open(const std::string& path, std::string& error) {
    m_file.open(path, std::ios::binary | std::ios::app);
    if (!m_file) {
        error = "trace file \"" + path + "\" cannot be opened";
        return false;
    }
    m_open = true;
    m_stopping = false;
    m_writer = std::thread([this] { WriterLoop(); });
    return true;
}

void SimTraceFile::Append(const ReportRecord& record) {
    if (!m_open) return;
    std::string line = TraceLine(record);
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queued += line;
    m_queued += '\n';
}

void SimTraceFile::Flush() {
    std::lock_guard<std::mutex> file(m_fileMutex);  // lines leave the queue in order
    std::string lines;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        lines.swap(m_queued);
    }
    if (lines.empty() || !m_file.is_open()) return;
    m_file << lines << std::flush;
}

void SimTraceFile::Close() {
    if (!m_open.exchange(false)) return;
    m_stopping = true;
    if (m_writer.joinable()) m_writer.join();
    Flush();
    std::lock_guard<std::mutex> file(m_fileMutex);
    m_file.close();
}

void SimTraceFile::WriterLoop() {
    while (!m_stopping) {
        std::this_thread::sleep_for(kWritePeriod);
        Flush();
    }
}

}  // namespace padsmith::sim
