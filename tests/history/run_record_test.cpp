// What a run's record is made of: its ID, its UTC time stamps, where the history lives.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "base/HostName.h"
#include "base/UtcTime.h"
#include "base/Version.h"
#include "history/HistoryLocation.h"
#include "history/RecordId.h"
#include "history/RunRecord.h"

namespace padsmith::test {
namespace {

using ::testing::MatchesRegex;

TEST(RunRecord, TimeStampsAreUtcWithMillisecondsAcrossLeapDaysAndCenturies) {
    using std::chrono::milliseconds;
    using std::chrono::system_clock;
    auto at = [](int64_t millis) { return FormatUtcTimestamp(system_clock::time_point(milliseconds(millis))); };
    EXPECT_EQ(at(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(at(1796911387123), "2026-12-10T14:03:07.123Z");
    EXPECT_EQ(at(951782400000 - 1), "2000-02-28T23:59:59.999Z");
    EXPECT_EQ(at(951782400000), "2000-02-29T00:00:00.000Z");
    EXPECT_EQ(at(4107542400000), "2100-03-01T00:00:00.000Z");  // 2100 has no leap day
    EXPECT_EQ(at(-1), "1969-12-31T23:59:59.999Z");
}

TEST(RunRecord, AStartedRecordHasAFreshVersion4IdAndSaysWhereAndWhatRan) {
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        const std::string id = history::NewRecordId();
        ASSERT_THAT(id, MatchesRegex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"));
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 1000u);

    const std::string before = UtcTimestampNow();
    const history::RunRecord record = history::StartRunRecord("padsmith --all write fw.bin");
    EXPECT_GE(record.started, before);
    EXPECT_LE(record.started, UtcTimestampNow());
    EXPECT_EQ(record.ended, "");
    EXPECT_EQ(record.result, "unfinished");
    EXPECT_EQ(record.host, HostName());
    EXPECT_FALSE(record.host.empty());
    EXPECT_EQ(record.version, PADSMITH_VERSION);
    EXPECT_EQ(record.command, "padsmith --all write fw.bin");
}

TEST(RunRecord, TheDefaultHistoryIsInTheUsersStateFolder) {
    const std::string savedState = std::getenv("XDG_STATE_HOME") != nullptr ? std::getenv("XDG_STATE_HOME") : "";
    const std::string savedHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    // The path, or its error's message in brackets.
    const auto path = [] {
        const Result<std::string> found = history::DefaultHistoryPath();
        return found ? *found : "[" + found.error().message + "]";
    };
    setenv("HOME", "/home/line", 1);
    setenv("XDG_STATE_HOME", "/var/state", 1);
    EXPECT_EQ(path(), "/var/state/padsmith/history.sqlite3");
    setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: ignored
    EXPECT_EQ(path(), "/home/line/.local/state/padsmith/history.sqlite3");
    unsetenv("XDG_STATE_HOME");
    unsetenv("HOME");
    EXPECT_EQ(path(), "[neither $XDG_STATE_HOME nor $HOME is set to an absolute folder]");
    if (!savedState.empty()) setenv("XDG_STATE_HOME", savedState.c_str(), 1);
    if (!savedHome.empty()) setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace padsmith::test
