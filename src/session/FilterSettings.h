// SPDX-License-Identifier: Apache-2.0
// FilterSettings: the depth filters and switches of a session, where each one runs, and the settings
// kept for the ToF decoder until it exists.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/BaseProtocol.h"
#include "protocol/ProtocolTypes.h"

class ImageProc;
class TofDecode;

/// In the data modes where the camera filters (IsCameraFilterMode) the time and confidence filters are
/// the camera's; otherwise the ToF decoder and the refine library run them. The ToF decoder exists
/// only once the pipeline was initialised, so the settings it takes are kept here and handed to it then.
/// Without a protocol or a pipeline (a test fake) an operation that needs it answers "Not Support.".
class FilterSettings
{
public:
    /// `dataMode` is the session's current data mode.
    explicit FilterSettings(const std::atomic<uint8_t> &dataMode) : m_dataMode(dataMode) {}

    FilterSettings(const FilterSettings &) = delete;
    FilterSettings &operator=(const FilterSettings &) = delete;

    /// The session's protocol and pipeline; both stay owned by the session, which outlives this use.
    void Attach(BaseProtocol *protocol, ImageProc *pipeline);

    int SetTimeFilterEnabled(bool enabled);
    int GetTimeFilterEnabled(bool *enabled);
    int SetConfidenceFilterEnable(bool enabled);
    int SetConfidenceFilterParams(const ConfidenceFilterParams &params);
    int GetConfidenceFilterParams(ConfidenceFilterParams &params);
    int SetComputeRealDepthEnabled(bool enabled);
    int GetComputeRealDepthEnabled(bool *enabled);
    int SetSmoothingFilterEnabled(bool enabled);
    int GetSmoothingFilterEnabled(bool *enabled);
    int SetRawDepthCut(bool enabled);
    void SetTemperatureOffsetEnabled(bool enabled);
    /// Keeps the IR gain the camera took and gives it to the decoder.
    void SetIrGmmGain(uint8_t gain);

    /// At initialisation: takes the camera's confidence filter and IR gain (a failed query or a zero
    /// gain keeps the session's).
    void ReadFromCamera();
    /// Gives the ToF decoder every setting kept for it.
    void ApplyTo(TofDecode &tof) const;

private:
    TofDecode *Decoder() const;

    const std::atomic<uint8_t> &m_dataMode;
    BaseProtocol *m_protocol = nullptr; // the session's; null without a camera protocol
    ImageProc *m_imageProc = nullptr;   // the session's pipeline; null in a test fake

    std::atomic<bool> m_computeRealDepth{false};
    std::atomic<bool> m_smoothingFilter{false};
    std::atomic<bool> m_timeFilter{false};
    std::atomic<bool> m_temperatureOffset{true};
    std::atomic<bool> m_rawDepthCut{false};
    std::atomic<uint8_t> m_irGmmGain{0};
    ConfidenceFilterParams m_confidenceParams{1, 0, 20, 4600};
    bool m_hasConfidenceParams = false;
};
