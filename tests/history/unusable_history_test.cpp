// A history that cannot keep the runs, met before anything is sent: a file that is not a
// database, a folder where the file should be, a file this user may only read. Named with
// --history=FILE it is a promise: the run stops with the reason, exit 1, and nothing is erased.
// At the default location it is best effort: said once, and every display is written. (A full
// disk, the fourth, is made for real by full_disk_test.sh.)

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>

#include "tests/history/HistoryTest.h"
#include "tests/kernel/ChildProcess.h"
#include "tests/unit/CliRun.h"
#include "trust/TrustFolder.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;


// How a history is made unusable at a path, and what padsmith says of it.
struct Unusable {
    std::string name;
    std::function<void(const std::string& path)> make;
    std::string why;
    // Only another user meets it (root may write any file): the real program, run as nobody
    // where this test is root; the others run in process.
    bool otherUser = false;
};

const std::vector<Unusable>& Cases() {
    static const std::vector<Unusable> cases{
        {"corrupt", [](const std::string& path) { std::ofstream(path) << std::string(4096, '?'); },
         "file is not a database"},
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); },
         "a folder, not a history file"},
        {"read-only",
         [](const std::string& path) {
             OpenStore(path);
             chmod(path.c_str(), 0444);
             if (geteuid() == 0) chown(path.c_str(), kNobody, kNobody);  // nobody's own, read-only
         },
         "read-only for this user", true},
    };
    return cases;
}

// $XDG_STATE_HOME as a run sees it, restored afterwards.
class StateHome {
public:
    explicit StateHome(const std::string& folder) {
        if (const char* value = std::getenv("XDG_STATE_HOME")) m_saved = value;
        if (!folder.empty()) setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }
    ~StateHome() {
        if (m_saved) {
            setenv("XDG_STATE_HOME", m_saved->c_str(), 1);
        } else {
            unsetenv("XDG_STATE_HOME");
        }
    }
    StateHome(const StateHome&) = delete;
    StateHome& operator=(const StateHome&) = delete;

private:
    std::optional<std::string> m_saved;
};

// One run of `args` on simulated displays, in process or as the real program; its status and
// stderr.
ProgramRun Attempt(const Unusable& how, const std::vector<std::string>& args, const std::string& simulate,
                  const std::string& stateHome) {
    ProgramRun result;
    if (!how.otherUser) {
        StateHome home(stateHome);
        const CliRun run(args, simulate);
        result.exitCode = run.status;
        result.err = run.err;
        return result;
    }
    std::vector<std::string> argv{kPadsmith, "--simulate=" + simulate};
    argv.insert(argv.end(), args.begin(), args.end());
    RunOptions options;
    options.asNobody = geteuid() == 0;
    if (!stateHome.empty()) options.environment = {"XDG_STATE_HOME=" + stateHome};
    return RunProgram(argv, options);
}

// What a write says first where no trust folder is in force.
std::string NoTrustLine() {
    return "padsmith: " + trust::NoTrustNotice(trust::SystemTrustFolder()) + "\n";
}

bool Erased(const std::string& trace) {
    return Bytes(trace).find(" set 29") != std::string::npos;
}

bool Holds(const std::string& flash, const std::vector<uint8_t>& image) {
    return Bytes(flash).compare(0, image.size(), std::string(image.begin(), image.end())) == 0;
}

TEST(UnusableHistory, APromisedOneStopsTheRunBeforeTheEraseAndTheDefaultOneIsSaidOnce) {
    ScratchDir dir;
    const std::string image = dir.File("fw.bin");
    const std::vector<uint8_t> imageBytes = PatternImage(0x400);
    WriteBytes(image, imageBytes);
    const std::vector<uint8_t> oldFlash(0xD800, 0x5A);
    for (const Unusable& how : Cases()) {
        SCOPED_TRACE(how.name);
        // Open to nobody: the run as another user writes its flash and trace here.
        const std::string folder = dir.File(how.name);
        std::filesystem::create_directory(folder);
        chmod(folder.c_str(), 0777);
        const std::string flash = folder + "/promised.flash";
        const std::string trace = folder + "/promised.trace";
        WriteBytes(flash, oldFlash);
        chmod(flash.c_str(), 0666);

        const std::string promised = folder + "/history.sqlite3";
        how.make(promised);
        const ProgramRun stopped =
            Attempt(how, {"--history=" + promised, "write", image}, "trace=" + trace + ",flash=" + flash, "");
        EXPECT_EQ(stopped.exitCode, 1);
        EXPECT_EQ(stopped.err,
                  NoTrustLine() + "padsmith: history " + promised + ": " + how.why + "; nothing was sent\n");
        EXPECT_FALSE(Erased(trace));
        EXPECT_EQ(Bytes(flash), std::string(oldFlash.begin(), oldFlash.end()));

        // The default location, for a run of two displays.
        const std::string stateHome = folder + "/state";
        std::filesystem::create_directories(stateHome + "/padsmith");
        // The history's folder is the user's own, as padsmith makes it.
        if (how.otherUser && geteuid() == 0) chown((stateHome + "/padsmith").c_str(), kNobody, kNobody);
        const std::string fallback = stateHome + "/padsmith/history.sqlite3";
        how.make(fallback);
        const std::string written = folder + "/written";
        const ProgramRun ranOn = Attempt(how, {"--all", "write", image},
                                        "displays=2,trace=" + written + ".trace,flash=" + written + ".flash", stateHome);
        EXPECT_EQ(ranOn.exitCode, 0) << ranOn.err;
        EXPECT_EQ(ranOn.err, NoTrustLine() + "padsmith: history " + fallback + ": " + how.why +
                                 "; no history is kept of these runs (--history=FILE names a file)\n");
        EXPECT_TRUE(Holds(written + ".flash.1", imageBytes));
        EXPECT_TRUE(Holds(written + ".flash.2", imageBytes));
    }
}

// A history that opens but refuses the run's first row (a trigger of the file's own): the
// promise holds for each command that erases, and the display is sent nothing at all.
TEST(UnusableHistory, OneThatRefusesTheFirstRowStopsWriteEraseAndStationBeforeTheErase) {
    ScratchDir dir;
    const std::string image = dir.File("fw.bin");
    WriteBytes(image, PatternImage(0x400));
    const std::string promised = dir.File("history.sqlite3");
    OpenStore(promised);
    EXPECT_EQ(RawDatabase(promised).Execute("CREATE TRIGGER refused BEFORE INSERT ON runs"
                                            " BEGIN SELECT RAISE(ABORT, 'no room for the run'); END"),
              "");
    const std::vector<std::vector<std::string>> commands{{"write", image}, {"erase"}, {"station", image, "--max=1"}};
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0]);
        const std::string trace = dir.File(command[0] + ".trace");
        std::vector<std::string> args{"--history=" + promised};
        args.insert(args.end(), command.begin(), command.end());
        const CliRun run(args, "trace=" + trace);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.err + run.out, HasSubstr("no room for the run"));
        EXPECT_EQ(Bytes(trace), "");
        // A station tells the display started before it tells it failed, however soon it does.
        if (command[0] == "station") {
            EXPECT_LT(run.out.find("  started"), run.out.find("  failed: ")) << run.out;
        }
    }
}

}  // namespace
}  // namespace padsmith::test
