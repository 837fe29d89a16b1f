// padsmith history: its options, and the runs as a table, JSON lines and CSV.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/ExitStatus.h"
#include "app/RunResult.h"
#include "cli/CommandLine.h"
#include "cli/HistoryCommand.h"
#include "tests/history/HistoryTest.h"
#include "tests/unit/CliRun.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(HistoryCommand, ItsOptionsFitTheCommandsTheyAreFor) {
    cli::CommandLine parsed;
    std::string error;
    ASSERT_TRUE(cli::ParseCommandLine({"history", "--failed", "--since=2026-12-10T14:03", "--device=1-1.3",
                                       "--serial=SN0042", "--csv", "--history=/srv/h.sqlite3"},
                                      parsed, error))
        << error;
    EXPECT_TRUE(parsed.history.failed && parsed.history.csv);
    EXPECT_EQ(parsed.history.since, "2026-12-10T14:03");
    EXPECT_EQ(parsed.history.serial, "SN0042");
    EXPECT_EQ(parsed.history.file, "/srv/h.sqlite3");
    ASSERT_TRUE(cli::ParseCommandLine({"history", "push", "postgresql://line@db/padsmith"}, parsed, error)) << error;
    EXPECT_TRUE(parsed.history.push);
    EXPECT_EQ(parsed.history.pushUrl, "postgresql://line@db/padsmith");
    // Write and erase take the history's file, or none, and do not record yet.
    ASSERT_TRUE(cli::ParseCommandLine({"--history=h.sqlite3", "--all", "write", "fw.bin"}, parsed, error)) << error;
    ASSERT_TRUE(cli::ParseCommandLine({"erase", "--no-history"}, parsed, error)) << error;
    EXPECT_TRUE(parsed.history.disabled);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"history", "push"}, {"history", "pull", "x"}, {"history", "--since=last week"},
             {"history", "--json", "--csv"}, {"history", "--no-history"}, {"history", "--simulate"},
             {"history", "--wait"}, {"history", "--all"}, {"history", "push", "url", "--failed"},
             {"history", "push", "url", "--json"}, {"--failed", "write", "fw.bin"}, {"info", "--csv"},
             {"info", "--history=h.sqlite3"}, {"--no-history", "list"},
             {"--history=h.sqlite3", "--no-history", "write", "fw.bin"}}) {
        EXPECT_FALSE(cli::ParseCommandLine(args, parsed, error)) << ::testing::PrintToString(args);
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

struct HistoryRun {
    int status = -1;
    std::string out;
    std::string err;

    explicit HistoryRun(const std::vector<std::string>& args) {
        cli::CommandLine commandLine;
        std::string error;
        EXPECT_TRUE(cli::ParseCommandLine(args, commandLine, error)) << error;
        std::FILE* output = std::tmpfile();
        std::FILE* errors = std::tmpfile();
        status = cli::RunHistory(commandLine, cli::SessionStreams{output, errors, false});
        out = CliRun::Contents(output);
        err = CliRun::Contents(errors);
    }

    std::vector<std::string> Lines(const std::string& end = "\n") const {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t at; (at = out.find(end, start)) != std::string::npos; start = at + end.size()) {
            lines.push_back(out.substr(start, at - start));
        }
        return lines;
    }
};

TEST(HistoryCommand, TheRunsComeNewestFirstAsATableJsonLinesOrCsv) {
    ScratchDir dir;
    const std::string path = dir.File("history.sqlite3");
    const std::string option = "--history=" + path;
    {
        auto store = OpenStore(path);
        const history::RunRecord written = WriteRecord("2026-12-10T14:03:07.123Z", "1-1.2", "SN0042");
        history::RunRecord erased = history::StartRunRecord("padsmith erase");
        erased.started = "2026-12-10T14:05:00.000Z";
        erased.location = "1-1.3";
        const history::RunRecord refused = WriteRecord("2026-12-10T14:04:00.000Z", "1-1.1");
        for (const history::RunRecord& record : {written, erased, refused}) ASSERT_FALSE(store->Begin(record));
        ASSERT_FALSE(store->Complete(Completed(written, ResultWord(RunResult::kSuccess))));
        // A message that holds all CSV and a terminal must beware of.
        ASSERT_FALSE(store->Complete(Completed(refused, ResultWord(RunResult::kFailure), "refused",
                                               "write record 0x0040, \"0x28\"\nrefused")));
    }

    HistoryRun table({"history", option});
    EXPECT_EQ(table.status, kExitSuccess) << table.err;
    EXPECT_THAT(table.Lines(),
                ElementsAre("started (UTC)             result      device      serial        image         records    error",
                            "2026-12-10T14:05:00.000Z  unfinished  1-1.3       -             -             -",
                            "2026-12-10T14:04:00.000Z  failure     1-1.1       -             7f5d5f0ff106  3/1        "
                            "refused: write record 0x0040, \"0x28\"\\x0Arefused",
                            "2026-12-10T14:03:07.123Z  success     1-1.2       SN0042        7f5d5f0ff106  1344/0"));

    HistoryRun json({"history", option, "--json", "--failed"});
    ASSERT_EQ(json.Lines().size(), 2u) << json.out;
    const nlohmann::json unfinished = nlohmann::json::parse(json.Lines()[0]);
    EXPECT_EQ(unfinished["result"], "unfinished");
    EXPECT_EQ(unfinished["command"], "padsmith erase");
    EXPECT_TRUE(unfinished["imageBytes"].is_null());
    const nlohmann::json failed = nlohmann::json::parse(json.Lines()[1]);
    EXPECT_EQ(failed["errorMessage"], "write record 0x0040, \"0x28\"\nrefused");
    EXPECT_EQ(failed["recordsSent"], 3);
    EXPECT_EQ(failed["vidPid"], "2A7D:6C21");

    HistoryRun csv({"history", option, "--csv", "--device=1-1.1"});
    const std::vector<std::string> lines = csv.Lines("\r\n");
    ASSERT_EQ(lines.size(), 2u) << csv.out;  // the line break inside a quoted field is the field's
    EXPECT_EQ(lines[0], "id,started,ended,host,version,command,location,vid_pid,serial,node,pcb_version,firmware_version,"
                        "product_size,image_path,image_bytes,image_sha256,records_sent,records_refused,result,error_kind,"
                        "error_message,record_file,firmware_after,manifest_sha256,signing_key");
    EXPECT_THAT(lines[1], StartsWith(failed["id"].get<std::string>() + ",2026-12-10T14:04:00.000Z,"));
    EXPECT_THAT(lines[1], ::testing::EndsWith(",3,1,failure,refused,\"write record 0x0040, \"\"0x28\"\"\nrefused\",,,,"));
    EXPECT_EQ(csv.out.size(), lines[0].size() + lines[1].size() + 4);
}

TEST(HistoryCommand, NoHistoryYetIsNoFailureButAnUnreadableOneIsAndAPushThatFailsSaysWhatStays) {
    ScratchDir dir;
    HistoryRun none({"history", "--history=" + dir.File("none.sqlite3")});
    EXPECT_EQ(none.status, kExitSuccess);
    EXPECT_EQ(none.out, "no runs recorded (" + dir.File("none.sqlite3") + " does not exist)\n");
    HistoryRun csv({"history", "--csv", "--history=" + dir.File("none.sqlite3")});
    EXPECT_THAT(csv.out, StartsWith("id,started,"));

    std::ofstream(dir.File("corrupt.sqlite3")) << std::string(4096, '?');
    HistoryRun corrupt({"history", "--history=" + dir.File("corrupt.sqlite3")});
    EXPECT_EQ(corrupt.status, kExitFailure);
    EXPECT_EQ(corrupt.err, "padsmith: history " + dir.File("corrupt.sqlite3") + ": file is not a database\n");

    HistoryRun push({"history", "push", "postgresql:///padsmith?host=" + dir.File("no-server"),
                     "--history=" + dir.File("h.sqlite3")});
    EXPECT_EQ(push.status, kExitFailure);
    EXPECT_EQ(push.out, "0 runs sent\n");
    EXPECT_THAT(push.err, StartsWith("padsmith: history push: PostgreSQL database padsmith on " + dir.File("no-server") +
                                     ": connect: "));
    EXPECT_THAT(push.err, HasSubstr("the runs not sent stay for the next push\n"));
}

}  // namespace
}  // namespace padsmith::test
