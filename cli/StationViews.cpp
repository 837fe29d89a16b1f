#include "cli/StationViews.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/Console.h"
#include "base/ShownText.h"
#include "base/TextColumns.h"
#include "base/Utf8.h"
#include "cli/JsonOutput.h"

namespace padsmith::cli {
namespace {

constexpr std::chrono::milliseconds kRedrawEvery{250};
// The width assumed when the terminal does not tell its own.
constexpr int kUsualColumns = 80;
constexpr int kPortColumns = 10;  // most locations fit ("1-1.3", "2-1.4.2")

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// A port's state on its line: waiting, arrived, ignored, reading, erasing, writing NN %, done,
// failed: why; out of service: why, whatever its display does.
std::string StateText(const PortStatus& port) {
    if (port.outOfService && !port.failures.empty()) return "out of service: " + port.failures.back().error.message;
    switch (port.phase) {
        case PortPhase::kWaiting: return "waiting";
        case PortPhase::kArrived: return ArrivalText(port.vidPid, port.serial);
        case PortPhase::kIgnored: return "ignored: not a station port";
        case PortPhase::kReading: return "reading";
        case PortPhase::kErasing: return "erasing";
        case PortPhase::kWriting: return "writing " + std::to_string(port.percent) + " %";
        case PortPhase::kEnded: break;
    }
    const std::string shown = RowOf(port.lastResult).shown;
    return port.lastError.empty() ? shown : shown + ": " + port.lastError;
}

}  // namespace

std::string ArrivalText(const std::string& vidPid, const std::string& serial) {
    return "arrived: " + vidPid + (serial.empty() ? "" : ", serial " + serial);
}

std::string ResultText(const DisplayOutcome& outcome) {
    const std::string shown = RowOf(outcome.result).shown;
    if (outcome.Succeeded()) {
        return shown + " in " + Seconds(outcome.seconds) + " (" + std::to_string(outcome.recordsSent) + " records)";
    }
    if (!outcome.error) return shown + ": nothing written";
    return shown + ": " + outcome.error.message;
}

std::string OutOfServiceText(const std::vector<PortFailure>& failures, const std::string& howToClear) {
    std::string reasons;
    for (const PortFailure& failure : failures) {
        if (!reasons.empty()) reasons += "; ";
        reasons += (failure.serial.empty() ? "" : failure.serial + ": ") + failure.error.message;
    }
    const size_t count = failures.size();
    return "out of service after " + std::to_string(count) + (count == 1 ? " failure" : " failures in a row") +
           " (" + reasons + "); no display is started on it until the station is restarted" +
           (howToClear.empty() ? "" : " or the port cleared (" + howToClear + ")");
}

// --- Lines ---

void StationLines::Line(const std::string& port, const std::string& text) {
    m_log.Write(LogEntry{FormatTimeStamp(CurrentLocalTime()), 0, FromUtf8(text)}, port);
}

void StationLines::OnArrival(const HidInterface& display) {
    const DisplayOutcome named = OutcomeFor(display);
    Line(named.port, ArrivalText(named.vidPid, named.serial));
}

void StationLines::OnIgnored(const HidInterface& display) {
    Line(DisplayId(display), "ignored: not one of the station's ports (--ports); nothing is sent to it");
}

void StationLines::OnStarted(const HidInterface& display) {
    Line(DisplayId(display), "started");
}

void StationLines::OnResult(const DisplayOutcome& outcome) {
    Line(outcome.port, ResultText(outcome));
    if (outcome.recordLost) Line(outcome.port, outcome.recordLost.message);
}

void StationLines::OnLeft(const std::string& port) {
    Line(port, "left; the port is ready for the next display");
}

void StationLines::OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) {
    Line(port, OutOfServiceText(failures, m_howToClear));
}

void StationLines::OnHeldBack(const HidInterface& display) {
    Line(DisplayId(display), "not started: the port is out of service; nothing is sent to it");
}

void StationLines::OnCleared(const std::string& port) {
    Line(port, "cleared: back in service");
}

// --- JSON ---

void StationJson::Emit(const Json& object) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PrintJsonLine(m_stream, object);
}

// --- Terminal ---

StationTerminal::StationTerminal(std::FILE* stream, std::FILE* messages, Clock& clock, const StationPorts& ports,
                                 std::string heading, std::function<std::string()> notice)
    : m_stream(stream),
      m_messages(messages),
      m_clock(clock),
      m_ports(ports),
      m_heading(std::move(heading)),
      m_notice(std::move(notice)) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Draw();
    }
    // Real time on purpose: the view is for a person, whatever clock the station runs on.
    m_ticker = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_closed) {
            m_changed.wait_for(lock, kRedrawEvery);
            if (m_closed) break;
            ShowNotice();
            Draw();
        }
    });
}

StationTerminal::~StationTerminal() {
    Close();
}

void StationTerminal::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return;
        ShowNotice();
        Draw();
        m_closed = true;
    }
    m_changed.notify_all();
    if (m_ticker.joinable()) m_ticker.join();
}

void StationTerminal::Message(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PrintAbove(line);
}

void StationTerminal::PrintAbove(const std::string& line) {
    if (!m_closed && m_drawn > 0) {
        // Up to the view's first line, and the view cleared: the line takes its place.
        std::fprintf(m_stream, "\033[%dF\033[J", m_drawn);
        std::fflush(m_stream);
        m_drawn = 0;
    }
    std::fprintf(m_messages, "%s\n", line.c_str());
    std::fflush(m_messages);
    Draw();  // below the line
}

void StationTerminal::ShowNotice() {
    if (!m_notice) return;
    const std::string notice = m_notice();
    if (!notice.empty()) PrintAbove(notice);
}

void StationTerminal::Redraw() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Draw();
}

void StationTerminal::Draw() {
    if (m_closed) return;
    std::string screen;
    // Back to the first line of the last drawing, then every line over again.
    if (m_drawn > 0) screen += "\033[" + std::to_string(m_drawn) + "F";
    std::vector<std::string> lines;
    for (size_t start = 0; start <= m_heading.size();) {
        const size_t end = std::min(m_heading.find('\n', start), m_heading.size());
        lines.push_back(m_heading.substr(start, end - start));
        start = end + 1;
    }
    const Micros now = m_clock.Now();
    for (const auto& [port, row] : m_ports.Snapshot()) {
        const double seconds = row.running ? std::chrono::duration<double>(now - row.started).count() : row.seconds;
        std::string shownPort = ShownText(port);
        shownPort.append(static_cast<size_t>(std::max(kPortColumns - TextColumns(shownPort), 0)), ' ');
        // Displays already current are named where a port had any.
        const std::string current = row.current > 0 ? "current " + std::to_string(row.current) + " " : "";
        char counts[96];
        std::snprintf(counts, sizeof counts, " %-8s  done %-4d %sfailed %-4d  ",
                      seconds > 0 ? Seconds(seconds).c_str() : "", row.done, current.c_str(), row.failed);
        lines.push_back("  " + shownPort + counts + StateText(row));
    }
    // One column is left free: some terminals wrap as soon as the last one is written.
    const int room = std::max(TerminalColumns(m_stream).value_or(kUsualColumns) - 1, 1);
    for (const std::string& line : lines) screen += "\033[2K" + FitToColumns(ShownText(line), room) + "\n";
    // Nothing below the view: a terminal that rewraps its lines when it is narrowed may have
    // pushed some of the last drawing down there.
    screen += "\033[J";
    m_drawn = static_cast<int>(lines.size());
    std::fputs(screen.c_str(), m_stream);
    std::fflush(m_stream);
}

}  // namespace padsmith::cli
