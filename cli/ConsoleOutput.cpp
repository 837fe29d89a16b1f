#include "cli/ConsoleOutput.h"

#include <string>

#include "base/ShownText.h"
#include "base/Utf8.h"

namespace padsmith::cli {

void ConsoleLog::Write(const LogEntry& entry, const std::string& device) {
    // The display's name as bytes: one that is not UTF-8 shows which bytes it holds.
    const std::wstring about = device.empty() ? entry.text : FromNativeFileName(device) + L"  " + entry.text;
    const std::wstring line = entry.timeStamp.empty() ? about : FormatLogLine(entry.timeStamp, about);
    std::string text = ToUtf8(ShownText(line));
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fprintf(m_stream, "%s\n", text.c_str());
    std::fflush(m_stream);
}

void ConsoleTrace::TraceLine(const wchar_t* line) {
    std::fputs(ToUtf8(line).c_str(), m_stream);
}

void ProgressBar::OnRecordWritten(int written, int total) {
    constexpr int kWidth = 40;
    int percent = total > 0 ? written * 100 / total : 100;
    if (percent == m_shownPercent) return;  // redraw only when it shows something new
    m_shownPercent = percent;
    int filled = percent * kWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(m_stream, "\r[%s] %3d%%  %d/%d records", bar.c_str(), percent, written, total);
    std::fflush(m_stream);
}

void ProgressBar::OnWriteEnded() {
    if (m_shownPercent >= 0) std::fputs("\r\033[K", m_stream);  // clear the bar's line
    std::fflush(m_stream);
    m_shownPercent = -1;
}

}  // namespace padsmith::cli
