#pragma once
// How padsmith draws a station: on a terminal, one line per port redrawn in place from the
// station's port model (app/StationPorts.h); elsewhere one log line per event, each naming its
// port; with --json one object per event. Each view takes what the station tells through its
// fan-out (app/RunObserver.h) and nothing else.

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/RunObserver.h"
#include "app/StationPorts.h"
#include "base/Clock.h"
#include "cli/JsonObjects.h"
#include "cli/StationJsonEvents.h"
#include "cli/OutputLog.h"

namespace padsmith::cli {

// The station's events as the views word them, shared by the line and terminal views.
std::string ArrivalText(const std::string& vidPid, const std::string& serial);
std::string ResultText(const DisplayOutcome& outcome);

// What the operator does to clear a port out of service: `howToClear` is the command
// (cli/PortClearing.h), empty where only a restart does.
std::string OutOfServiceText(const std::vector<PortFailure>& failures, const std::string& howToClear);

// One log line per event, through the run's log (time stamp, port, text).
class StationLines : public RunObserver {
public:
    // `howToClear`: see OutOfServiceText.
    StationLines(OutputLog& log, std::string howToClear) : m_log(log), m_howToClear(std::move(howToClear)) {}
    void OnArrival(const HidInterface& display) override;
    void OnIgnored(const HidInterface& display) override;
    void OnStarted(const HidInterface& display) override;
    void OnLogLine(const std::string& port, const LogEntry& entry) override { m_log.Write(entry, port); }
    void OnResult(const DisplayOutcome& outcome) override;
    void OnLeft(const std::string& port) override;
    void OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) override;
    void OnHeldBack(const HidInterface& display) override;
    void OnCleared(const std::string& port) override;

private:
    void Line(const std::string& port, const std::string& text);
    OutputLog& m_log;
    const std::string m_howToClear;
};

// --json: one object per event (cli/JsonObjects.h), printed as it comes.
class StationJson : public StationJsonEvents {
public:
    // `image`: the image's part of every result ({"path", "bytes", "sha256"}).
    StationJson(std::FILE* stream, Json image) : StationJsonEvents(std::move(image)), m_stream(stream) {}

protected:
    void Emit(const Json& object) override;

private:
    std::mutex m_mutex;
    std::FILE* m_stream;
};

// A terminal: a heading, then one line per port, redrawn in place as things change and every
// quarter of a second (the elapsed times move): its location, its state (waiting, reading,
// erasing, writing NN %, done, failed: why, out of service: the last failure's why), the current
// display's time, and the port's counts.
// Each line is one line of the terminal as wide as it is at that drawing (cut, never wrapped, so
// that going back up over the last drawing finds all of it), and every text is shown as text.
// Messages (stderr) are printed above the view, which is drawn again below them.
class StationTerminal : public RunObserver {
public:
    // Draws `ports` on `stream`; messages go to `messages`. `notice`, asked before each drawing,
    // gives a line to print above the view (the held interrupt's notice), or nothing; may be null.
    StationTerminal(std::FILE* stream, std::FILE* messages, Clock& clock, const StationPorts& ports,
                    std::string heading, std::function<std::string()> notice = nullptr);
    // Stops redrawing, after one last drawing.
    ~StationTerminal() override;
    StationTerminal(const StationTerminal&) = delete;
    StationTerminal& operator=(const StationTerminal&) = delete;

    // Whatever the station tells, the model has it: the view is drawn again.
    void OnArrival(const HidInterface&) override { Redraw(); }
    void OnIgnored(const HidInterface&) override { Redraw(); }
    void OnStarted(const HidInterface&) override { Redraw(); }
    void OnState(const std::string&, PortState, int) override { Redraw(); }
    void OnResult(const DisplayOutcome&) override { Redraw(); }
    void OnLeft(const std::string&) override { Redraw(); }
    void OnOutOfService(const std::string&, const std::vector<PortFailure>&) override { Redraw(); }
    void OnCleared(const std::string&) override { Redraw(); }
    // The last drawing, then nothing more is drawn.
    void Close();
    // One line (without its line break) on the message stream, above the view; from any thread.
    void Message(const std::string& line);

private:
    void Redraw();
    void Draw();                               // m_mutex held
    void PrintAbove(const std::string& line);  // m_mutex held
    void ShowNotice();                         // m_mutex held

    std::FILE* m_stream;
    std::FILE* m_messages;
    Clock& m_clock;
    const StationPorts& m_ports;
    const std::string m_heading;
    const std::function<std::string()> m_notice;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_drawn = 0;                    // lines of the last drawing
    bool m_closed = false;
    std::thread m_ticker;
};

}  // namespace padsmith::cli
