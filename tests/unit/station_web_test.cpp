// The station's web view below the browser: the port model's totals, the live feed (a reader that
// never reads is dropped, never waited for), the metrics' text, who may listen and read, and the
// HTTP server's answers and headers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "TestRig.h"
#include "app/StationPorts.h"
#include "base/UtcTime.h"
#include "cli/StationFeed.h"
#include "cli/StationMetrics.h"
#include "cli/StationWeb.h"
#include "cli/WebAccess.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

HidInterface Display(const std::string& location, const std::string& serial) {
    HidInterface display;
    display.path = L"/dev/hidraw-" + std::wstring(location.begin(), location.end());
    display.vendorId = 0x2A7D;
    display.productId = 0x6C21;
    display.location = location;
    display.serial = serial;
    return display;
}

// One display's run through every observer: arrival, start, its end.
void TellRun(RunObserver& observer, const std::string& location, const std::string& serial, bool written,
         ErrorKind kind = ErrorKind::kRefused) {
    const HidInterface display = Display(location, serial);
    observer.OnArrival(display);
    observer.OnStarted(display);
    observer.OnState(location, PortState::kWriting, 40);
    DisplayOutcome outcome = OutcomeFor(display);
    outcome.result = written ? RunResult::kSuccess : RunResult::kFailure;
    if (!written) outcome.error = Error(kind, "write record 0x0100: the display refused report 0x28");
    outcome.seconds = written ? 14.5 : 1.25;
    observer.OnResult(outcome);
}

TEST(StationPorts, CountsEachDisplayOnceAndAFirstPassOnlyWhenItsFirstRunWrote) {
    VirtualClock clock;
    StationPorts ports(clock);
    TellRun(ports, "1-1.1", "A", false);  // A fails, then is written: not a first pass
    TellRun(ports, "1-1.1", "A", true);
    TellRun(ports, "1-1.2", "B", true);
    TellRun(ports, "1-1.2", "", true);   // no serial: a display of its own each time
    const StationTotals totals = ports.Totals();
    EXPECT_EQ(totals.written, 3);
    EXPECT_EQ(totals.failed, 1);
    EXPECT_EQ(totals.displays, 3);
    EXPECT_EQ(totals.firstPass, 2);
    const PortStatus first = ports.Snapshot().at("1-1.1");
    EXPECT_EQ((first.runs.at({RunResult::kFailure, ErrorKind::kRefused})), 1);
    EXPECT_EQ((first.runs.at({RunResult::kSuccess, ErrorKind::kNone})), 1);
    EXPECT_DOUBLE_EQ(first.lastWriteSeconds, 14.5);
}

std::vector<std::string> Drain(cli::StationFeed& feed, cli::StationFeed::Reader& reader) {
    std::vector<std::string> events;
    for (;;) {
        const cli::StationFeed::Next next = feed.Take(reader, std::chrono::milliseconds(0));
        if (!next.event) return events;
        events.push_back(*next.event);
    }
}

TEST(StationFeed, AReaderGetsThePortsFirstThenTheJsonEventsAsTheyCome) {
    VirtualClock clock;
    StationPorts ports(clock);
    cli::StationFeed feed(ports, clock, cli::Json::object());
    TellRun(ports, "1-1.1", "before", true);  // the model holds it; the feed was told nothing
    const auto reader = feed.Subscribe();
    ASSERT_TRUE(reader);
    TellRun(feed, "1-1.2", "S2", false);
    feed.OnOutOfService("1-1.2", {PortFailure{"S2", Error(ErrorKind::kRefused, "refused")}});
    std::vector<std::string> events = Drain(feed, *reader);
    // The feed's own thread may send the ports again meanwhile: only the first is the reader's.
    events.erase(std::remove_if(events.begin() + 1, events.end(),
                                [](const std::string& event) { return event.rfind("event: ports", 0) == 0; }),
                 events.end());
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[4].rfind("data: {\"event\":\"quarantined\"", 0), 0u) << events[4];
    EXPECT_EQ(events[0].rfind("event: ports\ndata: {\"event\":\"ports\"", 0), 0u) << events[0];
    EXPECT_THAT(events[0], HasSubstr("\"serial\":\"before\""));
    EXPECT_EQ(events[1].rfind("data: {\"event\":\"arrival\"", 0), 0u) << events[1];
    EXPECT_THAT(events[3], HasSubstr("\"error\":{\"kind\":\"refused\""));
    for (const std::string& event : events) EXPECT_EQ(event.substr(event.size() - 2), "\n\n");
}

TEST(StationFeed, AReaderThatFallsBehindIsDroppedAndTheStationNeverWaitsForIt) {
    VirtualClock clock;
    StationPorts ports(clock);
    cli::StationFeed feed(ports, clock, cli::Json::object());
    const auto stalled = feed.Subscribe();
    const auto reading = feed.Subscribe();
    const auto started = std::chrono::steady_clock::now();
    for (size_t i = 0; i < cli::StationFeed::kQueueBound * 4; ++i) {
        feed.OnLeft("1-1." + std::to_string(i % 8));
        if (i % 16 == 0) Drain(feed, *reading);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_TRUE(feed.Take(*stalled, std::chrono::milliseconds(0)).ended);
    EXPECT_FALSE(feed.Take(*reading, std::chrono::milliseconds(0)).ended);
    // Readers are bounded: past the most, none is taken.
    std::vector<std::shared_ptr<cli::StationFeed::Reader>> more;
    while (auto reader = feed.Subscribe()) more.push_back(reader);
    EXPECT_EQ(more.size() + 2, cli::StationFeed::kMostReaders);
    feed.Close();
    Drain(feed, *reading);
    EXPECT_TRUE(feed.Take(*reading, std::chrono::seconds(5)).ended);
}

TEST(StationMetrics, RunsByPortResultAndKindWithLabelsEscapedAndNoSerialAnywhere) {
    VirtualClock clock;
    StationPorts ports(clock);
    TellRun(ports, "1-1.1", "SERIAL-ONE", true);
    TellRun(ports, "1-1.1", "SERIAL-TWO", false, ErrorKind::kGone);
    TellRun(ports, "we\"ird\\port\n", "SERIAL-THREE", false);
    cli::StationNumbers numbers;
    numbers.ports = ports.Snapshot();
    numbers.totals = ports.Totals();
    numbers.imageSha256 = std::string(64, 'a');
    numbers.now = std::chrono::system_clock::time_point(std::chrono::seconds(1'796'911'387));
    numbers.unsent = history::UnsentSummary{7, FormatUtcTimestamp(numbers.now - std::chrono::seconds(90))};
    const std::string text = cli::MetricsText(numbers);
    for (const char* line : {
             "padsmith_runs_total{port=\"1-1.1\",result=\"success\",kind=\"none\"} 1\n",
             "padsmith_runs_total{port=\"1-1.1\",result=\"failure\",kind=\"gone\"} 1\n",
             "padsmith_runs_total{port=\"we\\\"ird\\\\port\\n\",result=\"failure\",kind=\"refused\"} 1\n",
             "# TYPE padsmith_runs_total counter\n",
             "padsmith_ports_in_use 0\n",
             "padsmith_port_out_of_service{port=\"1-1.1\"} 0\n",
             "padsmith_last_write_seconds{port=\"1-1.1\"} 14.5\n",
             "padsmith_displays_total 3\n",
             "padsmith_first_pass_written_total 1\n",
             "padsmith_history_unsent_runs 7\n",
             "padsmith_history_oldest_unsent_age_seconds 90\n",
             "padsmith_build_info{version=\"",
         }) {
        EXPECT_THAT(text, HasSubstr(line));
    }
    EXPECT_THAT(text, Not(HasSubstr("SERIAL")));
    numbers.unsent.reset();  // no history kept: nothing said of it
    EXPECT_THAT(cli::MetricsText(numbers), Not(HasSubstr("padsmith_history")));
}

TEST(UtcTime, AStampReadsBackAsTheTimeItWasMadeFromAndNothingElseReads) {
    const auto time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'796'911'387'123));
    EXPECT_EQ(ParseUtcTimestamp(FormatUtcTimestamp(time)), time);
    for (const char* text : {"", "2026-12-10", "2026-02-30T00:00:00.000Z", "2026-12-10T24:00:00.000Z",
                             "2026-12-10T10:00:00.000", "2026-12-10 10:00:00.000Z"}) {
        EXPECT_FALSE(ParseUtcTimestamp(text)) << text;
    }
}

TEST(WebAccess, ListenAddressesLoopbackAndTokens) {
    struct Case {
        const char* text;
        bool valid;
        const char* host;
        int port;
        bool loopback;
    };
    for (const Case& c : std::vector<Case>{{"127.0.0.1:8080", true, "127.0.0.1", 8080, true},
                                           {"127.0.0.2:0", true, "127.0.0.2", 0, true},
                                           {"[::1]:9", true, "::1", 9, true},
                                           {"localhost:80", true, "localhost", 80, true},
                                           {"0.0.0.0:8080", true, "0.0.0.0", 8080, false},
                                           {"128.0.0.1:1", true, "128.0.0.1", 1, false},
                                           {"127.0.0.1.example:1", true, "127.0.0.1.example", 1, false},
                                           {"::1:8080", false, "", 0, false},
                                           {"8080", false, "", 0, false},
                                           {"127.0.0.1:65536", false, "", 0, false}}) {
        cli::ListenAddress address;
        std::string error;
        ASSERT_EQ(cli::ParseListenAddress(c.text, address, error), c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(address.host, c.host);
        EXPECT_EQ(address.port, c.port);
        EXPECT_EQ(cli::IsLoopbackHost(address.host), c.loopback) << c.text;
    }
    EXPECT_TRUE(cli::BearerTokenMatches("Bearer s3cret-token", "s3cret-token"));
    for (const char* wrong : {"", "s3cret-token", "Bearer s3cret-toke", "Bearer s3cret-token2", "Basic s3cret-token"}) {
        EXPECT_FALSE(cli::BearerTokenMatches(wrong, "s3cret-token")) << wrong;
    }
    EXPECT_FALSE(cli::BearerTokenMatches("Bearer ", ""));
    TempDir dir;
    std::ofstream(dir.Path() / "token") << "s3cret-token\n";
    std::ofstream(dir.Path() / "empty") << "\n";
    EXPECT_EQ(*cli::ReadListenToken((dir.Path() / "token").string()), "s3cret-token");
    EXPECT_FALSE(cli::ReadListenToken((dir.Path() / "empty").string()));
    EXPECT_FALSE(cli::ReadListenToken((dir.Path() / "missing").string()));
}

TEST(HistoryAnswer, AFilterItCannotReadIsRefusedWithItsReason) {
    int status = 0;
    EXPECT_EQ(cli::HistoryAnswer(nullptr, {{"since", "yesterday"}}, status)["error"], 
              "since takes a UTC date and time, YYYY-MM-DD[THH:MM[:SS]]");
    EXPECT_EQ(status, 400);
    cli::HistoryAnswer(nullptr, {{"result", "' OR 1=1 --"}}, status);
    EXPECT_EQ(status, 400);
    const cli::Json answer = cli::HistoryAnswer(nullptr, {{"result", "unfinished"}, {"since", "2026-12-10"}}, status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer["runs"], cli::Json::array());
}

}  // namespace
}  // namespace padsmith::test
