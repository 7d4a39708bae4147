// SPDX-License-Identifier: Apache-2.0
// FrameModes: the size and rate of each frame type a session delivers, and the camera's colour lens.
#pragma once

#include <atomic>
#include <cstdint>

#include "pipeline/Frame.h"
#include "protocol/BaseProtocol.h"
#include "protocol/ProtocolTypes.h"
#include "session/StatusConfirmer.h"

class ImageProc;

/// The IR, depth and colour frame modes and the colour lens that sets the colour mode. A frame mode is
/// reported as the rotated image has it (a rotation of 0 or 2 swaps width and height). A colour lens
/// is sent to the camera and confirmed against its status record before the pipeline takes it.
class FrameModes
{
public:
    /// The lens type of the colour camera.
    static constexpr uint8_t kColorLens = 2;

    /// `confirm` is the owning session's.
    explicit FrameModes(StatusConfirmer &confirm) : m_confirm(confirm) {}

    FrameModes(const FrameModes &) = delete;
    FrameModes &operator=(const FrameModes &) = delete;

    /// The session's protocol and pipeline; both stay owned by the session.
    void Attach(BaseProtocol *protocol, ImageProc *pipeline);
    /// A network camera's colour image is 480 lines high until it says otherwise.
    void SetNetworkDefaults();

    /// In data modes 2, 6, 7 and 10 a network camera's colour image and lens are 600 x 480.
    void TakeNetworkDataMode(uint8_t dataMode);
    /// IR and depth are 640 x 480 at 25 frames per second in every data mode that has them.
    void SetFrameMode(uint8_t dataMode);
    int GetFrameMode(FrameType type, FrameMode *mode);
    int SetLens(const LensConfig &lens);
    int GetLens(LensConfig &lens);
    int SetImageRotation(int rotation);

    FrameMode &Ir() { return m_ir; }
    FrameMode &Depth() { return m_depth; }
    FrameMode &Color() { return m_color; }
    LensConfig &Lens() { return m_lens; }
    const LensConfig &Lens() const { return m_lens; }

private:
    StatusConfirmer &m_confirm;
    BaseProtocol *m_protocol = nullptr; // the session's; null without a camera protocol
    ImageProc *m_imageProc = nullptr;   // the session's pipeline; null in a test fake

    FrameMode m_ir{640, 480, 25};
    FrameMode m_depth{640, 480, 25};
    FrameMode m_color{640, 360, 25};
    LensConfig m_lens{kColorLens, 1, 640, 360, 25, 2};
    std::atomic<int> m_rotation{-255}; // none set yet
};
