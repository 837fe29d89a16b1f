#pragma once
// How padsmith draws a station: on a terminal, one line per port redrawn in place; elsewhere one
// log line per event, each naming its port; with --json one object per event. Each view takes
// what the station tells (app/Station.h) and nothing else.

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/Station.h"
#include "base/Clock.h"
#include "cli/JsonOutput.h"
#include "cli/OutputLog.h"

namespace padsmith::cli {

// The station's events as the views word them, shared by the line and terminal views.
std::string ArrivalText(const HidInterface& display);
std::string ResultText(const DisplayOutcome& outcome);

// One log line per event, through the run's log (time stamp, port, text).
class StationLines : public StationObserver {
public:
    explicit StationLines(OutputLog& log) : m_log(log) {}
    void OnArrival(const HidInterface& display) override;
    void OnIgnored(const HidInterface& display) override;
    void OnStarted(const HidInterface& display) override;
    void OnState(const std::string&, PortState, int) override {}
    void OnLogLine(const std::string& port, const LogEntry& entry) override { m_log.Write(entry, port); }
    void OnResult(const DisplayOutcome& outcome) override;
    void OnLeft(const std::string& port) override;

private:
    void Line(const std::string& port, const std::string& text);
    OutputLog& m_log;
};

// --json: {"event": "arrival" | "ignored" | "started" | "result" | "left", "time", "port", ...};
// a result carries the display, the information read before the erase, the image's digest, the
// records, the seconds and the error.
class StationJson : public StationObserver {
public:
    // `image`: the image's part of every result ({"path", "bytes", "sha256"}).
    StationJson(std::FILE* stream, nlohmann::ordered_json image) : m_stream(stream), m_image(std::move(image)) {}
    void OnArrival(const HidInterface& display) override;
    void OnIgnored(const HidInterface& display) override;
    void OnStarted(const HidInterface& display) override;
    void OnState(const std::string&, PortState, int) override {}
    void OnLogLine(const std::string&, const LogEntry&) override {}
    void OnResult(const DisplayOutcome& outcome) override;
    void OnLeft(const std::string& port) override;

private:
    void Event(const char* name, const HidInterface* display, const std::string& port,
               nlohmann::ordered_json more = nlohmann::ordered_json::object());
    std::mutex m_mutex;
    std::FILE* m_stream;
    const nlohmann::ordered_json m_image;
};

// A terminal: a heading, then one line per port, redrawn in place as things change and every
// quarter of a second (the elapsed times move): its location, its state (waiting, reading,
// erasing, writing NN %, done, failed: why), the current display's time, and the port's counts.
// Each line is one line of the terminal as wide as it is at that drawing (cut, never wrapped, so
// that going back up over the last drawing finds all of it), and every text is shown as text.
// Messages (stderr) are printed above the view, which is drawn again below them.
class StationTerminal : public StationObserver {
public:
    // Draws on `stream`; messages go to `messages`. `notice`, asked before each drawing, gives a
    // line to print above the view (the held interrupt's notice), or nothing; may be null.
    StationTerminal(std::FILE* stream, std::FILE* messages, Clock& clock, std::string heading,
                    std::function<std::string()> notice = nullptr);
    // Stops redrawing, after one last drawing.
    ~StationTerminal() override;
    StationTerminal(const StationTerminal&) = delete;
    StationTerminal& operator=(const StationTerminal&) = delete;

    void OnArrival(const HidInterface& display) override;
    void OnIgnored(const HidInterface& display) override;
    void OnStarted(const HidInterface& display) override;
    void OnState(const std::string& port, PortState state, int percent) override;
    void OnLogLine(const std::string&, const LogEntry&) override {}
    void OnResult(const DisplayOutcome& outcome) override;
    void OnLeft(const std::string& port) override;
    // The last drawing, then nothing more is drawn.
    void Close();
    // One line (without its line break) on the message stream, above the view; from any thread.
    void Message(const std::string& line);

private:
    struct Row {
        std::string state = "waiting";
        bool running = false;
        Micros started{0};
        double seconds = 0;  // the last display's, once it ended
        int done = 0;
        int failed = 0;
    };
    Row& RowOf(const std::string& port);       // m_mutex held
    void Draw();                               // m_mutex held
    void PrintAbove(const std::string& line);  // m_mutex held
    void ShowNotice();                         // m_mutex held

    std::FILE* m_stream;
    std::FILE* m_messages;
    Clock& m_clock;
    const std::string m_heading;
    const std::function<std::string()> m_notice;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, Row> m_rows;  // by location: ports sort as they sit on the hub
    int m_drawn = 0;                    // lines of the last drawing
    bool m_closed = false;
    std::thread m_ticker;
};

}  // namespace padsmith::cli
