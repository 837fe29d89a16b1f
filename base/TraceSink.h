#pragma once
// Where diagnostic lines go: the platform's debug output, a console stream, a test's list.

namespace padsmith {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    // One formatted line, its "\n" included, NUL-terminated. The text is only lent for the call:
    // a writer that runs once per record must not have to build a string to hand it over.
    virtual void TraceLine(const wchar_t* line) = 0;
};

}  // namespace padsmith
