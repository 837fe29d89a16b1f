// What the real program meets where its own files go: a FIFO as the history or the record is
// refused at once (each run has a timeout, so a program that waits on one fails the test instead
// of hanging it), and `history`, which touches no display, ends on SIGTERM as any program does.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include "tests/history/HistoryTest.h"
#include "tests/kernel/ChildProcess.h"
#include "tests/unit/TestRig.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;


TEST(PlantedFiles, AFifoAsTheHistoryOrTheRecordIsRefusedAtOnceAndNothingIsSent) {
    ScratchDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string image = dir.File("fw.bin");
    WriteBytes(image, PatternImage(0x400));
    const std::string trace = dir.File("trace.txt");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--history=" + fifo, "history"},
             {"--simulate=trace=" + trace, "--history=" + fifo, "write", image},
             {"--simulate=trace=" + trace, "--record=" + fifo, "info"}}) {
        SCOPED_TRACE(args.back());
        std::vector<std::string> argv{kPadsmith};
        argv.insert(argv.end(), args.begin(), args.end());
        RunOptions options;
        options.timeout = Millis(5'000);
        const ProgramRun run = RunProgram(argv, options);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_THAT(run.err, HasSubstr(fifo));
        EXPECT_THAT(run.err, HasSubstr(": a FIFO, not a regular file"));
        EXPECT_EQ(Bytes(trace), "");
    }
}

TEST(PlantedFiles, HistoryTouchesNoDisplayAndEndsOnSigterm) {
    ScratchDir dir;
    const std::string path = dir.File("history.sqlite3");
    // Another program holds the file whole, as one that is making it does: `history` waits for it.
    RawDatabase other(path);
    ASSERT_EQ(other.Execute("BEGIN EXCLUSIVE"), "");
    RunOptions options;
    options.timeout = Millis(5'000);
    ChildProcess history({kPadsmith, "--history=" + path, "history"}, options);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    history.Signal(SIGTERM);
    const ProgramRun run = history.Wait();
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, SIGTERM);
    EXPECT_THAT(run.err, Not(HasSubstr("finishes first")));
}

}  // namespace
}  // namespace padsmith::test
