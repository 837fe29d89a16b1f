#include "cli/InterruptHold.h"

#include <atomic>

namespace padsmith::cli {
namespace {
std::atomic<int> g_held{0};
}  // namespace

const char kHeldNotice[] =
    "padsmith: interrupted: the run in progress finishes first (a display must not be left "
    "erased), then padsmith exits\n";

bool HoldFirst(int number) {
    int none = 0;
    return g_held.compare_exchange_strong(none, number);
}

int HeldInterrupt() {
    return g_held.load();
}

}  // namespace padsmith::cli
