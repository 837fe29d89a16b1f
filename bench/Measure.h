#pragma once
// What the benchmark's measurements share: the protocol's floor for a full write, CPU and wall
// time readings, and the erase + write a Write Flash run does.

#include <chrono>
#include <cstdint>
#include <vector>

#include "device/CDriver.h"
#include "protocol/FirmwareImage.h"
#include "protocol/OperationFrame.h"

#ifdef __linux__
#include <sys/resource.h>
#include <time.h>
#endif

namespace padsmith::bench {

inline constexpr int kFullImageRecords = 1344;
// The erase's pauses (10 ms + 1000 ms) and 10 ms after each of the 1344 records.
inline constexpr double kFloorSeconds = 1.01 + kFullImageRecords * 0.010;

inline double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// CPU time of the whole process, user and system.
inline double ProcessCpuSeconds() {
#ifdef __linux__
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#else
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

// CPU time of the calling thread alone: the tool's side of a write, system calls included,
// without what a device served in the same process spends.
inline double ThreadCpuSeconds() {
#ifdef __linux__
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
#else
    return ProcessCpuSeconds();
#endif
}

// Erase then write, as the Write Flash run does; true when both succeeded.
inline bool EraseAndWriteImage(CDriver& driver, const VerifiedImage& image) {
    return driver.EraseFlash() == kResultSuccess && driver.WriteFirmwareImage(image) == kResultSuccess;
}

}  // namespace padsmith::bench
