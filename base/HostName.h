#pragma once
// This machine's name, as the history records it beside each run: UTF-8, "" when the system
// does not say. Each system gives it its own way (base/posix/, base/win32/).

#include <string>

namespace padsmith {

std::string HostName();

}  // namespace padsmith
