#pragma once
// How a run over several displays ended, counted and said in one line: --all's summary
// ("4 displays: 2 written, 1 current, 1 failed (1-1.3: why)") and a station's ("2 displays:
// 1 written, 1 failed, 0 ignored, 1 records lost, 1 port out of service (1-1.2)").

#include <optional>
#include <string>
#include <vector>

namespace padsmith {

struct RunCounts {
    int displays = 0;  // started
    int succeeded = 0;
    int current = 0;  // already carried the release's version: left as they were
    int failed = 0;   // rejected ones included
    std::optional<int> ignored;  // a station's displays on no port of its own; then every count is named
    int recordsLost = 0;         // runs whose record a promised history lost
    std::string failures;        // what failed, by display ("1-1.3: why, 1-1.4: why"); --all names it
    std::vector<std::string> outOfService;  // a station's ports out of service as it ended

    // Every display written or already current, and every record kept.
    bool AllSucceeded() const { return failed == 0 && succeeded + current == displays && recordsLost == 0; }
    // The line, `doneWord` naming what a success did ("written").
    std::string Text(const char* doneWord) const;
};

}  // namespace padsmith
