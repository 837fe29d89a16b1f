#pragma once
// A line that runs itself: padsmith station's engine on simulated ports whose operator swaps each
// display for a fresh one once its run ended, in real time.

#include <vector>

#include "protocol/FirmwareImage.h"

namespace padsmith::bench {

// For each N of `ports`: `turns` displays through every port, with `swapSeconds` between a
// display's end and the next one's arrival. Prints the displays per hour against the ideal
// ports x 3600 / (floor + swap) and the CPU per port. False when a display was not written.
bool MeasureStationLines(const std::vector<int>& ports, int turns, double swapSeconds,
                         const VerifiedImage& image);

}  // namespace padsmith::bench
