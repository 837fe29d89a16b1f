#pragma once
// The record of one display's run, as the history keeps it: plain data. A run's record is
// written as unfinished before anything is sent to the display, and completed when the run
// ends; a record that stays unfinished names a display that was cut off (killed, power lost)
// and must be checked.

#include <cstdint>
#include <optional>
#include <string>

namespace padsmith::history {

// A record's result until its run completes it with the run's own (app/RunResult.h).
inline constexpr char kUnfinished[] = "unfinished";

struct RunRecord {
    std::string id;       // a random UUID (version 4), the record's key everywhere it goes
    std::string started;  // UTC, "2026-12-10T14:03:07.123Z"
    std::string ended;    // the same form; empty while unfinished
    std::string host;     // the machine that ran it
    std::string version;  // padsmith's version
    std::string command;  // the command line as it was given

    // The display: its USB location ("1-1.3"), "2A7D:6C21", its USB serial number where known,
    // its node or interface path; and what it said before the erase, as the dialog shows the
    // values ("0.10.3.1", "1.0.10.255", "15.25"), empty when not read.
    std::string location;
    std::string vidPid;
    std::string serial;
    std::string node;
    std::string pcbVersion;
    std::string firmwareVersion;
    std::string productSize;

    // The image written: its full path, size and SHA-256 (64 hex digits); empty for an erase.
    std::string imagePath;
    std::optional<int64_t> imageBytes;
    std::string imageSha256;

    // Write records sent to the display, and of those the ones it refused.
    std::optional<int64_t> recordsSent;
    std::optional<int64_t> recordsRefused;

    std::string result = kUnfinished;
    std::string errorKind;     // base/Error.h's kind name ("refused"), empty when none
    std::string errorMessage;  // the whole message, every step named
    std::string recordFile;    // --record's file, when there was one

    // What the display reported once the write ended ("1.0.11.0"), where it was asked; empty
    // when not.
    std::string firmwareAfter;
    // The signed release the image was checked against, where trust was in force: the manifest
    // file's SHA-256 and the ID of the key that signed it, as minisign prints it; empty without.
    std::string manifestSha256;
    std::string signingKey;
};

// A record of a run starting now: a new ID, the start time, this host and this padsmith's
// version, the command as given; unfinished.
RunRecord StartRunRecord(const std::string& command);

}  // namespace padsmith::history
