#include "bench/HistoryBench.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/RunResult.h"
#include "bench/Measure.h"
#include "history/HistoryStore.h"
#include "tests/kernel/ChildProcess.h"

namespace padsmith::bench {
namespace {

using history::HistoryStore;
using history::RunRecord;

struct Spread {
    double median = 0;
    double worst = 0;
};

Spread SpreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? Spread{} : Spread{values[values.size() / 2], values.back()};
}

// One display's record as its run leaves it: begun before the erase, completed after the last
// record. The time of the two, in milliseconds; negative on failure.
double BeginAndComplete(HistoryStore& store, int display) {
    RunRecord record = history::StartRunRecord("padsmith --all write /srv/fw.bin");
    record.location = "1-1." + std::to_string(display);
    record.vidPid = "2A7D:6C21";
    record.imagePath = "/srv/fw.bin";
    record.imageBytes = 0xD800;
    record.imageSha256 = std::string(64, 'a');
    const auto start = std::chrono::steady_clock::now();
    if (store.Begin(record)) return -1;
    record.ended = record.started;
    record.result = ResultWord(RunResult::kSuccess);
    record.recordsSent = 1344;
    record.recordsRefused = 0;
    if (store.Complete(record)) return -1;
    return Seconds(std::chrono::steady_clock::now() - start) * 1000;
}

bool MeasureRecording(const std::filesystem::path& directory, int records) {
    history::HistoryOpenOptions options;
    Error error;
    std::unique_ptr<HistoryStore> store = HistoryStore::Open((directory / "recording.sqlite3").native(), options, error);
    if (store == nullptr) {
        std::printf("history: %s\n", error.message.c_str());
        return false;
    }
    std::vector<double> alone;
    for (int i = 0; i < records; ++i) alone.push_back(BeginAndComplete(*store, 1));
    // A station's eight displays ending at once: each waits for the others' commits.
    constexpr int kDisplays = 8;
    std::vector<double> together;
    std::mutex mutex;
    for (int round = 0; round < std::max(1, records / kDisplays); ++round) {
        std::vector<std::thread> displays;
        for (int display = 1; display <= kDisplays; ++display) {
            displays.emplace_back([&, display] {
                const double ms = BeginAndComplete(*store, display);
                std::lock_guard<std::mutex> lock(mutex);
                together.push_back(ms);
            });
        }
        for (std::thread& display : displays) display.join();
    }
    const bool ok = std::none_of(alone.begin(), alone.end(), [](double ms) { return ms < 0; }) &&
                    std::none_of(together.begin(), together.end(), [](double ms) { return ms < 0; });
    const Spread one = SpreadOf(alone);
    const Spread eight = SpreadOf(together);
    std::printf("history record, Begin + Complete (Begin synced to the disk): %.2f ms median, %.2f ms worst of %zu alone;"
                " %.2f ms median, %.2f ms worst with %d displays at once%s\n",
                one.median, one.worst, alone.size(), eight.median, eight.worst, kDisplays, ok ? "" : " (FAILED)");
    return ok;
}

// A history of `rows` runs, one in 50 failed and one in 1000 unfinished, made in one
// transaction by SQLite itself (Begin would commit each row to the disk).
bool MakeHistory(const std::string& path, int rows) {
    {
        Error error;
        if (HistoryStore::Open(path, history::HistoryOpenOptions{}, error) == nullptr) {
            std::printf("history: %s\n", error.message.c_str());
            return false;
        }
    }
    sqlite3* db = nullptr;
    const std::string sql =
        "BEGIN;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) + ")"
        " INSERT INTO runs (id, started, ended, host, version, command, location, vid_pid, serial, node,"
        " pcb_version, firmware_version, product_size, image_path, image_bytes, image_sha256, records_sent,"
        " records_refused, result, error_kind, error_message)"
        " SELECT lower(hex(randomblob(16))), strftime('%Y-%m-%dT%H:%M:%fZ', '2026-01-01', '+' || (i * 20) || ' seconds'),"
        " strftime('%Y-%m-%dT%H:%M:%fZ', '2026-01-01', '+' || (i * 20 + 15) || ' seconds'), 'station-1', '1.0.6.13',"
        " 'padsmith --all write /srv/fw.bin', '1-1.' || (i % 8 + 1), '2A7D:6C21', 'SN' || i, '/dev/hidraw' || (i % 8),"
        " '0.10.3.1', '1.0.10.255', '15.25', '/srv/fw.bin', 55296, '" + std::string(64, 'a') + "', 1344, 0,"
        " CASE WHEN i % 1000 = 7 THEN 'unfinished' WHEN i % 50 = 0 THEN 'failure' ELSE 'success' END,"
        " CASE WHEN i % 50 = 0 THEN 'refused' ELSE '' END,"
        " CASE WHEN i % 50 = 0 THEN 'write record 0x0040: HIDIOCSFEATURE report 0x28 on /dev/hidraw3: Broken pipe'"
        " ELSE '' END FROM n;"
        "COMMIT;";
    const bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) std::printf("history: %s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return ok;
}

// The real program, stdout to /dev/null, as many times as asked: wall times in milliseconds.
std::vector<double> TimeProgram(const std::vector<std::string>& arguments, int runs, bool& ok) {
    std::vector<std::string> argv{"sh", "-c", "exec \"$0\" \"$@\" >/dev/null", PADSMITH_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const test::ProgramRun result = test::RunProgram(argv, test::RunOptions{{}, false, Millis(60'000)});
        times.push_back(Seconds(std::chrono::steady_clock::now() - start) * 1000);
        if (result.exitCode != 0) {
            std::printf("padsmith %s: exit %d: %s\n", arguments[0].c_str(), result.exitCode, result.err.c_str());
            ok = false;
        }
    }
    return times;
}

bool MeasureQuery(const std::filesystem::path& directory, int rows) {
    const std::string path = (directory / "query.sqlite3").native();
    if (!MakeHistory(path, rows)) return false;
    bool ok = true;
    constexpr int kRuns = 5;
    const Spread failed = SpreadOf(TimeProgram({"history", "--failed", "--history=" + path}, kRuns, ok));
    const Spread csv = SpreadOf(TimeProgram({"history", "--csv", "--history=" + path}, kRuns, ok));
    // The shell alone, so the program's own share can be told.
    const Spread shell = SpreadOf(TimeProgram({"--version"}, kRuns, ok));
    std::printf("padsmith history --failed over %d runs (%d shown), output to /dev/null: %.1f ms median, %.1f ms worst"
                " of %d (padsmith --version alone: %.1f ms); every run as CSV: %.1f ms median\n",
                rows, rows / 50 + rows / 1000, failed.median, failed.worst, kRuns, shell.median, csv.median);
    return ok;
}

}  // namespace

bool MeasureHistory(const std::filesystem::path& directory, bool quick) {
    bool ok = MeasureRecording(directory, quick ? 16 : 200);
    ok = MeasureQuery(directory, quick ? 2'000 : 100'000) && ok;
    return ok;
}

}  // namespace padsmith::bench
