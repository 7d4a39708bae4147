// SPDX-License-Identifier: Apache-2.0
// The applied state of a simulated ToF session taken from its settings, and its comparison.
#include "SimAppliedState.h"

namespace {

uint32_t ExposureAt(const SimSettings &settings, uint8_t index)
{
    const auto found = settings.exposureUs.find(index);
    return found == settings.exposureUs.end() ? 0 : found->second;
}

} // namespace

SimAppliedState SimAppliedState::From(const SimSettings &settings)
{
    SimAppliedState state;
    state.workMode = settings.workMode.mode;
    state.slaveMode = settings.slaveModeEnabled ? 2 : settings.slaveMode;
    state.dataMode = settings.dataMode;
    state.depthRange = settings.depthRange;
    state.exposureUs = ExposureAt(settings, 0);
    // The host addresses the sub-frames with exposure indices 0, 1 and 3.
    state.subFrameExposureUs = {ExposureAt(settings, 0), ExposureAt(settings, 1), ExposureAt(settings, 3)};
    state.gmmGain = settings.gmmGain;
    state.dualFreqCount = settings.dualFreqCount;
    state.dualFreqValues = settings.dualFreqValues;
    for (uint8_t group = 1; group <= 3; ++group) {
        const auto found = settings.dspSwitches.find(group);
        state.dspSwitches[group - 1] = found == settings.dspSwitches.end() ? 0 : found->second;
    }
    const auto color = settings.lenses.find(2);
    if (color != settings.lenses.end()) {
        state.colorWidth = color->second.width;
        state.colorHeight = color->second.height;
        state.colorFps = color->second.fps;
        state.colorEncoding = color->second.encodeType;
        state.colorState = color->second.state;
    }
    return state;
}

bool SimAppliedState::operator==(const SimAppliedState &other) const
{
    return workMode == other.workMode && slaveMode == other.slaveMode && dataMode == other.dataMode &&
           depthRange == other.depthRange && exposureUs == other.exposureUs &&
           subFrameExposureUs == other.subFrameExposureUs && gmmGain == other.gmmGain &&
           dualFreqCount == other.dualFreqCount && dualFreqValues == other.dualFreqValues &&
           dspSwitches == other.dspSwitches && colorWidth == other.colorWidth &&
           colorHeight == other.colorHeight && colorFps == other.colorFps &&
           colorEncoding == other.colorEncoding && colorState == other.colorState;
}
