#pragma once
// Where the minimised dialog draws its icon: centred, rounding as signed integer division does
// (toward zero), so an area narrower than the icon gives -15 for a 32-pixel icon in 0 pixels.

namespace padsmith::win32 {

constexpr int CentredIconOffset(int clientExtent, int iconExtent) {
    return (clientExtent - iconExtent + 1) / 2;
}

}  // namespace padsmith::win32
