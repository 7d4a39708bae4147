// SPDX-License-Identifier: Apache-2.0
// AcquisitionSettings: the camera's acquisition settings a session changes and has the camera confirm.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/BaseProtocol.h"
#include "protocol/ProtocolTypes.h"
#include "session/FilterSettings.h"
#include "session/StatusConfirmer.h"

class ImageProc;

/// Frame rate, exposure, IR gain, slave and work modes and low power: settings that change how the
/// camera acquires, not the session's view of its stream. Each is sent to the camera and, once taken,
/// confirmed against the status record it streams (the frame rate only while the camera is stopped).
/// Without a protocol (a test fake) each answers "Not Support.".
class AcquisitionSettings
{
public:
    /// The session's confirmer, filter settings, current data mode and stream state.
    AcquisitionSettings(StatusConfirmer &confirm, FilterSettings &filters,
                        const std::atomic<uint8_t> &dataMode, const std::atomic<bool> &streaming)
        : m_confirm(confirm), m_filters(filters), m_dataMode(dataMode), m_streaming(streaming)
    {
    }

    AcquisitionSettings(const AcquisitionSettings &) = delete;
    AcquisitionSettings &operator=(const AcquisitionSettings &) = delete;

    /// The session's protocol and pipeline; both stay owned by the session.
    void Attach(BaseProtocol *protocol, ImageProc *pipeline);

    int SetTofFrameRate(uint8_t fps);
    int SetExposureTime(const ExposureTime &exposure);
    int SetGMMGain(uint8_t gain);
    int SetSlaveMode(uint8_t mode);
    int SetSlaveModeEnabled(bool enabled);
    int SetWorkMode(const WorkMode &mode);
    int SetLowPowerModeEnabled(bool enabled);

private:
    StatusConfirmer &m_confirm;
    FilterSettings &m_filters;
    const std::atomic<uint8_t> &m_dataMode;
    const std::atomic<bool> &m_streaming;
    BaseProtocol *m_protocol = nullptr; // the session's; null without a camera protocol
    ImageProc *m_imageProc = nullptr;   // the session's pipeline; null in a test fake
};
