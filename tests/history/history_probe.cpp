// A padsmith process that writes the history, for the tests that need real processes: several
// writing one file at once, one killed in the middle, one run as another user, one on a disk
// that fills up. It prints what happened on stdout, one "key value" line each.
//
//   history_probe write FILE N          N runs begun and completed
//   history_probe write-forever FILE    runs begun and completed until it is killed
//   history_probe open FILE [folders]   open for recording (creating its folders), begin one run
//   history_probe fill DIR              (root) DIR becomes a 256 KiB tmpfs of its own; runs are
//                                       begun there until the disk is full

#include <sched.h>
#include <sys/mount.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/RunResult.h"
#include "history/HistoryStore.h"

namespace {

using namespace padsmith;
using namespace padsmith::history;

RunRecord Run(const std::string& command) {
    RunRecord record = StartRunRecord(command);
    record.location = "1-1.3";
    record.vidPid = "2A7D:6C21";
    return record;
}

std::unique_ptr<HistoryStore> OpenOrSay(const std::string& path, bool createFolders) {
    HistoryOpenOptions options;
    options.createFolders = createFolders;
    Error error;
    std::unique_ptr<HistoryStore> store = HistoryStore::Open(path, options, error);
    if (store == nullptr) std::printf("kind %s\nerror %s\n", ErrorKindName(error.kind), error.message.c_str());
    return store;
}

// Begins and completes a run; false with the error said.
bool BeginAndComplete(HistoryStore& store, const std::string& command) {
    RunRecord record = Run(command);
    Error error = store.Begin(record);
    if (!error) {
        record.ended = record.started;
        record.result = ResultWord(RunResult::kSuccess);
        error = store.Complete(record);
    }
    if (error) std::printf("kind %s\nerror %s\n", ErrorKindName(error.kind), error.message.c_str());
    return !error;
}

int Write(const std::string& path, long count) {
    std::unique_ptr<HistoryStore> store = OpenOrSay(path, false);
    if (store == nullptr) return 1;
    for (long i = 0; i < count; ++i) {
        if (!BeginAndComplete(*store, "probe write " + std::to_string(i))) return 1;
    }
    return 0;
}

int WriteForever(const std::string& path) {
    std::unique_ptr<HistoryStore> store = OpenOrSay(path, false);
    if (store == nullptr) return 1;
    for (long i = 0;; ++i) {
        if (!BeginAndComplete(*store, "probe write-forever " + std::to_string(i))) return 1;
        if (i == 0) {
            std::printf("writing\n");
            std::fflush(stdout);
        }
    }
}

int Open(const std::string& path, bool createFolders) {
    std::unique_ptr<HistoryStore> store = OpenOrSay(path, createFolders);
    if (store == nullptr) return 1;
    return BeginAndComplete(*store, "probe open") ? 0 : 1;
}

int Fill(const std::string& directory) {
    // A tmpfs of its own, in a mount namespace of its own: nothing outlives the process.
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("padsmith-full", directory.c_str(), "tmpfs", 0, "size=256k") != 0) {
        std::printf("setup %s\n", std::strerror(errno));
        return 2;
    }
    const std::string path = directory + "/history.sqlite3";
    std::unique_ptr<HistoryStore> store = OpenOrSay(path, false);
    if (store == nullptr) return 1;
    long begun = 0;
    for (;; ++begun) {
        RunRecord record = Run("probe fill");
        record.errorMessage = std::string(2000, 'x');  // fills the disk in fewer rows
        Error error = store->Begin(record);
        if (error) {
            std::printf("kind %s\nerror %s\n", ErrorKindName(error.kind), error.message.c_str());
            break;
        }
    }
    store.reset();
    // Every run begun before the disk was full is still there.
    HistoryOpenOptions reading;
    reading.access = HistoryAccess::kRead;
    Error error;
    store = HistoryStore::Open(path, reading, error);
    long kept = 0;
    if (store != nullptr) error = store->Query(HistoryFilter{}, [&kept](const RunRecord&) { ++kept; });
    if (error) std::printf("reopen %s\n", error.message.c_str());
    std::printf("begun %ld\nkept %ld\n", begun, kept);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 4) return Write(argv[2], std::strtol(argv[3], nullptr, 10));
    if (mode == "write-forever" && argc == 3) return WriteForever(argv[2]);
    if (mode == "open" && (argc == 3 || argc == 4)) return Open(argv[2], argc == 4);
    if (mode == "fill" && argc == 3) return Fill(argv[2]);
    std::fprintf(stderr, "usage: history_probe write FILE N | write-forever FILE | open FILE [folders] | fill DIR\n");
    return 2;
}
