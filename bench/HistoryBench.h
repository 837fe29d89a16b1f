#pragma once
// What the run history costs: a record's Begin + Complete (once per display, outside a write's
// pacing), alone and with the eight displays of a station at once; and `padsmith history
// --failed` over a history of many runs, the real program with its output, as a line runs it.

#include <filesystem>

namespace padsmith::bench {

// `quick`: few records and a small history, for the suite's smoke run. False on any failure.
bool MeasureHistory(const std::filesystem::path& directory, bool quick);

}  // namespace padsmith::bench
