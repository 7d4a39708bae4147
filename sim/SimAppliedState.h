// SPDX-License-Identifier: Apache-2.0
// The settings a simulated ToF session actually runs with, which trail the commanded ones by the
// status delay: what its status record reports and its frames follow.
#pragma once

#include "SimSettings.h"

#include <array>
#include <cstdint>

/// The state the camera runs with, which trails the commanded settings by the status delay.
struct SimAppliedState
{
    uint8_t workMode = 0;
    uint8_t slaveMode = 0;
    uint8_t dataMode = 0;
    uint8_t depthRange = 0;
    uint32_t exposureUs = 0;
    std::array<uint32_t, 3> subFrameExposureUs{};
    uint8_t gmmGain = 0;
    uint8_t dualFreqCount = 0;
    std::array<int8_t, 3> dualFreqValues{};
    std::array<uint8_t, 3> dspSwitches{};
    uint16_t colorWidth = 0;
    uint16_t colorHeight = 0;
    uint8_t colorFps = 0;
    uint8_t colorEncoding = 0;
    uint8_t colorState = 0;

    static SimAppliedState From(const SimSettings &settings);
    bool operator==(const SimAppliedState &other) const;
    bool operator!=(const SimAppliedState &other) const { return !(*this == other); }
};
