// The Write Flash and Erase Flash runs: their lines in order, the button, and what reaches the
// device for every outcome.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestRig.h"
#include "app/FlashWorkers.h"
#include "protocol/OperationResult.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;

struct RunOutcome {
    uint32_t result;
    std::vector<std::wstring> lines;  // oldest first
    std::vector<bool> button;         // every enable (true) or disable (false), in order
};

RunOutcome WriteRun(Rig& rig, const std::wstring& path, bool withDriver = true) {
    RecordedLog log;
    RecordedButton button;
    uint32_t result = WriteFlashThread(FlashJob{&log, withDriver ? &rig.driver : nullptr, &button, path});
    return RunOutcome{result, log.Texts(), button.Changes()};
}

RunOutcome EraseRun(Rig& rig, bool withDriver = true) {
    RecordedLog log;
    RecordedButton button;
    uint32_t result = EraseFlashThread(FlashJob{&log, withDriver ? &rig.driver : nullptr, &button, L""});
    return RunOutcome{result, log.Texts(), button.Changes()};
}

class WriteRunTest : public ::testing::Test {
protected:
    std::wstring Image(size_t length, const char* name = "fw.bin") { return Wide(dir.Write(name, PatternImage(length))); }
    TempDir dir;
};

TEST_F(WriteRunTest, Success) {
    Rig rig;
    RunOutcome run = WriteRun(rig, Image(0xD800));
    EXPECT_EQ(run.result, kResultSuccess);
    EXPECT_THAT(run.lines, ElementsAre(L"Erase Flash Success", L"Please wait when operatation...", L"Write Flash Success"));
    EXPECT_THAT(run.button, ElementsAre(true));
}

TEST_F(WriteRunTest, AFailedEraseEndsTheRunWithoutWriting) {
    Rig rig(Options("refuse-erase"));
    RunOutcome run = WriteRun(rig, Image(0xD800));
    EXPECT_EQ(run.result, kResultFailure);
    EXPECT_THAT(run.lines, ElementsAre(L"Erase Flash Fail"));
    EXPECT_THAT(run.button, ElementsAre(true));
    EXPECT_TRUE(rig.Sets(0x28).empty());
}

TEST_F(WriteRunTest, ABusyEraseEndsTheRunWithoutWriting) {
    Rig rig;
    ASSERT_TRUE(CDriverTestPeer::DeviceLock(rig.driver).Wait(Millis(0)));
    RunOutcome run = WriteRun(rig, Image(0xD800));
    EXPECT_EQ(run.result, kResultBusy);
    EXPECT_THAT(run.lines, ElementsAre(L"Device is busy"));
    EXPECT_THAT(run.button, ElementsAre(true));
    EXPECT_TRUE(rig.port.Reports().empty());
}

TEST_F(WriteRunTest, ARefusedRecordFailsTheWrite) {
    Rig rig(Options("refuse-at=0x40"));
    RunOutcome run = WriteRun(rig, Image(0xD800));
    EXPECT_EQ(run.result, kResultFailure);
    EXPECT_THAT(run.lines, ElementsAre(L"Erase Flash Success", L"Please wait when operatation...", L"Write Flash Fail"));
    EXPECT_THAT(run.button, ElementsAre(true));
}

TEST_F(WriteRunTest, TheDeviceLeavingDuringTheWriteFailsIt) {
    Rig rig(Options("unplug-after=100"));
    RunOutcome run = WriteRun(rig, Image(0xD800));
    EXPECT_EQ(run.result, kResultFailure);
    EXPECT_EQ(run.lines.back(), L"Write Flash Fail");
    EXPECT_EQ(rig.port.AcceptedWriteRecords(), 100);
}

TEST_F(WriteRunTest, ABadImageNeverErasesTheDevice) {
    Rig rig;
    std::vector<uint8_t> factory = rig.port.Flash();
    for (const std::wstring& path : {Image(0xD800, "fw.hex"), Image(0, "empty.bin"), Wide(dir.Path() / "missing.bin")}) {
        RunOutcome run = WriteRun(rig, path);
        EXPECT_EQ(run.result, kResultFailure);
        EXPECT_THAT(run.lines, ElementsAre(L"Write Flash Fail"));
        EXPECT_THAT(run.button, ElementsAre(true));
    }
    EXPECT_TRUE(rig.port.Reports().empty());
    EXPECT_EQ(rig.port.Flash(), factory);
}

TEST_F(WriteRunTest, WithoutADriverOnlyThePleaseWaitLine) {
    Rig rig;
    RunOutcome run = WriteRun(rig, Image(64), false);
    EXPECT_THAT(run.lines, ElementsAre(L"Please wait when operatation..."));
    EXPECT_THAT(run.button, ElementsAre(true));
    EXPECT_TRUE(rig.port.Reports().empty());
}

TEST(EraseRunTest, PleaseWaitComesBeforeTheOutcome) {
    Rig ok;
    RunOutcome run = EraseRun(ok);
    EXPECT_EQ(run.result, kResultSuccess);
    EXPECT_THAT(run.lines, ElementsAre(L"Please wait when operatation...", L"Erase Flash Success"));
    EXPECT_THAT(run.button, ElementsAre(false, true));

    Rig refused(Options("refuse-erase"));
    EXPECT_THAT(EraseRun(refused).lines, ElementsAre(L"Please wait when operatation...", L"Erase Flash Fail"));

    Rig busy;
    ASSERT_TRUE(CDriverTestPeer::DeviceLock(busy.driver).Wait(Millis(0)));
    run = EraseRun(busy);
    EXPECT_EQ(run.result, kResultBusy);
    EXPECT_THAT(run.lines, ElementsAre(L"Please wait when operatation...", L"Device is busy"));

    run = EraseRun(ok, false);
    EXPECT_THAT(run.lines, ElementsAre(L"Please wait when operatation..."));
    EXPECT_THAT(run.button, ElementsAre(false, true));
}

TEST(FlashWorkersTest, AWorkerWorksOnItsOwnCopyOfTheJob) {
    Rig rig;
    RecordedLog log;
    FlashWorkers workers(&rig.clock);
    FlashJob job{&log, &rig.driver, nullptr, L""};
    ASSERT_TRUE(workers.Start(EraseFlashThread, job));
    job.pDriver = nullptr;  // the dialog refills its block for the next click
    job.pLogList = nullptr;
    workers.WaitAll();
    EXPECT_THAT(log.Texts(), ElementsAre(L"Please wait when operatation...", L"Erase Flash Success"));
}

}  // namespace
}  // namespace padsmith::test
