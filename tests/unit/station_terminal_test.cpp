// The station's view on a terminal: the real padsmith program under a pseudo-terminal, its
// ports redrawn in place, as wide as the terminal is, and the program's messages above them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "TestRig.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;

// A program on a pseudo-terminal of the test's own, 24 rows of `columns`, what it writes there
// read as it comes.
class PseudoTerminal {
public:
    PseudoTerminal(const std::vector<std::string>& args, int columns) {
        winsize size = Size(columns);
        m_child = forkpty(&m_terminal, nullptr, nullptr, &size);
        if (m_child == 0) {
            std::vector<char*> argv;
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~PseudoTerminal() {
        if (m_child > 0 && !m_ended) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
        if (m_terminal >= 0) close(m_terminal);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Reads until `seen` holds for what was written since `from`, or the program's terminal is
    // gone; false when 20 s pass first.
    bool ReadUntil(const std::function<bool(const std::string&)>& seen, size_t from = 0) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!seen(m_output.substr(std::min(from, m_output.size())))) {
            if (m_gone || std::chrono::steady_clock::now() > giveUp) return false;
            pollfd ready{m_terminal, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t got = read(m_terminal, buffer, sizeof buffer);
            if (got > 0) m_output.append(buffer, static_cast<size_t>(got));
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) m_gone = true;  // EIO: it ended
        }
        return true;
    }
    // The terminal is made `columns` wide: the program gets SIGWINCH.
    void Resize(int columns) {
        const winsize size = Size(columns);
        ioctl(m_terminal, TIOCSWINSZ, &size);
    }
    void Signal(int number) { kill(m_child, number); }
    pid_t Pid() const { return m_child; }
    // Reads all it writes until it ends; its wait status.
    int Wait() {
        ReadUntil([](const std::string&) { return false; });
        int status = -1;
        waitpid(m_child, &status, 0);
        m_ended = true;
        return status;
    }
    const std::string& Output() const { return m_output; }

private:
    static winsize Size(int columns) { return winsize{24, static_cast<unsigned short>(columns), 0, 0}; }

    pid_t m_child = -1;
    int m_terminal = -1;
    std::string m_output;
    bool m_gone = false;
    bool m_ended = false;
};

// What a person reads on a terminal that does not rewrap its lines (xterm) when fed `output`:
// every row, those scrolled off the top included, a row that the terminal wrapped joined to the
// next, as a line. It knows the sequences the view uses: cursor to a line above (F), erase the
// line (2K) and to the end of the screen (J). One column per character: the texts are ASCII.
class Screen {
public:
    explicit Screen(int columns) : m_columns(columns) {}
    void Resize(int columns) { m_columns = columns; }

    // A sequence cut off at the end waits for the rest, which the next feed brings.
    void Feed(const std::string& more) {
        const std::string output = m_pending + more;
        m_pending.clear();
        for (size_t i = 0; i < output.size(); ++i) {
            const char c = output[i];
            if (c == '\033') {
                const size_t end = output.find_first_not_of("0123456789;?", i + 2);
                if (i + 1 == output.size() || end == std::string::npos) {
                    m_pending = output.substr(i);
                    return;
                }
                Control(output.substr(i + 2, end - i - 2), output[end]);
                i = end;
            } else if (c == '\r') {
                m_column = 0;
            } else if (c == '\n') {
                Down();
            } else if (static_cast<unsigned char>(c) >= 0x20) {
                if (m_column == m_columns) {  // the last column was written: the row wraps on
                    m_rows[m_row].wrapped = true;
                    Down();
                    m_column = 0;
                }
                std::string& text = m_rows[m_row].text;
                text.resize(std::max(text.size(), static_cast<size_t>(m_column) + 1), ' ');
                text[static_cast<size_t>(m_column++)] = c;
            }
        }
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines(1);
        for (const Row& row : m_rows) {
            lines.back() += row.text;
            if (!row.wrapped) lines.emplace_back();
        }
        for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
        lines.erase(std::remove(lines.begin(), lines.end(), std::string()), lines.end());
        return lines;
    }

private:
    struct Row {
        std::string text;
        bool wrapped = false;
    };
    static constexpr int kHeight = 24;

    void Down() {
        if (++m_row == static_cast<int>(m_rows.size())) m_rows.emplace_back();
    }
    void Control(const std::string& parameter, char command) {
        if (command == 'F') {  // up, no higher than the screen's top row
            const int top = std::max(static_cast<int>(m_rows.size()) - kHeight, 0);
            m_row = std::max(m_row - (parameter.empty() ? 1 : std::stoi(parameter)), top);
            m_column = 0;
        } else if (command == 'K' && parameter == "2") {
            m_rows[m_row] = Row();
        } else if (command == 'J' && (parameter.empty() || parameter == "0")) {
            m_rows[m_row].text.resize(std::min(m_rows[m_row].text.size(), static_cast<size_t>(m_column)));
            m_rows[m_row].wrapped = false;
            for (size_t below = static_cast<size_t>(m_row) + 1; below < m_rows.size(); ++below) m_rows[below] = Row();
        }
    }

    int m_columns;
    std::string m_pending;
    std::vector<Row> m_rows{1};
    int m_row = 0;
    int m_column = 0;
};

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

TEST(StationTerminal, EachPortIsOneLineAsWideAsTheTerminalRedrawnInPlaceBelowTheMessages) {
    TempDir dir;
    // An image whose name would clear the screen, and a line server that is not there: each
    // display's push fails with a message while the view is drawn.
    const auto image = dir.Write("fw\x1B[2J.bin", PatternImage(0x100));
    constexpr int kNarrow = 60;
    constexpr int kWide = 120;
    PseudoTerminal terminal({PADSMITH_PROGRAM, "--simulate=displays=2,2:refuse-at=0x20", "station", image.native(),
                             "--history=" + (dir.Path() / "history.sqlite3").native(),
                             "--push=postgresql:///padsmith?host=/nonexistent/padsmith"},
                            kNarrow);
    ASSERT_TRUE(terminal.ReadUntil([](const std::string& seen) { return seen.find("history push: ") != std::string::npos; }))
        << terminal.Output();
    const size_t narrow = terminal.Output().size();
    // Every drawing after the first goes back up over the last one: heading (2 lines) and ports;
    // while a display was written, its line said how far it was.
    EXPECT_THAT(terminal.Output(), HasSubstr("\033[4F\033[2Kpadsmith station  "));
    EXPECT_THAT(terminal.Output(), ::testing::ContainsRegex("\033\\[2K  1-1\\.1 .*writing [0-9]+ %"));
    Screen screen(kNarrow);
    screen.Feed(terminal.Output());
    for (const std::string& line : screen.Lines()) {
        if (StartsWith(line, "  1-1.")) {
            EXPECT_LT(static_cast<int>(line.size()), kNarrow) << line;
        }
    }

    // Widened, the view follows: the refusal is whole at its next drawing. Then Ctrl-C ends it.
    terminal.Resize(kWide);
    ASSERT_TRUE(terminal.ReadUntil([](const std::string& seen) { return seen.find("refused report 0x28") != std::string::npos; },
                                   narrow))
        << terminal.Output();
    terminal.Signal(SIGINT);
    const int status = terminal.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << terminal.Output();
    EXPECT_EQ(WEXITSTATUS(status), 1) << terminal.Output();
    screen.Resize(kWide);
    screen.Feed(terminal.Output().substr(narrow));
    const std::vector<std::string> lines = screen.Lines();
    auto first = [&](const std::string& start) {
        return std::find_if(lines.begin(), lines.end(), [&](const std::string& line) { return StartsWith(line, start); }) -
               lines.begin();
    };
    auto count = [&](const std::string& start) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return StartsWith(line, start); });
    };
    const std::string all = ::testing::PrintToString(lines);
    // The view once, never wrapped or left behind in pieces, its last drawing as wide as the
    // terminal became, the summary below it.
    EXPECT_EQ(count("padsmith station  "), 1) << all;
    EXPECT_EQ(count("ports: every port"), 1) << all;
    ASSERT_EQ(count("  1-1.1 "), 1) << all;
    ASSERT_EQ(count("  1-1.2 "), 1) << all;
    EXPECT_THAT(lines[static_cast<size_t>(first("  1-1.1 "))], ::testing::MatchesRegex(" +1-1\\.1 +[0-9.]+ s +done 1 +failed 0 +done"));
    EXPECT_THAT(lines[static_cast<size_t>(first("  1-1.2 "))],
                ::testing::MatchesRegex(" +1-1\\.2 +[0-9.]+ s +done 0 +failed 1 +failed: write record 0x0020: the display refused report 0x28"));
    EXPECT_EQ(lines.back(), "station: 2 displays: 1 written, 1 failed, 0 ignored") << all;
    EXPECT_EQ(terminal.Output().find("\x1B[2J"), std::string::npos) << "the image's name acted on the terminal";
    // The messages whole, above the view.
    const std::string notice =
        "padsmith: interrupted: the run in progress finishes first (a display must not be left erased), then "
        "padsmith exits";
    EXPECT_EQ(count(notice), 1) << all;
    EXPECT_LT(first(notice), first("padsmith station  ")) << all;
    const auto push = static_cast<size_t>(first("padsmith: history push: "));
    ASSERT_LT(push, lines.size()) << all;
    EXPECT_THAT(lines[push], ::testing::EndsWith("the next push")) << all;
    EXPECT_LT(push, static_cast<size_t>(first("padsmith station  "))) << all;
}

// Every display refuses the erase, and one failure puts the port out of service: its line says
// why, and no display is started there until the operator's SIGUSR1, which the heading names.
TEST(StationTerminal, APortOutOfServiceSaysWhyUntilTheOperatorClearsItWithSigusr1) {
    TempDir dir;
    const auto image = dir.Write("fw.bin", PatternImage(0x100));
    constexpr int kColumns = 200;
    PseudoTerminal terminal({PADSMITH_PROGRAM, "--simulate=displays=1,refuse-erase,leave-after=100,swap=100", "station",
                             image.native(), "--no-history", "--quarantine-after=1"},
                            kColumns);
    const std::string outOfService = "out of service: erase (report 0x29): the display refused report 0x29";
    auto failedAndOut = [&](int failed) {
        return [=](const std::string& seen) {
            return seen.find("failed " + std::to_string(failed) + "     " + outOfService) != std::string::npos;
        };
    };
    ASSERT_TRUE(terminal.ReadUntil(failedAndOut(1))) << terminal.Output();
    const size_t cleared = terminal.Output().size();
    terminal.Signal(SIGUSR1);
    ASSERT_TRUE(terminal.ReadUntil(failedAndOut(2), cleared)) << terminal.Output();
    terminal.Signal(SIGINT);
    const int status = terminal.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << terminal.Output();
    EXPECT_EQ(WEXITSTATUS(status), 1) << terminal.Output();
    Screen screen(kColumns);
    screen.Feed(terminal.Output());
    const std::vector<std::string> lines = screen.Lines();
    EXPECT_THAT(lines, ::testing::Contains(HasSubstr("kill -USR1 " + std::to_string(terminal.Pid()) +
                                                     " clears the ports out of service)")));
    EXPECT_EQ(lines.back(), "station: 2 displays: 0 written, 2 failed, 0 ignored, 1 port out of service (1-1.1)");
}

}  // namespace
}  // namespace padsmith::test
