// The catalogue, the log line and the 51-line log.

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "base/Utf8.h"
#include "base/Version.h"

namespace padsmith {
namespace {

TEST(Catalogue, TextsAreExactAndMissingIdsAreEmpty) {
    EXPECT_EQ(LoadMessage(kMsgPleaseWait), L"Please wait when operatation...");
    EXPECT_EQ(LoadMessage(kMsgSetVidPidSuccess), L"Set VID?PID Success");
    EXPECT_EQ(LoadMessage(kMsgTitle), L"Velmora Nibcraft 7315 - HID Tool Ver 1.0.6.13");
    // The title names the version: a new project version must bring a new title.
    EXPECT_EQ(LoadMessage(kMsgTitle), L"Velmora Nibcraft 7315 - HID Tool Ver " + FromUtf8(PADSMITH_VERSION));
    EXPECT_EQ(LoadMessage(kMsgFileFilter), L"BIN(*.bin)|*.bin||");
    EXPECT_EQ(LoadMessage(116), L"");
    EXPECT_EQ(LoadMessage(100), L"");
    int entries = 0;
    for (int id = 0; id < 0x10000; ++id) entries += LoadMessage(static_cast<uint16_t>(id)).empty() ? 0 : 1;
    EXPECT_EQ(entries, 28);
}

TEST(Catalogue, PlaceholdersAreFilledOnceWithoutRescanning) {
    EXPECT_EQ(FormatMessageEntry(kMsgOpenFile, L"C:\\fw\\%2%1.bin"), L"Open File C:\\fw\\%2%1.bin");
    EXPECT_EQ(InsertTexts(L"a%1b%2c%3%", L"X", L"Y"), L"aXbYc%3%");
    EXPECT_EQ(FormatMessageEntry(117, L"x"), L"");
}

TEST(Catalogue, ALoaderOfTheProgramsOwnReplacesTheBuiltInCopy) {
    SetMessageLoader([](uint16_t id) { return std::wstring(id == 114 ? L"resource text" : L""); });
    EXPECT_EQ(LoadMessage(kMsgCancel), L"resource text");
    SetMessageLoader(nullptr);
    EXPECT_EQ(LoadMessage(kMsgCancel), L"Cancel");
}

TEST(LogLine, TheTimeStampIsZeroPaddedAndFollowedByTwoSpaces) {
    EXPECT_EQ(FormatTimeStamp({2021, 3, 4, 9, 5, 7}), L"2021/03/04, 09:05:07");
    EXPECT_EQ(FormatLogLine(L"2021/03/04, 09:05:07", L"Write Flash Success"),
              L"2021/03/04, 09:05:07  Write Flash Success");
    EXPECT_EQ(FormatLogLine(L"", L"x"), L"  x");
}

TEST(LogLine, ClockFieldsWithoutACalendarTimeGiveAnEmptyStamp) {
    EXPECT_EQ(FormatTimeStamp({1899, 12, 31, 0, 0, 0}), L"");
    EXPECT_EQ(FormatTimeStamp({2021, 13, 1, 0, 0, 0}), L"");
    EXPECT_EQ(FormatTimeStamp({2021, 1, 0, 0, 0, 0}), L"");
    EXPECT_EQ(FormatTimeStamp({2021, 1, 1, 24, 0, 0}), L"");
    EXPECT_EQ(FormatTimeStamp({2021, 1, 1, 0, 60, 0}), L"");
}

TEST(LogLine, LogWritesTheCurrentTimeAndTheCatalogueText) {
    ActivityLog log;
    Log(kMsgPleaseWait, log);
    Log(116, log);
    std::vector<std::wstring> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    std::wregex stamp(LR"(\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d  )");
    EXPECT_TRUE(std::regex_match(lines[1], std::wregex(LR"(\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d  Please wait when operatation\.\.\.)")))
        << ToUtf8(lines[1]);
    EXPECT_TRUE(std::regex_match(lines[0], stamp)) << ToUtf8(lines[0]);
}

TEST(ActivityLog, NewestFirstWhateverTheTextAndAtMostFiftyOneLines) {
    ActivityLog log;
    for (int i = 0; i < 50; ++i) log.InsertLine(L"m" + std::to_wstring(i));
    log.InsertLine(L"a sorts first");
    ASSERT_EQ(log.Lines().size(), 51u);
    EXPECT_EQ(log.Lines().front(), L"a sorts first");
    EXPECT_EQ(log.Lines().back(), L"m0");
    log.InsertLine(L"z sorts last");
    std::vector<std::wstring> lines = log.Lines();
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines[0], L"z sorts last");
    EXPECT_EQ(lines[1], L"a sorts first");
    EXPECT_EQ(lines.back(), L"m1");
    EXPECT_EQ(LinesToTrim(50), 0u);
    EXPECT_EQ(LinesToTrim(51), 1u);
}

TEST(ActivityLog, TheBoundHoldsWithManyThreadsAppending) {
    ActivityLog log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 200; ++i) log.InsertLine(std::to_wstring(t) + L":" + std::to_wstring(i));
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(log.Lines().size(), 51u);
}

}  // namespace
}  // namespace padsmith
