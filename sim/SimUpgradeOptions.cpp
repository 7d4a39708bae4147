// SPDX-License-Identifier: Apache-2.0
// The calibration files a simulated camera uploads when a test gives it none.
#include "SimUpgradeOptions.h"

namespace {

/// Bytes of a pixel table: 640 x 480 values of 16 bits.
constexpr size_t kPixelTableBytes = 614400;
/// The largest depth of each range, in millimetres; a range-offset table has one u16 per millimetre and
/// one more.
constexpr uint16_t kRangeMaxDepthMm[] = {1249, 1874, 2498, 3123, 3747, 7495};

} // namespace

std::vector<uint8_t> SimUpgradeOptions::DefaultCalibrationFile(uint8_t type, uint8_t index)
{
    size_t size = 0;
    if (type == 4 || type == 5 || type == 7) {
        size = kPixelTableBytes;
    } else if (type == 6 && index < sizeof kRangeMaxDepthMm / sizeof kRangeMaxDepthMm[0]) {
        size = 2u * kRangeMaxDepthMm[index] + 2;
    }
    std::vector<uint8_t> file(size);
    for (size_t i = 0; i < size; ++i) {
        file[i] = static_cast<uint8_t>((i * 7 + type * 31 + index * 3 + (i >> 9)) & 0xFF);
    }
    return file;
}
