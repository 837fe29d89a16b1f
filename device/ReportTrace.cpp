#include "device/ReportTrace.h"

#include <chrono>
#include <cstdio>

namespace padsmith {
namespace {
constexpr std::chrono::milliseconds kWritePeriod{50};  // see ReportTrace.h
}  // namespace

const char* ReportKindName(ReportKind kind) {
    switch (kind) {
        case ReportKind::kSet: return "set";
        case ReportKind::kSetRefused: return "set-refused";
        case ReportKind::kGet: return "get";
        case ReportKind::kGetFailed: return "get-failed";
        case ReportKind::kInput: return "input";
    }
    return "?";
}

void AppendTraceLine(Micros time, ReportKind kind, const uint8_t* bytes, size_t length,
                     std::string& line) {
    static const char kHex[] = "0123456789ABCDEF";
    char number[24];
    std::snprintf(number, sizeof(number), "%lld ", static_cast<long long>(time.count()));
    line += number;
    line += ReportKindName(kind);
    line += ' ';
    for (size_t i = 0; i < length; ++i) {
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0x0F];
    }
}

std::string TraceLine(const ReportRecord& record) {
    std::string line;
    AppendTraceLine(record.time, record.kind, record.bytes.data(), record.bytes.size(), line);
    return line;
}

ReportTraceFile::~ReportTraceFile() {
    Close();
}

bool ReportTraceFile::Open(const std::string& path, std::string& error) {
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

void ReportTraceFile::Append(Micros time, ReportKind kind, const uint8_t* bytes, size_t length) {
    if (!m_open) return;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    AppendTraceLine(time, kind, bytes, length, m_queued);
    m_queued += '\n';
}

void ReportTraceFile::Flush() {
    std::lock_guard<std::mutex> file(m_fileMutex);  // lines leave the queue in order
    std::string lines;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        lines.swap(m_queued);
    }
    if (lines.empty() || !m_file.is_open()) return;
    m_file << lines << std::flush;
}

void ReportTraceFile::Close() {
    if (!m_open.exchange(false)) return;
    m_stopping = true;
    if (m_writer.joinable()) m_writer.join();
    Flush();
    std::lock_guard<std::mutex> file(m_fileMutex);
    m_file.close();
}

void ReportTraceFile::WriterLoop() {
    while (!m_stopping) {
        std::this_thread::sleep_for(kWritePeriod);
        Flush();
    }
}

}  // namespace padsmith
