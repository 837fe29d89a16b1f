#include "cli/InterruptHold.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace padsmith::cli {
namespace {

std::atomic<int> g_held{0};

constexpr char kHeldNotice[] =
    "padsmith: interrupted: the run in progress finishes first (a display must not be left "
    "erased), then padsmith exits\n";

// Returns true for the first interrupt only.
bool Hold(int number) {
    int none = 0;
    return g_held.compare_exchange_strong(none, number);
}

#ifdef _WIN32

HANDLE g_runEnded = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    int number = SIGINT;
    if (event == CTRL_BREAK_EVENT) number = SIGBREAK;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        number = 1;  // as SIGHUP elsewhere
    }
    if (Hold(number)) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kHeldNotice, sizeof kHeldNotice - 1, &written, nullptr);
    }
    // The system ends the process once this returns from a closing console: keep it until the
    // run is over (the system allows a few seconds).
    if (number == 1 && g_runEnded != nullptr) WaitForSingleObject(g_runEnded, INFINITE);
    return TRUE;
}

}  // namespace

void HoldInterrupts() {
    g_runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

void ReleaseInterrupts() {
    if (g_runEnded != nullptr) SetEvent(g_runEnded);
}

#else

void OnInterrupt(int number) {
    if (Hold(number)) {
        // write() is safe in a signal handler; its outcome changes nothing.
        ssize_t ignored = ::write(STDERR_FILENO, kHeldNotice, sizeof kHeldNotice - 1);
        (void)ignored;
    }
}

}  // namespace

void HoldInterrupts() {
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // interrupted calls resume: the run does not notice
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        // An interrupt the caller chose to ignore (nohup, a background job) stays ignored.
        struct sigaction before {};
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

void ReleaseInterrupts() {}

#endif

int HeldInterrupt() {
    return g_held.load();
}

}  // namespace padsmith::cli
