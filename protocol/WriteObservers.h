#pragma once
// Observers of the write sequence: the diagnostic trace (OutputDebugStringW on Windows, a line
// sink elsewhere) and the progress of the records.

#include <string>

namespace padsmith {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    // One formatted trace line, its "\n" included.
    virtual void TraceLine(const std::wstring& line) = 0;
};

class WriteProgress {
public:
    virtual ~WriteProgress() = default;
    // After each record the device accepted; `total` is the length of the address sequence.
    virtual void OnRecordWritten(int written, int total) = 0;
    // When the sequence ends, whatever its outcome.
    virtual void OnWriteEnded() = 0;
};

}  // namespace padsmith
