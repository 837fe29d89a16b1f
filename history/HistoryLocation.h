#pragma once
// Where the history lives when --history=FILE does not say: the user's state folder, as the XDG
// base directories name it, $XDG_STATE_HOME/padsmith/history.sqlite3 (an absolute
// $XDG_STATE_HOME only), else $HOME/.local/state/padsmith/history.sqlite3; on Windows
// %LOCALAPPDATA%\padsmith\history.sqlite3.

#include <string>

namespace padsmith::history {

// The default file, UTF-8; empty with `error` when the environment names no home.
std::string DefaultHistoryPath(std::string& error);

}  // namespace padsmith::history
