#include "cli/InterruptHold.h"

#include <atomic>

namespace padsmith::cli {
namespace {
std::atomic<int> g_held{0};
// Who writes the notice: exactly one of the handler and the view, exactly once.
enum Notice { kHandlerWrites, kViewWrites, kWritten };
std::atomic<int> g_notice{kHandlerWrites};
}  // namespace

const char kHeldNotice[] =
    "padsmith: interrupted: the run in progress finishes first (a display must not be left "
    "erased), then padsmith exits\n";

bool HoldFirst(int number) {
    int none = 0;
    if (!g_held.compare_exchange_strong(none, number)) return false;
    int handler = kHandlerWrites;
    return g_notice.compare_exchange_strong(handler, kWritten);
}

void LeaveHeldNoticeToView(bool leave) {
    int from = leave ? kHandlerWrites : kViewWrites;
    g_notice.compare_exchange_strong(from, leave ? kViewWrites : kHandlerWrites);
}

bool TakeHeldNotice() {
    if (g_held.load() == 0) return false;
    int state = g_notice.load();
    while (state != kWritten) {
        if (g_notice.compare_exchange_weak(state, kWritten)) return true;
    }
    return false;
}

int HeldInterrupt() {
    return g_held.load();
}

}  // namespace padsmith::cli
