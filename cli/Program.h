#pragma once
// The whole of padsmith once its arguments are UTF-8: parse, run, and the exit status.

#include <string>
#include <vector>

namespace padsmith::cli {

int RunProgram(const std::vector<std::string>& args);

// Overwrites each server password in the `count` arguments with '*', in place: where the system
// shows a process's arguments, it is seen no longer for the rest of the run.
void BlankPasswords(int count, char** arguments);

}  // namespace padsmith::cli
