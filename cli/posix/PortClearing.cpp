// The operator's request to clear a station's ports out of service: SIGUSR1.

#include "cli/PortClearing.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "cli/posix/SignalCatch.h"

namespace padsmith::cli {
namespace {

// Lock-free, so the handler may count on it.
std::atomic<unsigned> g_requests{0};
static_assert(std::atomic<unsigned>::is_always_lock_free);

void OnClearRequest(int) {
    g_requests.fetch_add(1);
}

}  // namespace

void ListenForClearing() {
    static std::once_flag once;
    std::call_once(once, [] { CatchSignal(SIGUSR1, &OnClearRequest); });
}

unsigned ClearRequests() {
    return g_requests.load();
}

std::string HowToClear() {
    return "kill -USR1 " + std::to_string(getpid());
}

}  // namespace padsmith::cli
