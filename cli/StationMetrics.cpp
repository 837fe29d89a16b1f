#include "cli/StationMetrics.h"

#include <cstdio>

#include "base/UtcTime.h"
#include "base/Version.h"

namespace padsmith::cli {
namespace {

constexpr std::chrono::seconds kHistoryCountedEvery{1};

// A label's value: backslash, double quote and line feed escaped, as the format asks.
std::string LabelValue(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\') escaped += "\\\\";
        else if (c == '"') escaped += "\\\"";
        else if (c == '\n') escaped += "\\n";
        else escaped += c;
    }
    return escaped;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

class MetricsWriter {
public:
    void Family(const char* name, const char* type, const char* help) {
        m_name = name;
        m_text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    // One sample of the family; `labels` already written as name="value" pairs.
    void Sample(const std::string& labels, double value) {
        m_text += m_name + (labels.empty() ? "" : "{" + labels + "}") + " " + Number(value) + "\n";
    }
    std::string Text() const { return m_text; }

private:
    std::string m_name;
    std::string m_text;
};

std::string PortLabel(const std::string& port) {
    return "port=\"" + LabelValue(port) + "\"";
}

}  // namespace

std::string MetricsText(const StationNumbers& numbers) {
    MetricsWriter out;
    out.Family("padsmith_runs_total", "counter",
               "Displays' runs that ended on each port, by result and error kind (none for a success).");
    for (const auto& [port, status] : numbers.ports) {
        for (const auto& [key, count] : status.runs) {
            const char* kind = ErrorKindName(key.second);
            out.Sample(PortLabel(port) + ",result=\"" + ResultWord(key.first) + "\",kind=\"" +
                           (*kind != '\0' ? kind : "none") + "\"",
                       count);
        }
    }
    out.Family("padsmith_ports", "gauge", "Ports the station has seen a display on.");
    out.Sample("", static_cast<double>(numbers.ports.size()));
    out.Family("padsmith_ports_in_use", "gauge", "Ports where a display's run is under way.");
    int inUse = 0;
    for (const auto& entry : numbers.ports) inUse += entry.second.running ? 1 : 0;
    out.Sample("", inUse);
    out.Family("padsmith_port_out_of_service", "gauge",
               "1 for a port out of service after failures in a row (no display is started on it), else 0.");
    for (const auto& [port, status] : numbers.ports) out.Sample(PortLabel(port), status.outOfService ? 1 : 0);
    out.Family("padsmith_last_write_seconds", "gauge", "How long the last display written on each port took.");
    for (const auto& [port, status] : numbers.ports) {
        if (status.done > 0) out.Sample(PortLabel(port), status.lastWriteSeconds);
    }
    out.Family("padsmith_displays_total", "counter",
               "Displays that ran at the station, each counted once by its USB serial number.");
    out.Sample("", numbers.totals.displays);
    out.Family("padsmith_first_pass_written_total", "counter",
               "Displays written by their first run at the station (first-pass yield: over padsmith_displays_total).");
    out.Sample("", numbers.totals.firstPass);
    if (numbers.unsent) {
        out.Family("padsmith_history_unsent_runs", "gauge",
                   "Runs in the station's history that the line's server has not taken yet.");
        out.Sample("", static_cast<double>(numbers.unsent->runs));
        out.Family("padsmith_history_oldest_unsent_age_seconds", "gauge",
                   "How long ago the oldest run not yet taken by the line's server started; 0 when none.");
        const auto started = ParseUtcTimestamp(numbers.unsent->oldestStarted);
        // To the millisecond, as the history stamps.
        const std::chrono::milliseconds age =
            started ? std::chrono::duration_cast<std::chrono::milliseconds>(numbers.now - *started)
                    : std::chrono::milliseconds(0);
        out.Sample("", static_cast<double>(age.count()) / 1000);
    }
    out.Family("padsmith_image_info", "gauge", "The image the station writes, by its SHA-256.");
    out.Sample("sha256=\"" + LabelValue(numbers.imageSha256) + "\"", 1);
    out.Family("padsmith_build_info", "gauge", "padsmith's version.");
    out.Sample("version=\"" + LabelValue(PADSMITH_VERSION) + "\"", 1);
    return out.Text();
}

std::string StationMetrics::Text() {
    StationNumbers numbers;
    numbers.ports = m_ports.Snapshot();
    numbers.totals = m_ports.Totals();
    numbers.imageSha256 = m_imageSha256;
    numbers.now = std::chrono::system_clock::now();
    if (m_history != nullptr) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_counted >= kHistoryCountedEvery) {
            m_counted = now;
            history::UnsentSummary summary;
            m_unsent.reset();
            if (!m_history->SummarizeUnsent(summary)) m_unsent = summary;
        }
        numbers.unsent = m_unsent;
    }
    return MetricsText(numbers);
}

}  // namespace padsmith::cli
