// SPDX-License-Identifier: Apache-2.0
// The camera's data modes and what each implies: which range the camera picks, which filters it runs,
// which modes a frame mode may be set for. Every folder asks these predicates instead of listing modes.
#pragma once

#include <cstdint>

/// Dual-frequency (WDR) modes: each buffer carries two depth ranges, fused or delivered apart.
constexpr bool IsDualFrequencyMode(uint32_t mode)
{
    return mode == 9 || mode == 10;
}

/// Modes in which the camera picks the depth range per frame (multi-range and dual-frequency): the
/// range in a frame's header is the camera's, not the one last set.
constexpr bool IsMultiRangeMode(uint32_t mode)
{
    return mode == 5 || mode == 7 || IsDualFrequencyMode(mode);
}

/// Modes in which the camera itself runs the time and confidence filters, so their settings are sent
/// to the camera.
constexpr bool IsCameraFilterMode(uint32_t mode)
{
    return mode == 3 || mode == 5 || mode == 6 || mode == 7 || mode == 13;
}
/// Modes in which reading the time filter's switch back asks the camera: 3, 5, 6 and 7. In mode 13 the
/// switch is sent to the camera but read back from the library's own copy, which only a set in a mode
/// where the library filters changes.
constexpr bool IsCameraTimeFilterReadMode(uint32_t mode)
{
    return IsCameraFilterMode(mode) && mode != 13;
}

/// Modes a frame mode can be set for: 640 x 480 depth and IR at 25 frames per second.
constexpr bool IsValidFrameDataMode(uint32_t mode)
{
    return (mode >= 1 && mode <= 3) || (mode >= 5 && mode <= 7) || IsDualFrequencyMode(mode) || mode == 13;
}
