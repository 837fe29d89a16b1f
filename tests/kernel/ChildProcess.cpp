#include "tests/kernel/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace padsmith::test {
namespace {

constexpr int kKillGraceMs = 5000;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    auto name = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string current = *entry;
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [&](const std::string& e) { return name(e) == name(current); });
        if (!replaced) merged.push_back(current);
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// From the start, without moving the offset the child writes at (its stdout shares it).
std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

[[noreturn]] void ChildFails(const char* step) {
    const char* reason = strerror(errno);
    (void)!write(2, step, strlen(step));
    (void)!write(2, ": ", 2);
    (void)!write(2, reason, strlen(reason));
    (void)!write(2, "\n", 1);
    _exit(127);
}

// Between fork and exec: nothing that allocates or takes a lock another thread may hold.
[[noreturn]] void BecomeChild(pid_t parent, int in, int out, int err, bool asNobody, char** argv, char** envp) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the parent died before the line above
    setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close_range(3, UINT_MAX, 0);
    if (asNobody) {
        if (setgroups(0, nullptr) != 0) ChildFails("setgroups");
        if (setgid(kNobody) != 0) ChildFails("setgid");
        if (setuid(kNobody) != 0) ChildFails("setuid");
    }
    execvpe(argv[0], argv, envp);
    ChildFails(argv[0]);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const RunOptions& options) {
    if (argv.empty()) throw std::invalid_argument("no program to run");
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = MergedEnvironment(options.environment);
    std::vector<char*> argp = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_out = memfd_create("stdout", MFD_CLOEXEC);
    m_err = memfd_create("stderr", MFD_CLOEXEC);
    if (in < 0 || m_out < 0 || m_err < 0) throw std::runtime_error("cannot set up a child's files");
    const pid_t parent = getpid();
    m_deadline = std::chrono::steady_clock::now() + options.timeout;
    m_pid = fork();
    if (m_pid == 0) BecomeChild(parent, in, m_out, m_err, options.asNobody, argp.data(), envp.data());
    close(in);
    if (m_pid < 0) throw std::runtime_error("fork failed");
    // Glibc 2.36's <sys/pidfd.h> lacks extern "C"; the system call itself is plain.
    m_pidfd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
}

ChildProcess::~ChildProcess() {
    if (!m_waited && m_pid > 0) {
        kill(-m_pid, SIGKILL);
        kill(m_pid, SIGKILL);
        pollfd gone{m_pidfd, POLLIN, 0};
        // Never hang a test's teardown on a child stuck in the kernel.
        if (poll(&gone, 1, kKillGraceMs) == 1) waitpid(m_pid, nullptr, 0);
    }
    close(m_pidfd);
    close(m_out);
    close(m_err);
}

void ChildProcess::Signal(int signal) {
    kill(m_pid, signal);
}

std::string ChildProcess::OutputSoFar() const {
    return ReadAll(m_out);
}

ProgramRun ChildProcess::Wait() {
    ProgramRun result;
    m_waited = true;
    pollfd ended{m_pidfd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<Millis>(m_deadline - std::chrono::steady_clock::now());
    if (poll(&ended, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) != 1) {
        result.timedOut = true;
        kill(-m_pid, SIGKILL);
        kill(m_pid, SIGKILL);
        result.unkillable = poll(&ended, 1, kKillGraceMs) != 1;
    }
    if (!result.unkillable) {
        int status = 0;
        waitpid(m_pid, &status, 0);
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    }
    result.out = ReadAll(m_out);
    result.err = ReadAll(m_err);
    return result;
}

ProgramRun RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
    return ChildProcess(argv, options).Wait();
}

}  // namespace padsmith::test
