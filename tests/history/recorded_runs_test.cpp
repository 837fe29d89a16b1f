// What padsmith's runs leave in the history, in process on the simulated displays and the
// virtual clock: one row per display's run, whichever command ran it, with every field.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/history/HistoryTest.h"
#include "tests/unit/CliRun.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using history::RunRecord;

// sha256sum of PatternImage(0x400), worked out apart from padsmith.
constexpr char kImageSha256[] = "99a465278169cf034f087a19739abd27ff423d612319481dc1ef4d52aa358f0f";

// The command line as the history keeps it.
std::string CommandText(const std::vector<std::string>& args) {
    std::string text = "padsmith";
    for (const std::string& arg : args) text += " " + arg;
    return text;
}

// A row's display and outcome on one line: "1-1.2 2A7D:6C21 SIM02-0001 3/1 failure refused:
// write record 0x0040: ... info -".
std::string Outcome(const RunRecord& row) {
    const std::string records = row.recordsSent ? std::to_string(*row.recordsSent) + "/" +
                                                      std::to_string(row.recordsRefused.value_or(-1))
                                                : "-";
    const std::string info = row.pcbVersion.empty() ? "-"
                                                    : row.pcbVersion + " " + row.firmwareVersion + " " + row.productSize;
    return row.location + " " + row.vidPid + " " + row.serial + " " + records + " " + row.result +
           (row.errorKind.empty() ? "" : " " + row.errorKind + ": " + row.errorMessage) + " info " + info;
}

// The record IDs of a station's --json result events.
std::vector<std::string> StationRecords(const CliRun& run) {
    std::vector<std::string> ids;
    for (const std::string& line : run.Lines()) {
        const nlohmann::json event = nlohmann::json::parse(line);
        if (event.value("event", "") == "result") ids.push_back(event["record"]);
    }
    return ids;
}

TEST(RecordedRuns, AnEraseAWriteAnAllRunAndAStationEachLeaveTheirRowsNewestFirst) {
    ScratchDir dir;
    const std::string image = dir.File("fw.bin");
    WriteBytes(image, PatternImage(0x400));
    const std::string historyOption = "--history=" + dir.File("history.sqlite3");
    const std::string session = dir.File("session.txt");
    const std::vector<std::string> writeArgs{historyOption, "--json", "--record=" + session, "write", image};
    const std::vector<std::string> allArgs{historyOption, "--json", "--all", "write", image};
    const std::vector<std::string> stationArgs{historyOption, "--json", "--max=2", "station", image};
    const std::vector<std::string> eraseArgs{historyOption, "--json", "erase"};
    const CliRun erase(eraseArgs);
    ASSERT_EQ(erase.status, 0) << erase.err;
    const CliRun write(writeArgs);
    const CliRun all(allArgs, "displays=2,2:refuse-at=0x40");
    const CliRun station(stationArgs, "displays=2");
    ASSERT_EQ(write.status, 0) << write.err;
    ASSERT_EQ(all.status, 1) << all.err;
    ASSERT_EQ(station.status, 0) << station.err;

    std::vector<RunRecord> rows = Records(*OpenStore(dir.File("history.sqlite3"), history::HistoryAccess::kRead));
    ASSERT_EQ(rows.size(), 6u);
    // An erase writes no image and sends no records.
    EXPECT_EQ(rows[5].command, CommandText(eraseArgs));
    EXPECT_EQ(rows[5].id, LastObjectOf(erase)["record"]);
    EXPECT_EQ(Outcome(rows[5]), "1-1.1 2A7D:6C21 SIM01-0001 - success info -");
    EXPECT_EQ(rows[5].imagePath + rows[5].imageSha256, "");
    EXPECT_FALSE(rows[5].imageBytes);
    rows.pop_back();
    std::vector<std::string> commands;
    for (const RunRecord& row : rows) commands.push_back(row.command);
    // Newest first; the displays of one run begin together, in no fixed order.
    const std::string stationCommand = CommandText(stationArgs);
    const std::string allCommand = CommandText(allArgs);
    EXPECT_THAT(commands,
                ElementsAre(stationCommand, stationCommand, allCommand, allCommand, CommandText(writeArgs)));

    EXPECT_THAT((std::vector<std::string>{rows[0].id, rows[1].id}),
                UnorderedElementsAre(StationRecords(station)[0], StationRecords(station)[1]));
    const nlohmann::json allResult = LastObjectOf(all);
    EXPECT_THAT((std::vector<std::string>{rows[2].id, rows[3].id}),
                UnorderedElementsAre(allResult["displays"][0]["record"], allResult["displays"][1]["record"]));
    EXPECT_EQ(rows[4].id, LastObjectOf(write)["record"]);

    // The station reads what the display is before the erase; a write does not ask.
    EXPECT_THAT((std::vector<std::string>{Outcome(rows[0]), Outcome(rows[1])}),
                UnorderedElementsAre("1-1.1 2A7D:6C21 SIM01-0001 32/0 success info 0.10.3.1 1.0.10.255 15.25",
                                     "1-1.2 2A7D:6C21 SIM02-0001 32/0 success info 0.10.3.1 1.0.10.255 15.25"));
    EXPECT_THAT((std::vector<std::string>{Outcome(rows[2]), Outcome(rows[3])}),
                UnorderedElementsAre("1-1.1 2A7D:6C21 SIM01-0001 32/0 success info -",
                                     "1-1.2 2A7D:6C21 SIM02-0001 3/1 failure refused: write record 0x0040: the "
                                     "display refused report 0x28 info -"));
    EXPECT_EQ(Outcome(rows[4]), "1-1.1 2A7D:6C21 SIM01-0001 32/0 success info -");

    for (const RunRecord& row : rows) {
        EXPECT_EQ(row.imagePath, image);
        EXPECT_EQ(row.imageBytes, 0x400);
        EXPECT_EQ(row.imageSha256, kImageSha256);
        EXPECT_FALSE(row.started.empty());
        EXPECT_GE(row.ended, row.started);  // UTC time stamps of one form sort as text
        EXPECT_FALSE(row.node.empty());
        EXPECT_EQ(row.recordFile, row.id == rows[4].id ? session : "");
    }
}

}  // namespace
}  // namespace padsmith::test
