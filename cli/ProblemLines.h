#pragma once
// The program's lines on stderr: "padsmith: TEXT", the text shown as text (base/ShownText), for
// it may quote a device's location or serial, a file's name or a recording's line. While a view
// redraws itself on the terminal (the station's), the lines go through it, and it prints them
// above itself instead of drawing over them.

#include <cstdio>
#include <functional>
#include <string>

#include "app/DisplayOutcome.h"

namespace padsmith::cli {

void PrintProblem(std::FILE* stream, const std::string& text);
// A display's problems, as its run ends: what stood in the way, and a record the history lost;
// each naming the display when `named` (a run over several).
void PrintDisplayProblems(std::FILE* stream, const DisplayOutcome& outcome, bool named);

// While it lives, lines for `stream` go to `view` (the whole line, without its line break), one
// call at a time; the destructor waits for a call under way. One route at a time.
class ProblemRoute {
public:
    ProblemRoute(std::FILE* stream, std::function<void(const std::string& line)> view);
    ~ProblemRoute();
    ProblemRoute(const ProblemRoute&) = delete;
    ProblemRoute& operator=(const ProblemRoute&) = delete;
};

}  // namespace padsmith::cli
