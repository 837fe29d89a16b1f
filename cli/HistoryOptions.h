#pragma once
// The history's options of the command line: where the history is (--history, --no-history,
// taken by write and erase, which record their runs, and by history), and what the history
// command shows (--since, --serial, --failed, --csv; --device and --json are the command
// line's own).

#include <string>

namespace padsmith::cli {

struct HistoryOptions {
    std::string file;         // --history=FILE; empty: the default location
    bool disabled = false;    // --no-history
    std::string since;        // --since=DATE, as the stored time stamps begin
    std::string serial;       // --serial=S
    bool failed = false;      // --failed
    bool csv = false;         // --csv
    // history push URL: send the runs to the line's PostgreSQL instead of showing them.
    bool push = false;
    std::string pushUrl;
    bool pushUrlHoldsPassword = false;  // said once on stderr: it belongs in ~/.pgpass
};

}  // namespace padsmith::cli
