#include "history/HistoryLocation.h"

#include <cstdlib>

#include "base/Utf8.h"

namespace padsmith::history {
namespace {

constexpr char kFileName[] = "history.sqlite3";

#ifdef _WIN32
std::string Environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? ToUtf8(value) : std::string();
}
#else
std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : std::string();
}
#endif

}  // namespace

Result<std::string> DefaultHistoryPath() {
#ifdef _WIN32
    const std::string localAppData = Environment(L"LOCALAPPDATA");
    if (localAppData.empty()) return Error(ErrorKind::kAbsent, "%LOCALAPPDATA% is not set");
    return localAppData + "\\padsmith\\" + kFileName;
#else
    // A relative $XDG_STATE_HOME is invalid and is ignored, as the XDG base directories ask.
    const std::string state = Environment("XDG_STATE_HOME");
    if (!state.empty() && state[0] == '/') return state + "/padsmith/" + kFileName;
    const std::string home = Environment("HOME");
    if (home.empty() || home[0] != '/') {
        return Error(ErrorKind::kAbsent, "neither $XDG_STATE_HOME nor $HOME is set to an absolute folder");
    }
    return home + "/.local/state/padsmith/" + kFileName;
#endif
}

}  // namespace padsmith::history
