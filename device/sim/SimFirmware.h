#pragma once
// The display's service firmware: the flash it keeps and the feature reports it answers. It
// knows nothing of USB, handles or threads; the port feeds it one report at a time, with the
// clock time at which the report arrived, under the port's lock.
//
// Timing, as a NOR flash needs it:
// - the erase report (0x29) starts an erase of the whole flash that runs for kEraseTime; write
//   records that arrive meanwhile are refused;
// - an accepted write record (0x28) programs its 32 bytes for kProgramTime; the next record is
//   refused until that has passed, so a host that skips its 10 ms pause between records fails;
// - programming clears bits only: every flash byte becomes (old AND new), so writing over data
//   that was not erased first corrupts it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/Clock.h"
#include "device/sim/SimOptions.h"

namespace padsmith::sim {

inline constexpr size_t kFlashSize = 0xD800;
inline constexpr Micros kEraseTime{900'000};
inline constexpr Micros kProgramTime{8'000};

inline constexpr uint8_t kWriteRecordId = 0x28;
inline constexpr uint8_t kEraseId = 0x29;
inline constexpr uint8_t kInfoRequestId = 0x2A;
inline constexpr uint8_t kInfoReplyId = 0x2B;
inline constexpr uint8_t kNewIdsId = 0x08;
inline constexpr uint8_t kFeature02Id = 0x02;
// The input reports carry the same bytes as the information reply, under the same ID.
inline constexpr uint8_t kInputReportId = kInfoReplyId;

inline constexpr size_t kRecordLength = 38;
inline constexpr size_t kRecordHeaderLength = 6;
inline constexpr size_t kRecordDataLength = 32;
inline constexpr size_t kInfoReplyLength = 10;
inline constexpr size_t kInputReportLength = 10;

// The faults that can be switched while the device runs.
struct SimFaults {
    std::optional<uint32_t> refuseAt;  // as the refuse-at= option
    bool refuseErase = false;          // as refuse-erase
    bool dropOffAfterErase = false;    // leave the bus right after accepting an erase
    bool noReply = false;              // as no-reply
};

// The vendor and product ID last sent with report 0x08.
struct SimUsbIds {
    uint16_t vendorId;
    uint16_t productId;
};

class SimFirmware {
public:
    // `flash` must hold kFlashSize bytes.
    SimFirmware(const SimDisplayOptions& options, std::vector<uint8_t> flash);

    struct SetOutcome {
        bool accepted = false;
        bool dropOff = false;  // the device leaves the bus now (the unplug-after fault)
    };
    // One set-feature report that arrived at `now`. `length` includes the report ID.
    SetOutcome SetFeature(const uint8_t* report, size_t length, Micros now);
    // One get-feature request: `report[0]` holds the wanted ID. True when the reply was written.
    bool GetFeature(uint8_t* report, size_t length) const;
    std::array<uint8_t, kInputReportLength> InputReport() const;

    // The device is powered up again (a new instance on the bus): a running erase or programming
    // is over. The flash keeps what it holds.
    void PowerUp();

    // Faults changed while the device runs (the recovery campaign).
    void SetFaults(const SimFaults& faults);

    const std::vector<uint8_t>& Flash() const { return m_flash; }
    int AcceptedWriteRecords() const { return m_acceptedRecords; }
    std::optional<SimUsbIds> RequestedIds() const { return m_requestedIds; }

private:
    bool Erase(const uint8_t* report, size_t length, Micros now);
    bool WriteRecord(const uint8_t* report, size_t length, Micros now);

    SimDisplayOptions m_options;
    std::vector<uint8_t> m_flash;
    Micros m_eraseEnds{0};
    Micros m_programmingEnds{0};
    int m_acceptedRecords = 0;
    bool m_dropOffAfterErase = false;
    std::optional<SimUsbIds> m_requestedIds;
};

}  // namespace padsmith::sim
