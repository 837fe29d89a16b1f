// Two stations, as two machines (each its history of its own), push to one line's server after
// each display: the real padsmith program on simulated lines, against a real PostgreSQL server
// that is stopped while they run and started again once they ended. After one more push of each
// history, the server holds every run of both, completed, and no revision of a run arrived twice.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "history/PostgresForwarder.h"
#include "tests/history/HistoryTest.h"
#include "tests/history/PostgresServer.h"
#include "tests/kernel/ChildProcess.h"
#include "tests/unit/TestRig.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;


TEST(StationsPushing, EveryRunArrivesOnceThoughTheServerStopsInTheMiddle) {
    if (const std::string why = PostgresServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    PostgresServer server;
    ASSERT_TRUE(server.Start()) << server.Log();
    ScratchDir dir;
    // The server's table is made by a first push; the arrivals are counted from then on.
    const history::PushResult first = history::PushToPostgres(*OpenStore(dir.File("empty.sqlite3")), server.Url());
    ASSERT_FALSE(first.error) << first.error.message;
    server.CountArrivals();

    // Four displays each, two at a time, each some 1.3 s: a small image.
    const std::string image = dir.File("fw.bin");
    WriteBytes(image, PatternImage(0x400));
    RunOptions options;
    options.timeout = Millis(60'000);
    const std::vector<std::string> histories{dir.File("station-1.sqlite3"), dir.File("station-2.sqlite3")};
    std::vector<std::unique_ptr<ChildProcess>> stations;
    for (const std::string& file : histories) {
        stations.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{kPadsmith, "--simulate=displays=2,leave-after=50,swap=50", "--history=" + file,
                                     "--push=" + server.Url(), "--max=4", "station", image},
            options));
    }
    // Stopped once a run of each station has arrived: the rest is recorded while it is down.
    // Meanwhile, their arguments as the process list shows them, once they run (their history
    // is made after the arguments are read).
    std::vector<std::string> arguments(stations.size());
    EXPECT_TRUE(WaitUntil([&] {
        for (size_t i = 0; i < stations.size(); ++i) {
            if (!std::filesystem::exists(histories[i])) continue;
            const std::string shown = Bytes("/proc/" + std::to_string(stations[i]->Pid()) + "/cmdline");
            if (!shown.empty()) arguments[i] = shown;  // empty once it has ended
        }
        return server.Value("SELECT count(DISTINCT command) FROM padsmith_runs WHERE result = 'success'") == "2";
    }));
    // The URL's password is in no process list while they run, nor in any row the server took.
    for (const std::string& shown : arguments) {
        EXPECT_THAT(shown, HasSubstr("--push=postgresql://padsmith:***********@/"));
    }
    EXPECT_EQ(server.Value("SELECT count(*) FROM padsmith_runs WHERE command LIKE '%line-secret%'"), "0");
    server.Stop();
    for (auto& station : stations) {
        const ProgramRun ended = station->Wait();
        EXPECT_EQ(ended.exitCode, 0) << ended.err;
        EXPECT_THAT(ended.err, HasSubstr("the runs not sent go with the next push"));
        // Told once, whatever the pushes said; never repeated by them.
        const std::string warning = "padsmith: warning: the URL holds a password";
        EXPECT_EQ(ended.err.find(warning), ended.err.rfind(warning)) << ended.err;
        EXPECT_THAT(ended.err, HasSubstr(warning + ", which shell histories and process lists show; keep it in ~/.pgpass"));
        EXPECT_THAT(ended.err, Not(HasSubstr("line-secret")));
    }

    ASSERT_TRUE(server.Start()) << server.Log();
    std::vector<std::string> ids;
    for (const std::string& file : histories) {
        const ProgramRun pushed = RunProgram({kPadsmith, "history", "push", server.Url(), "--history=" + file});
        EXPECT_EQ(pushed.exitCode, 0) << pushed.out << pushed.err;
        for (const history::RunRecord& run : Records(*OpenStore(file, history::HistoryAccess::kRead))) {
            ids.push_back(run.id);
        }
    }
    ASSERT_EQ(ids.size(), 8u);
    std::sort(ids.begin(), ids.end());
    std::string idList;
    for (const std::string& id : ids) idList += (idList.empty() ? "" : ",") + id;
    EXPECT_EQ(server.Value("SELECT string_agg(id, ',' ORDER BY id) FROM padsmith_runs"), idList);
    EXPECT_EQ(server.Value("SELECT count(*) FROM padsmith_runs WHERE result = 'success'"), "8");
    // A run pushed while unfinished arrives again completed; nothing arrives twice.
    EXPECT_EQ(server.Value("SELECT count(DISTINCT id) FROM arrivals"), "8");
    EXPECT_EQ(server.Value("SELECT count(*) FROM (SELECT 1 FROM arrivals GROUP BY id, revision HAVING count(*) > 1)"
                           " AS twice"),
              "0");
}

}  // namespace
}  // namespace padsmith::test
