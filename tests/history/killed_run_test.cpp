// A padsmith killed with SIGKILL in the middle of a write, after the erase: the real program on
// a simulated display with a full image, in real time. Its row was begun before the erase, so
// the history says "unfinished" for that display, and the file is whole.

#include <gtest/gtest.h>

#include <signal.h>

#include "tests/history/HistoryTest.h"
#include "tests/kernel/ChildProcess.h"
#include "tests/unit/TestRig.h"

namespace padsmith::test {
namespace {


TEST(KilledRun, AWriteAndAStationKilledAfterTheEraseLeaveUnfinishedRowsInAWholeFile) {
    ScratchDir dir;
    const std::string image = dir.File("fw.bin");
    WriteBytes(image, PatternImage(0xD800));
    const std::string historyOption = "--history=" + dir.File("history.sqlite3");
    RunOptions options;
    options.timeout = Millis(30'000);
    const std::string writeTrace = dir.File("write.trace");
    const std::string stationTrace = dir.File("station.trace");
    ChildProcess write({kPadsmith, "--simulate=trace=" + writeTrace, historyOption, "write", image}, options);
    ChildProcess station({kPadsmith, "--simulate=trace=" + stationTrace, historyOption, "station", image}, options);
    // Killed once each has written records after its erase, some 1.1 s in: 14 s before its end.
    const auto writing = [](const std::string& trace) { return Bytes(trace).find(" set 28") != std::string::npos; };
    EXPECT_TRUE(WaitUntil([&] { return writing(writeTrace) && writing(stationTrace); }));
    write.Signal(SIGKILL);
    station.Signal(SIGKILL);
    EXPECT_EQ(write.Wait().signal, SIGKILL);
    EXPECT_EQ(station.Wait().signal, SIGKILL);

    RawDatabase raw(dir.File("history.sqlite3"));
    EXPECT_EQ(raw.Value("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(raw.Value("SELECT count(*) FROM runs"), "2");
    EXPECT_EQ(raw.Value("SELECT count(*) FROM runs WHERE result = 'unfinished' AND ended = '' AND location = '1-1.1'"),
              "2");
    EXPECT_EQ(raw.Value("SELECT count(*) FROM runs WHERE command LIKE '% station %'"), "1");
    EXPECT_EQ(raw.Value("SELECT count(*) FROM runs WHERE command LIKE '% write %'"), "1");
}

}  // namespace
}  // namespace padsmith::test
