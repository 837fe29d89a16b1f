// The local history: a record begun then completed, the query and its filters, the schema's
// versions, the files it must refuse, and several processes writing one file at once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "app/RunResult.h"
#include "history/HistorySchema.h"
#include "tests/history/HistoryTest.h"
#include "tests/history/SyncCountingVfs.h"
#include "tests/kernel/ChildProcess.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using history::HistoryAccess;
using history::HistoryFilter;
using history::RunRecord;

std::vector<std::string> Ids(const std::vector<RunRecord>& records) {
    std::vector<std::string> ids;
    for (const RunRecord& record : records) ids.push_back(record.id);
    return ids;
}

TEST(HistoryStore, ARunIsKeptAsBegunThenAsCompletedInEveryField) {
    ScratchDir dir;
    auto store = OpenStore(dir.File("history.sqlite3"));
    const RunRecord begun = WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3", "SN0042");
    ASSERT_FALSE(store->Begin(begun));
    std::vector<RunRecord> seen = Records(*store);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].result, "unfinished");
    EXPECT_EQ(seen[0].ended, "");
    EXPECT_FALSE(seen[0].recordsSent.has_value());

    RunRecord completed = Completed(begun, ResultWord(RunResult::kFailure), "refused", "write record 0x0040: refused");
    completed.recordFile = "/tmp/session.txt";
    ASSERT_FALSE(store->Complete(completed));
    seen = Records(*store);
    ASSERT_EQ(seen.size(), 1u);
    const RunRecord& kept = seen[0];
    EXPECT_EQ(kept.id, begun.id);
    EXPECT_EQ(kept.started, "2026-12-10T14:03:07.123Z");
    EXPECT_EQ(kept.ended, completed.ended);
    EXPECT_EQ(kept.host, begun.host);
    EXPECT_EQ(kept.version, begun.version);
    EXPECT_EQ(kept.command, "padsmith write fw.bin");
    EXPECT_EQ(kept.location, "1-1.3");
    EXPECT_EQ(kept.vidPid, "2A7D:6C21");
    EXPECT_EQ(kept.serial, "SN0042");
    EXPECT_EQ(kept.node, "/dev/hidraw3");
    EXPECT_EQ(kept.pcbVersion, "0.10.3.1");
    EXPECT_EQ(kept.firmwareVersion, "1.0.10.255");
    EXPECT_EQ(kept.productSize, "15.25");
    EXPECT_EQ(kept.imagePath, "/srv/fw.bin");
    EXPECT_EQ(kept.imageBytes, 0xD800);
    EXPECT_EQ(kept.imageSha256, begun.imageSha256);
    EXPECT_EQ(kept.recordsSent, 3);
    EXPECT_EQ(kept.recordsRefused, 1);
    EXPECT_EQ(kept.result, "failure");
    EXPECT_EQ(kept.errorKind, "refused");
    EXPECT_EQ(kept.errorMessage, "write record 0x0040: refused");
    EXPECT_EQ(kept.recordFile, "/tmp/session.txt");

    // An ID is begun once; a run never begun cannot be completed.
    EXPECT_TRUE(store->Begin(begun));
    EXPECT_TRUE(store->Complete(WriteRecord("2026-12-10T14:03:08.000Z", "1-1.3")));
}

TEST(HistoryStore, ABegunRunIsOnTheDiskWhenBeginReturnsWhileItsCompletionWaitsForACheckpoint) {
    SyncCountingVfs disk;
    ScratchDir dir;
    auto store = OpenStore(dir.File("history.sqlite3"));
    const int opened = disk.WalSyncs();
    const RunRecord record = WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3");
    ASSERT_FALSE(store->Begin(record));
    const int begun = disk.WalSyncs();
    EXPECT_GT(begun, opened);  // a power loss after the erase still leaves the unfinished row
    ASSERT_FALSE(store->Complete(Completed(record, ResultWord(RunResult::kSuccess))));
    EXPECT_EQ(disk.WalSyncs(), begun);  // lost with the power, it reads as unfinished: checked
}

TEST(HistoryStore, TheQueryGivesTheNewestFirstAndItsFiltersCombine) {
    ScratchDir dir;
    auto store = OpenStore(dir.File("history.sqlite3"));
    const RunRecord oldWrite = WriteRecord("2026-12-09T23:59:59.999Z", "1-1.1", "SN0001");
    const RunRecord failed = WriteRecord("2026-12-10T08:00:00.000Z", "1-1.2", "SN0002");
    const RunRecord cutOff = WriteRecord("2026-12-10T09:30:00.000Z", "1-1.1", "SN0003");
    const RunRecord busy = WriteRecord("2026-12-10T10:00:00.000Z", "1-1.2", "SN0002");
    const RunRecord written = WriteRecord("2026-12-10T11:00:00.000Z", "1-1.1", "SN0001");
    for (const RunRecord& record : {oldWrite, failed, cutOff, busy, written}) ASSERT_FALSE(store->Begin(record));
    ASSERT_FALSE(store->Complete(Completed(oldWrite, ResultWord(RunResult::kCurrent))));
    ASSERT_FALSE(store->Complete(Completed(failed, ResultWord(RunResult::kFailure), "gone", "the display left")));
    ASSERT_FALSE(store->Complete(Completed(busy, ResultWord(RunResult::kBusy))));
    ASSERT_FALSE(store->Complete(Completed(written, ResultWord(RunResult::kSuccess))));
    // cutOff stays unfinished: its run was killed.

    EXPECT_THAT(Ids(Records(*store)), ElementsAre(written.id, busy.id, cutOff.id, failed.id, oldWrite.id));
    HistoryFilter filter;
    filter.excludedResults = WordsOfResultsThatEndedWell();  // unfinished runs are failed runs
    EXPECT_THAT(Ids(Records(*store, filter)), ElementsAre(busy.id, cutOff.id, failed.id));
    filter = HistoryFilter{};
    filter.since = "2026-12-10";
    EXPECT_THAT(Ids(Records(*store, filter)), ElementsAre(written.id, busy.id, cutOff.id, failed.id));
    filter.since = "2026-12-10T09:30";
    EXPECT_THAT(Ids(Records(*store, filter)), ElementsAre(written.id, busy.id, cutOff.id));
    filter = HistoryFilter{};
    filter.device = "1-1.1";
    EXPECT_THAT(Ids(Records(*store, filter)), ElementsAre(written.id, cutOff.id, oldWrite.id));
    filter.device = "/dev/hidraw3";  // the node names the display too
    EXPECT_EQ(Records(*store, filter).size(), 5u);
    filter = HistoryFilter{};
    filter.serial = "SN0002";
    filter.excludedResults = WordsOfResultsThatEndedWell();
    filter.since = "2026-12-10T09";
    EXPECT_THAT(Ids(Records(*store, filter)), ElementsAre(busy.id));
}

TEST(HistoryStore, SinceTakesADateOrAUtcTimeAndNothingElse) {
    std::string since;
    EXPECT_TRUE(history::ParseSince("2026-12-10", since));
    EXPECT_EQ(since, "2026-12-10");
    EXPECT_TRUE(history::ParseSince("2026-12-10t14:03Z", since));
    EXPECT_EQ(since, "2026-12-10T14:03");
    EXPECT_TRUE(history::ParseSince("2028-02-29T14:03:07.123Z", since));
    EXPECT_EQ(since, "2028-02-29T14:03:07.123");
    for (const char* wrong : {"", "2026-12", "2026-13-01", "2027-02-29", "2026-12-10 14:03", "2026-12-10T24:00",
                              "2026-12-10T14:60", "2026-12-10T14:03:07.12", "yesterday", "2026-12-10T14:03+01:00"}) {
        EXPECT_FALSE(history::ParseSince(wrong, since)) << wrong;
    }
}

TEST(HistoryStore, ADatabaseOfANewerPadsmithIsRefusedAndLeftByteForByte) {
    ScratchDir dir;
    const std::string path = dir.File("history.sqlite3");
    {
        auto store = OpenStore(path);
        ASSERT_FALSE(store->Begin(WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3")));
    }
    RawDatabase(path).Execute("PRAGMA user_version = " + std::to_string(history::kSchemaVersion + 1));
    const std::string before = Bytes(path);
    for (HistoryAccess access : {HistoryAccess::kRecord, HistoryAccess::kRead}) {
        history::HistoryOpenOptions options;
        options.access = access;
        Error error;
        EXPECT_EQ(history::HistoryStore::Open(path, options, error), nullptr);
        EXPECT_THAT(error.message, HasSubstr(path));
        EXPECT_THAT(error.message,
                    HasSubstr("written by a newer padsmith (schema " + std::to_string(history::kSchemaVersion + 1)));
        EXPECT_TRUE(Bytes(path) == before) << path << " changed";
    }
}

TEST(HistoryStore, AnOlderSchemaIsMigratedKeepingEveryRowAndAFailedMigrationChangesNothing) {
    // Histories as padsmith left them at each older schema, with a finished run and an unfinished
    // one: files made once (make-schema-history.sh) and never again, so that an edit of a
    // released migration cannot go unseen. Copied: the test never writes the committed files.
    struct Frozen {
        const char* file;
        std::string version;
        const char* blocker;   // makes the next migration fail part of the way
        const char* refusal;   // SQLite's words for it
        const char* newColumn;  // one the next migration adds
    };
    const Frozen frozen[] = {
        {PADSMITH_SCHEMA_1_HISTORY, "1", "CREATE INDEX runs_by_start ON runs (id)", "runs_by_start already exists",
         "revision"},
        {PADSMITH_SCHEMA_2_HISTORY, "2", "ALTER TABLE runs ADD COLUMN signing_key TEXT",
         "duplicate column name: signing_key", "firmware_after"},
    };
    ScratchDir dir;
    for (const Frozen& old : frozen) {
        SCOPED_TRACE("schema " + old.version);
        const std::string path = dir.File("history-" + old.version + ".sqlite3");
        std::filesystem::copy_file(old.file, path);
        {
            auto store = OpenStore(path);
            ASSERT_NE(store, nullptr);
            const std::vector<RunRecord> kept = Records(*store);
            ASSERT_EQ(kept.size(), 2u);
            EXPECT_EQ(kept[0].id, "0b9d3c8e-1f57-4a43-8f0e-7e2d6c5a4b39");
            EXPECT_EQ(kept[0].result, "unfinished");
            EXPECT_EQ(kept[0].command, "padsmith erase");
            EXPECT_EQ(kept[1].id, "6f1e1f0a-35e4-4b8a-9d51-0c2f2b7a9e11");
            EXPECT_EQ(kept[1].recordsSent, 1344);
            EXPECT_EQ(kept[1].imageBytes, 55296);
            EXPECT_EQ(kept[1].productSize, "15.25");
            // What later schemas keep of a run, empty for the runs that came before them.
            EXPECT_EQ(kept[1].firmwareAfter + kept[1].manifestSha256 + kept[1].signingKey, "");
            // Both are still to be forwarded.
            std::vector<history::PendingRun> unsent;
            ASSERT_FALSE(store->Unsent(0, 10, unsent));
            EXPECT_EQ(unsent.size(), 2u);
            // And it takes new runs.
            EXPECT_FALSE(store->Begin(WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3")));
        }
        EXPECT_EQ(RawDatabase(path).Value("PRAGMA user_version"), std::to_string(history::kSchemaVersion));

        // The next migration fails part of the way: it is rolled back whole.
        const std::string blocked = dir.File("blocked-" + old.version + ".sqlite3");
        std::filesystem::copy_file(old.file, blocked);
        EXPECT_EQ(RawDatabase(blocked).Execute(old.blocker), "");
        Error error;
        EXPECT_EQ(history::HistoryStore::Open(blocked, {}, error), nullptr);
        EXPECT_THAT(error.message, HasSubstr("migrate from schema " + old.version + " to "));
        EXPECT_THAT(error.message, HasSubstr(old.refusal));
        RawDatabase left(blocked);
        EXPECT_EQ(left.Value("PRAGMA user_version"), old.version);
        EXPECT_EQ(left.Value("SELECT count(*) FROM runs"), "2");
        EXPECT_EQ(left.Value("SELECT count(*) FROM pragma_table_info('runs') WHERE name = '" +
                             std::string(old.newColumn) + "'"),
                  "0");
    }
}

TEST(HistoryStore, NoRowIsEverDeletedWhoeverAsks) {
    ScratchDir dir;
    const std::string path = dir.File("history.sqlite3");
    ASSERT_FALSE(OpenStore(path)->Begin(WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3")));
    RawDatabase raw(path);
    EXPECT_THAT(raw.Execute("DELETE FROM runs"), HasSubstr("rows are never deleted"));
    EXPECT_EQ(raw.Value("SELECT count(*) FROM runs"), "1");
}

// The probe program, run as another user where this one is root (root may write anything).

ProgramRun Probe(const std::vector<std::string>& arguments, bool asOtherUser = false) {
    std::vector<std::string> argv{PADSMITH_HISTORY_PROBE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    RunOptions options;
    options.asNobody = asOtherUser && geteuid() == 0;
    options.timeout = Millis(60'000);
    return RunProgram(argv, options);
}

TEST(HistoryStore, AFileThatCannotKeepTheHistoryIsAClearErrorAndIsLeftAsItWas) {
    ScratchDir dir;
    // A folder where the file should be.
    const std::string folder = dir.File("folder.sqlite3");
    std::filesystem::create_directory(folder);
    Error error;
    EXPECT_EQ(history::HistoryStore::Open(folder, {}, error), nullptr);
    EXPECT_EQ(error.message, "history " + folder + ": a folder, not a history file");

    // A file that is not a database: refused, never replaced.
    const std::string corrupt = dir.File("corrupt.sqlite3");
    std::ofstream(corrupt) << std::string(4096, '?');
    const std::string corruptBytes = Bytes(corrupt);
    EXPECT_EQ(history::HistoryStore::Open(corrupt, {}, error), nullptr);
    EXPECT_EQ(error.message, "history " + corrupt + ": file is not a database");
    EXPECT_TRUE(Bytes(corrupt) == corruptBytes) << corrupt << " changed";

    // A device: refused before SQLite could make a /dev/null-journal beside it.
    EXPECT_EQ(history::HistoryStore::Open("/dev/null", {}, error), nullptr);
    EXPECT_EQ(error.message, "history /dev/null: a device, not a regular file");
    EXPECT_FALSE(std::filesystem::exists("/dev/null-journal"));

    // A file this user may only read, in a folder it may write; then in one it may not, where
    // SQLite cannot even read the file (a WAL database needs its folder).
    std::map<std::string, std::string> refusals{
        {"writable", "read-only for this user"},
        {"read-only", "attempt to write a readonly database (its folder is read-only for this user: SQLite "
                      "writes beside a WAL database even to read it)"}};
    ProgramRun probe;
    for (const auto& [folderMode, refusal] : refusals) {
        const std::string inside = dir.File(folderMode);
        std::filesystem::create_directory(inside);
        const std::string path = inside + "/history.sqlite3";
        ASSERT_FALSE(OpenStore(path)->Begin(WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3")));
        chmod(path.c_str(), 0444);
        if (geteuid() == 0) {
            ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);  // the probe's own file
        }
        chmod(inside.c_str(), folderMode == "writable" ? 0777 : (geteuid() != 0 ? 0555 : 0755));
        const std::string before = Bytes(path);
        probe = Probe({"open", path}, true);
        EXPECT_EQ(probe.exitCode, 1) << probe.out << probe.err;
        EXPECT_EQ(Said(probe.out)["kind"], "permission-denied");
        EXPECT_EQ(Said(probe.out)["error"], "history " + path + ": " + refusal);
        EXPECT_TRUE(Bytes(path) == before) << path << " changed";
        chmod(inside.c_str(), 0755);
    }

    // The default location's folders under a home this user may not write.
    if (geteuid() == 0) {
        const std::string unwritable = dir.File("home/.local/state/padsmith/history.sqlite3");
        probe = Probe({"open", unwritable, "folders"}, true);
        EXPECT_EQ(probe.exitCode, 1) << probe.out << probe.err;
        EXPECT_EQ(Said(probe.out)["kind"], "permission-denied");
        EXPECT_EQ(Said(probe.out)["error"],
                  "history " + unwritable + ": make folder " + dir.File("home") + ": Permission denied");

        // Another user's history: root reads it, but records nothing in it, and says why.
        const std::string theirs = dir.File("theirs.sqlite3");
        ASSERT_FALSE(OpenStore(theirs)->Begin(WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3")));
        ASSERT_EQ(chown(theirs.c_str(), kNobody, kNobody), 0);
        EXPECT_EQ(Records(*OpenStore(theirs, HistoryAccess::kRead)).size(), 1u);
        EXPECT_EQ(history::HistoryStore::Open(theirs, {}, error), nullptr);
        EXPECT_EQ(error.message, "history " + theirs +
                                     ": owned by another user (uid 65534, not 0); padsmith writes only files of the "
                                     "user it runs as");
    }

    // A disk that fills up: the run that does not fit is an error; every run before it is kept.
    if (geteuid() != 0) GTEST_SKIP() << "a full disk needs a tmpfs of the test's own: root only";
    std::filesystem::create_directory(dir.File("full"));
    probe = Probe({"fill", dir.File("full")});
    ASSERT_EQ(probe.exitCode, 0) << probe.out << probe.err;
    const auto said = Said(probe.out);
    EXPECT_EQ(said.at("kind"), "io");
    EXPECT_THAT(said.at("error"), HasSubstr(dir.File("full") + "/history.sqlite3: database or disk is full"));
    EXPECT_GT(std::stol(said.at("begun")), 0);
    EXPECT_EQ(said.at("kept"), said.at("begun"));
}

TEST(HistoryStore, ANewFileAnotherProgramHoldsForAMomentIsWaitedFor) {
    // Another program that has just made the file, about to write it or writing it: so padsmith
    // programs meet when they start on a new history at once, each turning it to WAL.
    for (const char* held : {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"}) {
        SCOPED_TRACE(held);
        ScratchDir dir;
        const std::string path = dir.File("history.sqlite3");
        RawDatabase other(path);
        ASSERT_EQ(other.Execute(held), "");
        std::thread letGo([&other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            other.Execute("COMMIT");
        });
        Error error;
        const std::unique_ptr<history::HistoryStore> store = history::HistoryStore::Open(path, {}, error);
        letGo.join();
        ASSERT_NE(store, nullptr) << error.message;
        EXPECT_FALSE(store->Begin(WriteRecord("2026-12-10T14:03:07.123Z", "1-1.3")));
    }
}

TEST(HistoryStore, EightProcessesWriteOneFileAtOnceAndNoRunIsLostNotEvenAKilledOnes) {
    ScratchDir dir;
    const std::string path = dir.File("history.sqlite3");
    OpenStore(path);  // created once, so the writers meet a file of the current schema
    constexpr int kWriters = 8;
    constexpr int kRunsEach = 200;
    RunOptions options;
    options.timeout = Millis(120'000);
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int i = 0; i < kWriters; ++i) {
        writers.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{PADSMITH_HISTORY_PROBE, "write", path, std::to_string(kRunsEach)}, options));
    }
    // A ninth, killed while it writes among them.
    ChildProcess killed({PADSMITH_HISTORY_PROBE, "write-forever", path}, options);
    RawDatabase raw(path);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (raw.Value("SELECT count(*) FROM runs WHERE command LIKE 'probe write-forever %'") < "5" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    killed.Signal(SIGKILL);
    const ProgramRun killedRun = killed.Wait();
    EXPECT_EQ(killedRun.signal, SIGKILL) << killedRun.out << killedRun.err;
    for (auto& writer : writers) {
        const ProgramRun run = writer->Wait();
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    }

    EXPECT_EQ(raw.Value("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(raw.Value("SELECT count(*) FROM runs WHERE command LIKE 'probe write %' AND result = 'success'"),
              std::to_string(kWriters * kRunsEach));
    EXPECT_EQ(raw.Value("SELECT count(DISTINCT id) FROM runs"), raw.Value("SELECT count(*) FROM runs"));
    // The killed writer's runs are each whole: completed, or at most its last one unfinished.
    EXPECT_EQ(raw.Value("SELECT count(*) < 2 FROM runs WHERE result = 'unfinished'"), "1");
    EXPECT_EQ(raw.Value("SELECT count(*) > 0 FROM runs WHERE command LIKE 'probe write-forever %'"), "1");
}

}  // namespace
}  // namespace padsmith::test
