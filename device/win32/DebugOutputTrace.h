#pragma once
// The write sequence's trace lines on the platform's debug output, where a debugger or a
// debug-output viewer shows them.

#include <windows.h>

#include "protocol/WriteObservers.h"

namespace padsmith::win32 {

class DebugOutputTrace : public TraceSink {
public:
    void TraceLine(const std::wstring& line) override { OutputDebugStringW(line.c_str()); }
};

}  // namespace padsmith::win32
