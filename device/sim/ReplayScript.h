#pragma once
// A recorded session (device/ReportTrace.h) as the display that was recorded plays it back. Each
// report the tool sends must equal the next recorded request, kind (set or get) and every byte;
// it is then answered with the recorded outcome: accepted (with a get's reply), refused or gone.
// The device's own records (input reports, arrivals, removals) are handed out at their place
// between the requests. A write record accepted sooner after the previous record or the erase
// than the flash allows (SimFirmware.h: kProgramTime, kEraseTime) would have been refused by a
// real flash; that, too, ends the replay.
//
// The first difference ends the replay for good: from then on every request diverges, and the
// message names the recording's line, the recorded bytes and the bytes sent. Not thread-safe:
// the port (ReplayHidPort) calls it under its lock.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Error.h"
#include "device/ReportTrace.h"

namespace padsmith::sim {

class ReplayScript {
public:
    // `name` is how messages call the recording (its file name).
    ReplayScript(ParsedTrace trace, std::string name);

    enum class Outcome { kAccepted, kRefused, kGone, kDiverged };
    struct Answer {
        Outcome outcome = Outcome::kDiverged;
        std::vector<uint8_t> reply;  // an accepted get's
        int line = 0;                // the recording's line that answered
    };
    // The tool sends a set-feature report, or asks for a get with `request` (report ID first), at
    // `now` on the replay's clock.
    Answer Set(const uint8_t* report, size_t length, Micros now);
    Answer Get(const uint8_t* request, size_t length, Micros now);

    // The next record when it is one of the device's own (input, arrival, removal), else null.
    const ReportRecord* NextEvent() const;
    // Takes that record; an arrival is a power-up, which ends a running erase or programming.
    ReportRecord TakeEvent();
    // True once a request was answered or the replay diverged.
    bool Started() const { return m_started; }
    // False when the recording's first arrival or removal is an arrival: the display was off the
    // bus when the recording began.
    bool PresentAtStart() const;

    // The session is over: recorded records left unplayed are a divergence too.
    void End();
    bool Diverged() const { return static_cast<bool>(m_divergence); }
    // A diverged Error of one line, what differed and where; empty while the replay holds.
    const Error& Divergence() const { return m_divergence; }

private:
    Answer Match(bool get, const uint8_t* bytes, size_t length, Micros now);
    // The flash's timing, for a write record the recording says was accepted; empty when it holds.
    std::string TooSoon(const ReportRecord& recorded, Micros now) const;
    void Track(const ReportRecord& recorded, Micros now);
    // "replay of NAME diverged WHERE: WHAT".
    Answer Diverge(const std::string& where, const std::string& what);

    std::vector<ParsedTrace::Entry> m_entries;
    std::string m_name;
    size_t m_next = 0;
    bool m_started = false;
    Error m_divergence;
    Micros m_eraseEnds{0};
    Micros m_programmingEnds{0};
};

}  // namespace padsmith::sim
