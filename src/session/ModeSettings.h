// SPDX-License-Identifier: Apache-2.0
// ModeSettings: the camera's data mode, depth range and dual-frequency setting as a session keeps and
// changes them, with the lists of what the camera offers.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "protocol/BaseProtocol.h"
#include "protocol/ProtocolTypes.h"
#include "session/SessionModeLists.h"
#include "session/StatusConfirmer.h"

class BaseSession;
class ImageProc;

/// The current data mode, depth range and dual-frequency setting, and their changes: a change is refused
/// while the camera streams, checked against the camera's lists (through the session's own checks, which
/// a session kind may override), sent, confirmed against the status record, and then handed to the
/// pipeline. Without a protocol (a test fake) each change answers "Not Support.".
class ModeSettings
{
public:
    /// `session` owns these settings, the confirmer and the stream state.
    ModeSettings(BaseSession &session, StatusConfirmer &confirm, const std::atomic<bool> &streaming)
        : m_session(session), m_confirm(confirm), m_streaming(streaming)
    {
    }

    ModeSettings(const ModeSettings &) = delete;
    ModeSettings &operator=(const ModeSettings &) = delete;

    /// The session's protocol and pipeline; both stay owned by the session.
    void Attach(BaseProtocol *protocol, ImageProc *pipeline);

    int SetDataMode(uint8_t mode);
    int GetDataMode(uint8_t *mode);
    int SetDepthRange(const DepthRange &range);
    int SetDualFreqMode(DualFreqMode &mode);
    int GetDualFreqMode(DualFreqMode *mode);
    /// The camera's record of `range.mode`, or the session's when the camera reports none.
    int GetMeasuringRange(MeasuringRange &range);
    /// The session's record of `range.mode`.
    int GetMeasuringRangeInternal(MeasuringRange &range);
    int SetWDRStyle(WDRStyle style);

    /// Asks the camera, through the session's GetProperty, for a list whose first byte counts its
    /// entries; keeps it in `out` (count clamped to the list) when the camera answered with a
    /// non-empty one.
    template <size_t N> bool QueryCountedList(int key, const char *name, std::array<uint8_t, N> &out);

    std::atomic<uint8_t> &CurrentDataMode() { return m_dataMode; }
    const std::atomic<uint8_t> &CurrentDataMode() const { return m_dataMode; }
    std::atomic<uint32_t> &CurrentDepthRange() { return m_depthRange; }
    const std::atomic<uint32_t> &CurrentDepthRange() const { return m_depthRange; }
    DualFreqMode &CurrentDualFreq() { return m_dualFreq; }
    const DualFreqMode &CurrentDualFreq() const { return m_dualFreq; }
    SessionModeLists &Lists() { return m_lists; }
    const SessionModeLists &Lists() const { return m_lists; }

private:
    BaseSession &m_session;
    StatusConfirmer &m_confirm;
    const std::atomic<bool> &m_streaming;
    BaseProtocol *m_protocol = nullptr; // the session's; null without a camera protocol
    ImageProc *m_imageProc = nullptr;   // the session's pipeline; null in a test fake

    std::atomic<uint8_t> m_dataMode{0};
    std::atomic<uint32_t> m_depthRange{0};
    DualFreqMode m_dualFreq{};
    SessionModeLists m_lists;
};
