#pragma once
// The write sequence's trace lines on the platform's debug output, where a debugger or a
// debug-output viewer shows them.

#include <windows.h>

#include "base/TraceSink.h"

namespace padsmith::win32 {

class DebugOutputTrace : public TraceSink {
public:
    void TraceLine(const wchar_t* line) override { OutputDebugStringW(line); }
};

}  // namespace padsmith::win32
