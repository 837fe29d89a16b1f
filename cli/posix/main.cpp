// padsmith's entry point where arguments are bytes: they go as they are (a file name need not be
// UTF-8).

#include <cstring>
#include <string>
#include <vector>

#include "cli/Program.h"
#include "history/ConnectionPasswords.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The copy is what runs. A server's password is blanked where ps and /proc/PID/cmdline read
    // the arguments, for the rest of a station's life.
    for (int i = 1; i < argc; ++i) {
        for (const padsmith::history::TextSpan& span : padsmith::history::PasswordSpans(args[i - 1])) {
            std::memset(argv[i] + span.start, '*', span.length);
        }
    }
    return padsmith::cli::RunProgram(args);
}
