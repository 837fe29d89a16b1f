#pragma once
// The base of every test that goes through the kernel: it skips, with the reason, where the
// hidraw fixture cannot run, and gives the real clock the fixture's displays run on.
//
//   TEST_F(KernelTest, Something) {
//       HidrawFixture fixture({DisplayOptions("refuse-erase")}, clock);
//       ProgramRun run = RunProgram({program, ...}, {fixture.Environment()});
//   }

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "base/SteadyClock.h"
#include "device/sim/SimOptions.h"
#include "tests/kernel/ChildProcess.h"
#include "tests/kernel/HidrawFixture.h"

namespace padsmith::test {

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string reason = HidrawFixture::Unavailable();
        if (!reason.empty()) GTEST_SKIP() << "no hidraw fixture here: " << reason;
    }

    SteadyClock clock;
};

// A display set up as the --simulate= text says.
inline sim::SimOptions DisplayOptions(const std::string& text) {
    Result<sim::SimOptions> options = sim::ParseSimOptions(text);
    EXPECT_TRUE(options) << options.error().message;
    return options ? *options : sim::SimOptions{};
}

// A file descriptor closed at the end of its scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const std::string& path, int flags) : m_fd(open(path.c_str(), flags | O_CLOEXEC)) {}
    ~Fd() {
        if (m_fd >= 0) close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace padsmith::test
