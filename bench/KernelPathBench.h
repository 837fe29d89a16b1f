#pragma once
// The Linux port through the kernel, against the simulated device in the same process: what a
// report costs through a hidraw node (served through FUSE by the test fixture), and full writes
// in real time, the two side by side. Needs root and /dev/fuse; without them it says why.

#include <vector>

#include "protocol/FirmwareImage.h"

namespace padsmith::bench {

// Before any thread starts: the fixture's mounts must die with the process.
void PrepareKernelPath();
// False when a write failed; true (after saying why) when the kernel path cannot run here.
bool MeasureKernelPath(const VerifiedImage& image);

}  // namespace padsmith::bench
