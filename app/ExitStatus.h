#pragma once
// The exit statuses of both programs, declared once.

#include "base/Error.h"

namespace padsmith {

inline constexpr int kExitSuccess = 0;
// The operation failed; or a file (image, flash, trace, record) could not be opened or saved;
// or the display was not there.
inline constexpr int kExitFailure = 1;
// Malformed arguments or --simulate options; no HID port on this system.
inline constexpr int kExitUsage = 2;
// The device lock was not had within 5 s: another operation is talking to the display.
inline constexpr int kExitBusy = 3;
// A replayed recording (--simulate=replay=FILE) met a request other than the one it holds next,
// or the run ended with recorded records unplayed.
inline constexpr int kExitReplayDiverged = 4;
// A release's checks refused it (its signature, keys, date or image, or the display it met):
// nothing was erased.
inline constexpr int kExitRejected = 5;
// An interrupt N was held until the run ended: the program then exits with this plus N.
inline constexpr int kExitInterruptedBase = 128;

// What stood in the way of a program as its exit status: a port that could not start (usage for
// malformed options), or what the port held against the session when it ended
// (HidPort::EndSession): a replay that diverged says so; a flash file that was not saved is a run
// whose result is lost.
inline int ExitStatusOfError(const Error& error) {
    switch (error.kind) {
        case ErrorKind::kNone: return kExitSuccess;
        case ErrorKind::kUsage: return kExitUsage;
        case ErrorKind::kDiverged: return kExitReplayDiverged;
        case ErrorKind::kRejected: return kExitRejected;
        default: return kExitFailure;
    }
}

}  // namespace padsmith
