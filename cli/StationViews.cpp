#include "cli/StationViews.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/Console.h"
#include "base/ShownText.h"
#include "base/TextColumns.h"
#include "base/Utf8.h"
#include "protocol/DeviceInfo.h"
#include "protocol/OperationFrame.h"

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

nlohmann::ordered_json InfoObject(const DeviceStatus& info) {
    return {{"pcbVersion", {{"value", info.pcbVersion}, {"text", ToUtf8(FormatPcbVersion(info.pcbVersion))}}},
            {"firmwareVersion",
             {{"value", info.firmwareVersion}, {"text", ToUtf8(FormatFirmwareVersion(info.firmwareVersion))}}},
            {"productSize", {{"value", info.sizeCode}, {"text", ToUtf8(FormatProductSize(info.sizeCode))}}}};
}

std::string TimeStamp() {
    return ToUtf8(FormatTimeStamp(CurrentLocalTime()));
}

}  // namespace

std::string ArrivalText(const HidInterface& display) {
    const DisplayOutcome named = OutcomeFor(display);
    return "arrived: " + named.vidPid + (named.serial.empty() ? "" : ", serial " + named.serial);
}

std::string ResultText(const DisplayOutcome& outcome) {
    if (outcome.Succeeded()) {
        return "done in " + Seconds(outcome.seconds) + " (" + std::to_string(outcome.recordsSent) + " records)";
    }
    return "failed: " + outcome.error.message;
}

// --- Lines ---

void StationLines::Line(const std::string& port, const std::string& text) {
    m_log.Write(LogEntry{FormatTimeStamp(CurrentLocalTime()), 0, FromUtf8(text)}, port);
}

void StationLines::OnArrival(const HidInterface& display) {
    Line(DisplayId(display), ArrivalText(display));
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

// --- JSON ---

void StationJson::Event(const char* name, const HidInterface* display, const std::string& port,
                        nlohmann::ordered_json more) {
    nlohmann::ordered_json event{{"event", name}, {"time", TimeStamp()}, {"port", port}};
    if (display != nullptr) {
        const DisplayOutcome named = OutcomeFor(*display);
        event["vidPid"] = named.vidPid;
        event["serial"] = named.serial.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(named.serial);
        event["node"] = named.node;
    }
    for (auto& item : more.items()) event[item.key()] = item.value();
    std::lock_guard<std::mutex> lock(m_mutex);
    PrintJsonLine(m_stream, event);
}

void StationJson::OnArrival(const HidInterface& display) {
    Event("arrival", &display, DisplayId(display));
}

void StationJson::OnIgnored(const HidInterface& display) {
    Event("ignored", &display, DisplayId(display));
}

void StationJson::OnStarted(const HidInterface& display) {
    Event("started", &display, DisplayId(display));
}

void StationJson::OnResult(const DisplayOutcome& outcome) {
    nlohmann::ordered_json result{
        {"event", "result"},
        {"time", TimeStamp()},
        {"port", outcome.port},
        {"vidPid", outcome.vidPid},
        {"serial", outcome.serial.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(outcome.serial)},
        {"node", outcome.node},
        {"info", outcome.info ? InfoObject(*outcome.info) : nlohmann::ordered_json(nullptr)},
        {"image", m_image},
        {"records", {{"sent", outcome.recordsSent}, {"refused", outcome.recordsRefused}}},
        {"seconds", outcome.seconds},
        {"result", ResultWord(outcome.result)},
        {"erased", outcome.erased},
        {"record", outcome.recordId.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(outcome.recordId)},
        {"error", outcome.error ? nlohmann::ordered_json{{"kind", ErrorKindName(outcome.error.kind)},
                                                         {"message", outcome.error.message}}
                                : nlohmann::ordered_json(nullptr)}};
    if (outcome.recordLost) {
        result["recordLost"] = {{"kind", ErrorKindName(outcome.recordLost.kind)}, {"message", outcome.recordLost.message}};
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    PrintJsonLine(m_stream, result);
}

void StationJson::OnLeft(const std::string& port) {
    Event("left", nullptr, port);
}

// --- Terminal ---

StationTerminal::StationTerminal(std::FILE* stream, std::FILE* messages, Clock& clock, std::string heading,
                                 std::function<std::string()> notice)
    : m_stream(stream),
      m_messages(messages),
      m_clock(clock),
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

StationTerminal::Row& StationTerminal::RowOf(const std::string& port) {
    return m_rows[port];
}

void StationTerminal::OnArrival(const HidInterface& display) {
    std::lock_guard<std::mutex> lock(m_mutex);
    RowOf(DisplayId(display)).state = ArrivalText(display);
    Draw();
}

void StationTerminal::OnIgnored(const HidInterface& display) {
    std::lock_guard<std::mutex> lock(m_mutex);
    RowOf(DisplayId(display)).state = "ignored: not a station port";
    Draw();
}

void StationTerminal::OnStarted(const HidInterface& display) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Row& row = RowOf(DisplayId(display));
    row.running = true;
    row.started = m_clock.Now();
    Draw();
}

void StationTerminal::OnState(const std::string& port, PortState state, int percent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Row& row = RowOf(port);
    switch (state) {
        case PortState::kReading: row.state = "reading"; break;
        case PortState::kErasing: row.state = "erasing"; break;
        case PortState::kWriting: row.state = "writing " + std::to_string(percent) + " %"; break;
        case PortState::kDone:
        case PortState::kFailed: return;  // the result says more
    }
    Draw();
}

void StationTerminal::OnResult(const DisplayOutcome& outcome) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Row& row = RowOf(outcome.port);
    row.running = false;
    row.seconds = outcome.seconds;
    row.state = outcome.Succeeded() ? "done" : "failed: " + outcome.error.message;
    ++(outcome.Succeeded() ? row.done : row.failed);
    Draw();
}

void StationTerminal::OnLeft(const std::string& port) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Row& row = RowOf(port);
    row.state = "waiting";
    row.seconds = 0;
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
    for (const auto& [port, row] : m_rows) {
        const double seconds = row.running ? std::chrono::duration<double>(now - row.started).count() : row.seconds;
        std::string shownPort = ShownText(port);
        shownPort.append(static_cast<size_t>(std::max(kPortColumns - TextColumns(shownPort), 0)), ' ');
        char counts[64];
        std::snprintf(counts, sizeof counts, " %-8s  done %-4d failed %-4d  ",
                      seconds > 0 ? Seconds(seconds).c_str() : "", row.done, row.failed);
        lines.push_back("  " + shownPort + counts + row.state);
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
