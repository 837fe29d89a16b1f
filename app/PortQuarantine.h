#pragma once
// A station's port that takes itself out of service: after a number of failures in a row on it
// (a worn cable, a bad hub port), the station starts no display there until it is restarted or
// the operator clears it, rather than spoiling display after display.
//
// What a run says of its port comes from its result (app/RunResult.h): a display written
// proves the port and resets the count; a failure or a busy display counts against it (each of
// those came through that port, a different display each time, since a display that stays is
// not tried again); a result that is the image's or the display's own verdict says nothing of
// the port. A run that the history refused never reached its display and says nothing either.

#include <string>
#include <vector>

#include "app/DisplayOutcome.h"
#include "base/Error.h"

namespace padsmith {

// Failures in a row that put a port out of service, unless the station is told otherwise.
inline constexpr int kFailuresBeforeOutOfService = 3;

// One failure on a port: the display (its USB serial number) and what stood in the way.
struct PortFailure {
    std::string serial;
    Error error;
};

// The failures in a row of one port.
class FailuresInRow {
public:
    // `limit` failures in a row put the port out of service; 0: never.
    explicit FailuresInRow(int limit) : m_limit(limit) {}

    // Takes a run's outcome on the port; true when it put the port out of service.
    bool Take(const DisplayOutcome& outcome);
    bool OutOfService() const { return m_outOfService; }
    // The last failures in a row, oldest first (at most `limit`).
    const std::vector<PortFailure>& Failures() const { return m_failures; }
    // Back in service, counting from nothing.
    void Clear();

private:
    const int m_limit;
    std::vector<PortFailure> m_failures;
    bool m_outOfService = false;
};

}  // namespace padsmith
