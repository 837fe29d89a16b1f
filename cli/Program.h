#pragma once
// The whole of padsmith once its arguments are UTF-8: parse, run, and the exit status.

#include <string>
#include <vector>

namespace padsmith::cli {

int RunProgram(const std::vector<std::string>& args);

}  // namespace padsmith::cli
