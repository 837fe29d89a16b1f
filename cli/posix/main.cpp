// padsmith's entry point where arguments are bytes: they go as they are (a file name need not be
// UTF-8).

#include <string>
#include <vector>

#include "cli/Program.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The copy is what runs; ps and /proc/PID/cmdline read the arguments where they were given.
    padsmith::cli::BlankPasswords(argc - 1, argv + 1);
    return padsmith::cli::RunProgram(args);
}
