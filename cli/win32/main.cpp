// padsmith's entry point on Windows: wide arguments, so file names outside the ANSI code page
// survive; UTF-8 inside.

#include <string>
#include <vector>

#include "base/Utf8.h"
#include "cli/Program.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(padsmith::ToUtf8(argv[i]));
    return padsmith::cli::RunProgram(args);
}
