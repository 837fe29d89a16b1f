// Interrupts held on a POSIX system: signal handlers.

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <initializer_list>
#include <mutex>

#include "cli/InterruptHold.h"
#include "cli/posix/SignalCatch.h"

namespace padsmith::cli {
namespace {

void OnInterrupt(int number) {
    if (HoldFirst(number)) {
        // write() is safe in a signal handler; its outcome changes nothing.
        ssize_t ignored = ::write(STDERR_FILENO, kHeldNotice, std::strlen(kHeldNotice));
        (void)ignored;
    }
}

}  // namespace

void IgnoreClosedOutput() {
    std::signal(SIGPIPE, SIG_IGN);
}

void HoldInterrupts() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int number : {SIGINT, SIGTERM, SIGHUP}) {
            // An interrupt the caller chose to ignore (nohup, a background job) stays ignored.
            struct sigaction before {};
            if (sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
            CatchSignal(number, &OnInterrupt);
        }
    });
}

void ReleaseInterrupts() {}

}  // namespace padsmith::cli
