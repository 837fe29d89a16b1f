// The station's view on a terminal: the real padsmith program under a pseudo-terminal, its
// ports redrawn in place.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "TestRig.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;

// Runs `args` on a pseudo-terminal and returns all it wrote there.
std::string OnATerminal(const std::vector<std::string>& args, int& status) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string screen;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;  // EIO: the program and its terminal are gone
        screen.append(buffer, static_cast<size_t>(got));
    }
    close(terminal);
    waitpid(child, &status, 0);
    return screen;
}

TEST(StationTerminal, EachPortIsOneLineRedrawnInPlace) {
    TempDir dir;
    const auto image = dir.Write("fw.bin", PatternImage(0x100));
    int status = -1;
    const std::string screen =
        OnATerminal({PADSMITH_PROGRAM, "--simulate=displays=2,2:refuse-at=0x20", "station", image.native(), "--max=2"},
                    status);
    ASSERT_TRUE(WIFEXITED(status)) << screen;
    EXPECT_EQ(WEXITSTATUS(status), 1) << screen;
    // Every drawing after the first goes back up over the last one: heading (2 lines) and ports.
    const size_t lastDrawing = screen.rfind("\033[4F");
    ASSERT_NE(lastDrawing, std::string::npos) << screen;
    const std::string last = screen.substr(lastDrawing);
    EXPECT_THAT(last, HasSubstr("\033[2K  1-1.1 "));
    EXPECT_THAT(last, ::testing::ContainsRegex("1-1\\.1 +[0-9.]+ s +done 1 +failed 0 +done\r\n"));
    EXPECT_THAT(last, ::testing::ContainsRegex("1-1\\.2 +[0-9.]+ s +done 0 +failed 1 +failed: write record 0x0020"));
    EXPECT_THAT(last, HasSubstr("station: 2 displays: 1 written, 1 failed, 0 ignored"));
    // While a display was written, its line said how far it was.
    EXPECT_THAT(screen, ::testing::ContainsRegex("1-1\\.1 .*writing [0-9]+ %"));
}

}  // namespace
}  // namespace padsmith::test
