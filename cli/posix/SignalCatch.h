#pragma once
// A handler for a signal whose interrupted calls resume (SA_RESTART), so the runs do not notice
// it arrived.

#include <signal.h>

namespace padsmith::cli {

inline void CatchSignal(int number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

}  // namespace padsmith::cli
