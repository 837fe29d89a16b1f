#pragma once
// Runs a program for a test: with extra environment variables (the fixture's roots), optionally
// as user nobody, in the foreground or the background, with its stdout and stderr kept and a
// timeout after which it is killed. A child dies with the thread that started it
// (PR_SET_PDEATHSIG: the thread, not the process), so start children from the test's own thread;
// what the child starts in turn (a shell's commands) dies only with the timeout's kill of the
// process group, or the ChildProcess's end.

#include <sys/types.h>

#include <string>
#include <vector>

#include "base/Clock.h"

namespace padsmith::test {

constexpr uid_t kNobody = 65534;  // the user and group nobody

#ifdef PADSMITH_PROGRAM
inline const std::string kPadsmith = PADSMITH_PROGRAM;  // padsmith as built, for the tests that run it
#endif

struct RunOptions {
    std::vector<std::string> environment;  // "NAME=value", over this process's environment
    bool asNobody = false;                 // uid and gid 65534, no supplementary groups
    Millis timeout{10'000};                // from the start; then the child's process group is killed
};

struct ProgramRun {
    int exitCode = -1;      // -1 unless it exited
    int signal = 0;         // the signal that ended it
    bool timedOut = false;  // killed at the timeout
    // Still alive 5 s after SIGKILL: stuck in the kernel (a FUSE call nobody answers). It is
    // left behind, unreaped.
    bool unkillable = false;
    std::string out;
    std::string err;
};

class ChildProcess {
public:
    // Starts argv[0], looked up in PATH, in a process group of its own, with stdin on /dev/null.
    // A child that cannot be started exits 127 with the reason on its stderr.
    ChildProcess(const std::vector<std::string>& argv, const RunOptions& options);
    // Kills it and its process group, if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    // To the child alone, not its group.
    void Signal(int signal);
    // What it has written to its stdout so far; it may go on writing.
    std::string OutputSoFar() const;
    // Until it ends or its timeout; call once.
    ProgramRun Wait();

private:
    pid_t m_pid = -1;
    int m_pidfd = -1;
    int m_out = -1;  // memfds its stdout and stderr go to: a silent child never blocks on a pipe
    int m_err = -1;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_waited = false;
};

// Starts, waits, returns.
ProgramRun RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

}  // namespace padsmith::test
