#pragma once
// The write sequence: the image goes to flash as 38-byte write records (report 0x28), 32 bytes
// each, along two address windows: 0x0000..0x7FE0 and 0xB000..0xD7E0.

#include <cstddef>
#include <cstdint>

#include "base/Clock.h"
#include "base/TraceSink.h"
#include "device/DriverHooks.h"
#include "device/HidPort.h"
#include "device/WireFormat.h"

namespace padsmith {

// The end bound grows by the gap between the windows when the sequence crosses it.
inline constexpr int32_t kWindowGap = wire::kSecondWindowStart - wire::kFirstWindowEnd;

// Where the sequence stands: the record's address and the end bound of the addresses.
struct WriteCursor {
    int32_t nAddr = 0;
    int32_t nSendingSize = 0;
};

enum class WriteStep {
    kNextRecord,
    kEndOfFlash,  // the second window is full
    kEndOfImage,  // the next address reached the end bound
};

// Moves past the record just sent.
WriteStep AdvanceWriteCursor(WriteCursor& cursor);

// The number of records the sequence sends for an image of `nLength` bytes (at least one: the
// record at address 0 always goes).
int CountWriteRecords(int32_t nLength);

class VerifiedImage;

// Sends the sequence over the image to `device`, with the 10 ms pause after every record. Bytes
// past the image's end go as 0xFF, the erased state of flash. `trace` and `progress` may be
// null. No error when the sequence ran to its end; when the device refused a record (or left),
// the error names the record's address and what the port said. Nothing is allocated once the
// sequence runs, unless it fails.
Error WriteImage(HidDevice& device, Clock& clock, TraceSink* trace, WriteProgress* progress,
                 const VerifiedImage& image);

}  // namespace padsmith
