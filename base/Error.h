#pragma once
// A failure as data: what kind it is, and one line that says what failed, where, and the
// system's own words. The layer that meets the system's code makes it once (errno on Linux,
// GetLastError on Windows); each layer above adds its own step in front ("write record 0x0040:
// HIDIOCSFEATURE report 0x28 on /dev/hidraw3: Broken pipe"), so the message that reaches a
// person, the JSON or the history names the whole road.

#include <string>

namespace padsmith {

enum class ErrorKind {
    kNone,
    kAbsent,            // nothing there: no display, no such node or file
    kHeld,              // another handle, of this or another program, holds it
    kPermissionDenied,  // the system refuses this user
    kGone,              // the device left the bus
    kRefused,           // the device refused the report
    kIo,                // any other failure of the system or the device
    kBadImage,          // the image file must not be written: unreadable, wrong name, empty
    kDiverged,          // a replayed recording met a request other than the one it holds next
    kRejected,          // a release's checks refused it: its signature, its keys, its date, its
                        // image, or the display it met; nothing was sent
    kUsage,             // malformed arguments or options, or no HID port on this system: nothing
                        // was tried
    kMalformed,         // a text or file read is not what it must be: an option, a recording
};

// "absent", "held", "permission-denied", "gone", "refused", "io", "bad-image", "diverged",
// "rejected", "usage", "malformed"; "" for kNone.
const char* ErrorKindName(ErrorKind kind);

struct Error {
    ErrorKind kind = ErrorKind::kNone;
    std::string message;

    Error() = default;
    Error(ErrorKind kindIn, std::string messageIn) : kind(kindIn), message(std::move(messageIn)) {}

    explicit operator bool() const { return kind != ErrorKind::kNone; }
    // The same failure, seen from the step that met it: "step: message".
    Error Within(const std::string& step) const;
};

// A system error number (errno, or a std::errc value) as a kind, with "operation: the system's
// text". EPIPE: the device refused (stalled) the request; ENODEV, ENXIO, EIO, ESHUTDOWN: it is
// gone; EACCES, EPERM: not this user; EBUSY, EWOULDBLOCK: someone holds it; ENOENT: nothing
// there; anything else: io.
Error ErrorFromErrno(int code, const std::string& operation);

}  // namespace padsmith
