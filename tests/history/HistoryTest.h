#pragma once
// What the history's tests share: a folder of each test's own, the probe program's report,
// SQLite used directly (to make files of older and newer schemas, and to check one), records,
// and a wait for what another process does.

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/RunResult.h"
#include "history/HistoryStore.h"
#include "history/RunRecord.h"

namespace padsmith::test {

// A folder of its own for each test (open to every user, for the probe run as nobody), removed
// afterwards.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() /
                 ("padsmith-history-" + std::string(info->test_suite_name()) + "-" + info->name());
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
        std::filesystem::permissions(m_path, std::filesystem::perms(0755));
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string File(const std::string& name) const { return (m_path / name).native(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string Bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Looks every 20 ms until `done` holds or `limit` has passed; whether it held.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The probe's "key value" lines.
inline std::map<std::string, std::string> Said(const std::string& out) {
    std::map<std::string, std::string> said;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        said[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return said;
}

// SQLite itself, beside the store: for what the store must never do, or what only an older or
// newer padsmith would have written.
class RawDatabase {
public:
    explicit RawDatabase(const std::string& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr), SQLITE_OK) << path;
    }
    ~RawDatabase() { sqlite3_close_v2(m_db); }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    // SQLite's error text, or "" when every statement ran.
    std::string Execute(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return std::string();
        std::string text = error != nullptr ? error : "failed";
        sqlite3_free(error);
        return text;
    }
    // The first column of the first row, as text ("" when none).
    std::string Value(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        std::string value;
        EXPECT_EQ(sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(m_db);
        if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0) != nullptr) {
            value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
        return value;
    }

private:
    sqlite3* m_db = nullptr;
};

inline std::unique_ptr<history::HistoryStore> OpenStore(const std::string& path,
                                                        history::HistoryAccess access = history::HistoryAccess::kRecord) {
    history::HistoryOpenOptions options;
    options.access = access;
    Error error;
    std::unique_ptr<history::HistoryStore> store = history::HistoryStore::Open(path, options, error);
    EXPECT_NE(store, nullptr) << error.message;
    return store;
}

// Every record `filter` selects, newest first.
inline std::vector<history::RunRecord> Records(history::HistoryStore& store,
                                               const history::HistoryFilter& filter = history::HistoryFilter{}) {
    std::vector<history::RunRecord> records;
    const Error error = store.Query(filter, [&records](const history::RunRecord& record) { records.push_back(record); });
    EXPECT_FALSE(error) << error.message;
    return records;
}

// A run's record as a write at `location` would leave it, begun at `started`.
inline history::RunRecord WriteRecord(const std::string& started, const std::string& location,
                                      const std::string& serial = "") {
    history::RunRecord record = history::StartRunRecord("padsmith write fw.bin");
    record.started = started;
    record.location = location;
    record.vidPid = "2A7D:6C21";
    record.serial = serial;
    record.node = "/dev/hidraw3";
    record.imagePath = "/srv/fw.bin";
    record.imageBytes = 0xD800;
    record.imageSha256 = "7f5d5f0ff106e6d1bce247ffd8e718b9d5abc9d6c6179f4fe47f3735dde15997";
    return record;
}

// `record` as its run ends: `result`, with the error of a failure.
inline history::RunRecord Completed(history::RunRecord record, const std::string& result,
                                    const std::string& errorKind = "", const std::string& errorMessage = "") {
    record.ended = record.started;
    record.result = result;
    record.recordsSent = result == ResultWord(RunResult::kSuccess) ? 1344 : 3;
    record.recordsRefused = result == ResultWord(RunResult::kSuccess) ? 0 : 1;
    record.errorKind = errorKind;
    record.errorMessage = errorMessage;
    record.pcbVersion = "0.10.3.1";
    record.firmwareVersion = "1.0.10.255";
    record.productSize = "15.25";
    return record;
}

}  // namespace padsmith::test
