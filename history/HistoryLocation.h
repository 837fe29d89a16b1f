#pragma once
// Where the history lives when --history=FILE does not say: the user's state folder, as the XDG
// base directories name it, $XDG_STATE_HOME/padsmith/history.sqlite3 (an absolute
// $XDG_STATE_HOME only), else $HOME/.local/state/padsmith/history.sqlite3; on Windows
// %LOCALAPPDATA%\padsmith\history.sqlite3.

#include <string>

#include "base/Result.h"

namespace padsmith::history {

// The default file, UTF-8; an absent error when the environment names no home.
Result<std::string> DefaultHistoryPath();

}  // namespace padsmith::history
