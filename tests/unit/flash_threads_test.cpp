// The Write Flash and Erase Flash runs: their lines in order, the button, and what reaches the
// device for every outcome.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "TestRig.h"
#include "app/FlashWorkers.h"
#include "protocol/OperationFrame.h"

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

TEST_F(WriteRunTest, TheImageIsReadOnceBeforeTheEraseAndWrittenAsItWasRead) {
    Rig rig;
    const std::wstring path = Image(0xD800);
    const std::vector<uint8_t> image = PatternImage(0xD800);
    // The file is emptied the moment the erase has gone through.
    class EmptiesTheFileAfterTheErase : public RecordedLog {
    public:
        explicit EmptiesTheFileAfterTheErase(std::filesystem::path file) : m_file(std::move(file)) {}
        void InsertLine(const std::wstring& line) override {
            if (line.find(L"Erase Flash Success") != std::wstring::npos) std::ofstream(m_file, std::ios::trunc);
            RecordedLog::InsertLine(line);
        }
    private:
        std::filesystem::path m_file;
    } log(path);
    EXPECT_EQ(WriteFlashThread(FlashJob{&log, &rig.driver, nullptr, path}), kResultSuccess);
    ASSERT_EQ(std::filesystem::file_size(path), 0u);
    std::vector<uint8_t> flash = rig.port.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x8000, flash.begin()));
    EXPECT_TRUE(std::equal(image.begin() + 0xB000, image.end(), flash.begin() + 0xB000));
}

TEST_F(WriteRunTest, ABadImageNeverErasesTheDevice) {
    Rig rig;
    std::vector<uint8_t> factory = rig.port.Flash();
    // Larger than the flash: one byte, 70,000 bytes, and a 3 GiB file (sparse: costs no disk).
    std::vector<std::wstring> bad{Image(0xD800, "fw.hex"), Image(0, "empty.bin"), Wide(dir.Path() / "missing.bin"),
                                  Wide(dir.Path() / "folder.bin"), Image(0xD801, "over.bin"),
                                  Image(70'000, "larger.bin"), Wide(dir.Path() / "huge.bin")};
    std::filesystem::create_directory(dir.Path() / "folder.bin");
    { std::ofstream create(dir.Path() / "huge.bin"); }
    std::filesystem::resize_file(dir.Path() / "huge.bin", 3ULL << 30);
#ifndef _WIN32
    // A FIFO would block the open until a writer came.
    ASSERT_EQ(mkfifo((dir.Path() / "fifo.bin").c_str(), 0600), 0);
    bad.push_back(Wide(dir.Path() / "fifo.bin"));
#endif
    for (const std::wstring& path : bad) {
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
