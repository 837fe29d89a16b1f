#pragma once
// Several simulated displays written at once in real time, each by a driver of its own on a
// thread of its own, as padsmith --all does.

#include <vector>

#include "protocol/FirmwareImage.h"

namespace padsmith::bench {

// For each N of `counts`: the wall time against one display's floor, the CPU per display and
// the displays per hour. False when a display was not written.
bool MeasureStations(const std::vector<int>& counts, const VerifiedImage& image);

}  // namespace padsmith::bench
