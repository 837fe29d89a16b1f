#pragma once
// Every way a Write Flash can be cut short, each followed by a fresh Write Flash of the same
// image: the display must always come back holding the image. For each write record k
// (0..1343): the device refuses record k; the display is unplugged after k accepted records and
// plugged in again. Then a refused erase, and an unplug during the erase's settle pause. Each
// case runs on a simulated display of its own, in virtual time.

#include <string>
#include <vector>

namespace padsmith::support {

struct RecoveryReport {
    int recovered = 0;
    int total = 0;
    std::vector<std::string> failures;  // one line per case that did not recover
};

// `stride` 1 runs every record index; a larger one every stride-th (and the last), for slow
// builds. `threads` cases run side by side.
RecoveryReport RunRecoveryCampaign(int stride = 1, int threads = 2);

}  // namespace padsmith::support
