// Interrupts held on Windows: a console control handler.

#include <windows.h>

#include <csignal>
#include <cstring>
#include <mutex>

#include "cli/InterruptHold.h"

namespace padsmith::cli {
namespace {

HANDLE g_runEnded = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    int number = SIGINT;
    if (event == CTRL_BREAK_EVENT) number = SIGBREAK;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        number = 1;  // as SIGHUP elsewhere
    }
    if (HoldFirst(number)) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kHeldNotice, std::strlen(kHeldNotice), &written, nullptr);
    }
    // The system ends the process once this returns from a closing console: keep it until the
    // run is over (the system allows a few seconds).
    if (number == 1 && g_runEnded != nullptr) WaitForSingleObject(g_runEnded, INFINITE);
    return TRUE;
}

}  // namespace

void IgnoreClosedOutput() {}  // a closed pipe is an error on the write, not a signal

void HoldInterrupts() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    });
}

void ReleaseInterrupts() {
    if (g_runEnded != nullptr) SetEvent(g_runEnded);
}

}  // namespace padsmith::cli
