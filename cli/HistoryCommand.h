#pragma once
// padsmith history: the runs kept in the history, newest first, as a table, JSON lines or CSV;
// and history push URL, which forwards them to a line's PostgreSQL. It serves no display, so it
// runs without the HID port.

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Session.h"

namespace padsmith::cli {

// Operands: none, or "push URL". A push where this build cannot forward is a usage error.
bool HistoryOperands(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error);

// The line's server of `history push URL` and `station --push=URL`: false with a one-line `error`
// (naming no password) where this build cannot forward or libpq cannot read the URL.
bool TakePushUrl(const std::string& url, HistoryOptions& options, std::string& error);

// The commands whose runs are recorded; they and history take --history.
bool RecordsItsRuns(const std::string& command);

// What the history's options ask of the command, checked once both are known; false with a
// one-line `error`.
bool CheckHistoryOptions(const CommandLine& parsed, std::string& error);

// Runs `history` or `history push URL`; returns the exit status.
int RunHistory(const CommandLine& commandLine, const SessionStreams& streams);

}  // namespace padsmith::cli
