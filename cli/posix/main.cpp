// padsmith's entry point where arguments are bytes: they go as they are (a file name need not be
// UTF-8).

#include <string>
#include <vector>

#include "cli/Program.h"

int main(int argc, char** argv) {
    return padsmith::cli::RunProgram(std::vector<std::string>(argv + 1, argv + argc));
}
