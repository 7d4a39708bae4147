// SPDX-License-Identifier: Apache-2.0
// Reads the next set of frames of a camera (TFCM_ReadNextFrame) and takes every frame it made ready out
// of the library's slots, with its arrival time; the pixels are copied, or only borrowed until the next read.
#include "FrameCapture.h"

#include <cstring>

namespace orvane::cli {

int FrameCapture::ReadNext()
{
    m_frames.clear();
    TfFrameReady ready{};
    const int status = TFCM_ReadNextFrame(m_device, &ready);
    m_arrivedAt = std::chrono::steady_clock::now();
    if (status != TF_OK) {
        return status;
    }
    uint32_t bits = 0;
    static_assert(sizeof bits == sizeof ready, "TfFrameReady is one 32-bit word");
    std::memcpy(&bits, &ready, sizeof bits);
    for (size_t i = 0; i < kReadyTypes.size(); ++i) {
        CapturedFrame &slot = m_slots[i];
        if ((bits & (1u << i)) == 0 || TFCM_GetFrame(m_device, kReadyTypes[i], &slot.frame) != TF_OK) {
            continue;
        }
        if (m_pixels == Pixels::Copy) {
            const uint8_t *data = slot.frame.pFrameData;
            const size_t bytes = data != nullptr ? slot.frame.dataLen : 0;
            slot.pixels.assign(data, data + bytes);
            slot.frame.pFrameData = slot.pixels.data();
        }
        m_frames.push_back(&slot);
    }
    return TF_OK;
}

const CapturedFrame *FrameCapture::Find(TfFrameType type) const
{
    for (const CapturedFrame *captured : m_frames) {
        if (captured->frame.frameType == static_cast<uint32_t>(type)) {
            return captured;
        }
    }
    return nullptr;
}

} // namespace orvane::cli
