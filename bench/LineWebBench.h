#pragma once
// A line with its web view: the same simulated line with and without a station's page open in a
// real browser and /metrics scraped under load, side by side.

#include "protocol/FirmwareImage.h"

namespace padsmith::bench {

// A line of `ports` ports, `turns` displays each, once without the web view and once with it,
// Chromium showing the page and wrk scraping /metrics all along (both from Debian). Prints the
// displays per hour of each against the ideal, the CPU per port, and the page's latency. False
// when a display was not written, or Chromium or wrk is missing.
bool MeasureLineWeb(int ports, int turns, const VerifiedImage& image);

}  // namespace padsmith::bench
