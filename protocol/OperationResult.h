#pragma once
// What the protocol operations return to their callers.

#include <cstdint>

namespace padsmith {

inline constexpr uint32_t kResultSuccess = 0;
inline constexpr uint32_t kResultFailure = 1;
inline constexpr uint32_t kResultQueryFailure = 2;  // QueryDeviceInfo's only failure value
inline constexpr uint32_t kResultBusy = 3;          // the device lock was not had within 5000 ms

}  // namespace padsmith
