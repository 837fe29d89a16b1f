#pragma once
// A line that runs itself: padsmith station's engine on simulated ports whose operator swaps each
// display for a fresh one once its run ended, in real time.

#include <vector>

#include "app/RunObserver.h"
#include "base/SteadyClock.h"
#include "protocol/FirmwareImage.h"

namespace padsmith::bench {

// For each N of `ports`: `turns` displays through every port, with `swapSeconds` between a
// display's end and the next one's arrival. Prints the displays per hour against the ideal
// ports x 3600 / (floor + swap) and the CPU per port. False when a display was not written.
// What one line did.
struct LineFigures {
    double period = 0;   // seconds between two displays done on a port, the ports' mean
    double slowest = 0;  // the slowest port's
    double perHour = 0;  // displays an hour
    double ideal = 0;    // ports x 3600 / (floor + swap)
    double cpuPerPort = 0;  // the process's CPU, percent of wall time per port
    bool ok = false;     // every display written
};

// `turns` displays through each of `ports` simulated ports on `clock`; `view`, when given,
// is told everything the station tells (a web view), after the line's own count.
LineFigures RunLine(int ports, int turns, double swapSeconds, const VerifiedImage& image, SteadyClock& clock,
                    RunObserver* view = nullptr);

bool MeasureStationLines(const std::vector<int>& ports, int turns, double swapSeconds,
                         const VerifiedImage& image);

}  // namespace padsmith::bench
