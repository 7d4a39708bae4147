// SPDX-License-Identifier: Apache-2.0
// FrameModes: the frame modes by data mode and rotation, and the colour lens confirmed by the camera.
#include "session/FrameModes.h"

#include <mutex>
#include <utility>

#include "pipeline/ImageProc.h"
#include "protocol/DataModes.h"
#include "runtime/LogCustom.h"
#include "session/SessionGuards.h"

void FrameModes::Attach(BaseProtocol *protocol, ImageProc *pipeline)
{
    m_protocol = protocol;
    m_imageProc = pipeline;
}

void FrameModes::SetNetworkDefaults()
{
    m_color.height = 480;
    m_lens.width = static_cast<uint16_t>(m_color.width);
    m_lens.height = 480;
}

void FrameModes::TakeNetworkDataMode(uint8_t dataMode)
{
    if (dataMode == 2 || dataMode == 6 || dataMode == 7 || dataMode == 10) {
        m_color = FrameMode{600, 480, 25};
        m_lens = LensConfig{kColorLens, 1, 600, 480, 25, 2};
    }
}

void FrameModes::SetFrameMode(uint8_t dataMode)
{
    TFLOG("dataMode:%d", dataMode);
    if (!IsValidFrameDataMode(dataMode)) {
        TFLOG("dataMode:%d is invalid.", dataMode);
        return;
    }
    m_ir = FrameMode{640, 480, 25};
    m_depth = FrameMode{640, 480, 25};
}

int FrameModes::GetFrameMode(FrameType type, FrameMode *mode)
{
    if (mode == nullptr) {
        TFLOG("mode is null.");
        return kStatusNullPointer;
    }
    FrameMode answer{};
    switch (type) {
    case kFrameIr:
        answer = m_ir;
        break;
    case kFrameDepth:
        answer = m_depth;
        break;
    case kFrameColor:
        answer = m_color;
        break;
    default:
        TFLOG("frameType:%d is invalid.", static_cast<int>(type));
        return kStatusOk;
    }
    const int rotation = m_rotation.load();
    if (rotation == 0 || rotation == 2) {
        std::swap(answer.width, answer.height);
    }
    *mode = answer;
    return kStatusOk;
}

int FrameModes::SetLens(const LensConfig &lens)
{
    REQUIRE_PROTOCOL();
    std::lock_guard<std::mutex> lock(g_MutexSetLens);
    const bool colorLens = lens.type == kColorLens;
    if (colorLens) {
        m_color = FrameMode{lens.width, lens.height, lens.fps};
    }
    LensConfig request = lens;
    int ret = m_protocol->SetLens(request);
    if (ret == kStatusOk && colorLens) {
        ret = m_confirm.Wait(100, 10, [&lens](const DeviceStatus &s) {
            return s.rgb1 == lens.width && s.rgb2 == lens.height;
        });
        if (ret != kStatusOk) {
            const DeviceStatus s = m_confirm.Read();
            TFLOG("set (%d,%d) is mismatch sync(%d,%d)", lens.width, lens.height, s.rgb1, s.rgb2);
        }
    }
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_lens = lens;
    if (colorLens) {
        m_imageProc->SetFrameMode(kFrameColor, m_color);
    }
    return kStatusOk;
}

int FrameModes::GetLens(LensConfig &lens)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->GetLens(lens);
    if (ret == kStatusOk && lens.type == kColorLens) {
        m_color = FrameMode{lens.width, lens.height, lens.fps};
        m_imageProc->SetFrameMode(kFrameColor, m_color);
    }
    return ret;
}

int FrameModes::SetImageRotation(int rotation)
{
    REQUIRE_PIPELINE();
    m_rotation.store(rotation);
    m_imageProc->SetImageRotation(rotation);
    return kStatusOk;
}
