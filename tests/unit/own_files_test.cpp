// Files the tool writes are its own: no writer follows a link planted where its file goes, and
// each makes its file 0600 whatever the umask; only a regular file of this user's that others
// cannot write is written to; the history's folders are made 0700.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "TestRig.h"
#include "base/OwnFile.h"
#include "device/RecordingHidPort.h"
#include "device/sim/SimFlashFile.h"
#include "history/HistoryStore.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;

std::string Contents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

// One of the tool's writers, given the file it writes: its error, empty when it wrote.
struct Writer {
    const char* name;
    const char* planted;  // what is put after the file's name where the writer goes first
    std::function<std::string(const std::string& file)> write;
};

const std::vector<Writer>& Writers() {
    static const std::vector<Writer> writers{
        {"record", "",
         [](const std::string& file) {
             VirtualClock clock;
             sim::SimHidPort port(clock, sim::SimOptions{});
             return RecordingHidPort::Create(port, clock, file).error().message;
         }},
        {"trace", "",
         [](const std::string& file) {
             VirtualClock clock;
             return sim::SimHidPort::Create(clock, Options("trace=" + file)).error().message;
         }},
        {"flash", ".saving",  // the save's new file, renamed over the flash file once written
         [](const std::string& file) {
             return sim::SaveFlashFile(file, sim::FactoryFlash()).message;
         }},
        {"history", "",
         [](const std::string& file) {
             Error error;
             history::HistoryStore::Open(file, {}, error);
             return error.message;
         }},
    };
    return writers;
}

TEST(OwnFiles, NoWriterFollowsALinkPlantedWhereItsFileGoesAndEachMakesItsFile0600) {
    TempDir dir;
    const std::filesystem::path victim = dir.Path() / "root's file";
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        const std::string file = (dir.Path() / writer.name).string();
        // A link to a file that is there (never written or cut), and one to none (never made).
        for (const bool dangling : {false, true}) {
            std::filesystem::remove(victim);
            if (!dangling) std::ofstream(victim) << "not to be touched";
            std::filesystem::create_symlink(victim, file + writer.planted);
            EXPECT_THAT(writer.write(file), HasSubstr("a symbolic link, never followed"));
            if (dangling) {
                EXPECT_FALSE(std::filesystem::exists(victim));
            } else {
                EXPECT_EQ(Contents(victim), "not to be touched");
            }
            std::filesystem::remove(file + writer.planted);
        }
        const mode_t umaskBefore = umask(0);
        const std::string error = writer.write(file);
        umask(umaskBefore);
        EXPECT_EQ(error, "");
        EXPECT_EQ(ModeOf(file), 0600u);
    }
}

TEST(OwnFiles, OnlyARegularFileOfThisUsersThatOthersCannotWriteIsWrittenTo) {
    TempDir dir;
    struct Case {
        const char* name;
        mode_t mode;      // a file of this user's with this mode; 0: `make` makes what is there
        std::string why;  // empty: it is written to
        std::function<std::string(const std::filesystem::path&)> make = nullptr;
    };
    const std::vector<Case> cases{
        {"own-0600", 0600, ""},
        {"own-0644", 0644, ""},
        {"group-writable", 0664, "group or others may write it (mode 0664), so what it holds cannot be trusted"},
        {"others-writable", 0606, "group or others may write it (mode 0606)"},
        {"fifo", 0, "a FIFO, not a regular file",
         [](const std::filesystem::path& path) { return mkfifo(path.c_str(), 0600) == 0 ? path.string() : ""; }},
        {"device", 0, "a device, not a regular file", [](const std::filesystem::path&) { return std::string("/dev/null"); }},
        {"folder", 0, "a folder, not a regular file",
         [](const std::filesystem::path& path) { return std::filesystem::create_directory(path) ? path.string() : ""; }},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.name);
        std::string path = (dir.Path() / one.name).string();
        if (one.make != nullptr) {
            path = one.make(path);
        } else {
            std::ofstream(path) << "kept";
            chmod(path.c_str(), one.mode);
        }
        Error error;
        const std::unique_ptr<OwnFile> file = OwnFile::Open(path, OwnFile::Create::kAppend, error);
        EXPECT_EQ(file != nullptr, one.why.empty());
        EXPECT_THAT(error.message, HasSubstr(one.why));
        EXPECT_EQ(error.message.find('\n'), std::string::npos);
    }

    // The history's folders, where padsmith makes them, are 0700 whatever the umask; a link
    // planted in place of the last one is refused, not made into.
    history::HistoryOpenOptions folders;
    folders.createFolders = true;
    Error error;
    const mode_t umaskBefore = umask(0);
    EXPECT_NE(history::HistoryStore::Open((dir.Path() / "state/padsmith/history.sqlite3").string(), folders, error),
              nullptr)
        << error.message;
    umask(umaskBefore);
    EXPECT_EQ(ModeOf(dir.Path() / "state"), 0700u);
    EXPECT_EQ(ModeOf(dir.Path() / "state/padsmith"), 0700u);
    std::filesystem::create_directory(dir.Path() / "elsewhere");
    std::filesystem::create_directory_symlink(dir.Path() / "elsewhere", dir.Path() / "state/linked");
    EXPECT_EQ(history::HistoryStore::Open((dir.Path() / "state/linked/history.sqlite3").string(), folders, error),
              nullptr);
    EXPECT_THAT(error.message, HasSubstr("linked: a symbolic link, never followed"));

    // Another user's file: written by no one else, root included; read, it may be.
    if (geteuid() != 0) GTEST_SKIP() << "a file of another user: root only can make one";
    const std::filesystem::path theirs = dir.Path() / "theirs";
    std::ofstream(theirs) << "kept";
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_THAT(CheckOwnFile(theirs.string()).message,
                HasSubstr("owned by another user (uid 65534, not 0); padsmith writes only files of the user it runs as"));
    EXPECT_FALSE(CheckOwnFile(theirs.string(), OwnFileUse::kRead));
    EXPECT_EQ(Contents(theirs), "kept");
}

}  // namespace
}  // namespace padsmith::test
