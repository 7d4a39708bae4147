// SPDX-License-Identifier: Apache-2.0
// One frame of the library as an image the caller owns: its shape and sample type from the frame's own
// fields, checked against its length, and the one copy of its pixels (colour always in RGB order).
#include "FrameCopy.h"

#include <cstring>

namespace orvane::python {

bool FrameCopy::Describe(const TfFrame &frame, std::string &why)
{
    m_frame = frame;
    m_height = frame.height;
    m_width = frame.width;
    m_swapRedBlue = false;
    switch (frame.pixelFormat) {
    case TF_PIXEL_DEPTH_MM16:
    case TF_PIXEL_GRAY16:
        m_channels = 1;
        m_sampleBytes = 2;
        break;
    case TF_PIXEL_GRAY8:
        m_channels = 1;
        m_sampleBytes = 1;
        break;
    case TF_PIXEL_BGR888:
        m_swapRedBlue = true;
        [[fallthrough]];
    case TF_PIXEL_RGB888:
        m_channels = 3;
        m_sampleBytes = 1;
        break;
    default:
        why = "unknown pixel format " + std::to_string(frame.pixelFormat);
        return false;
    }
    if (m_height == 0 || m_width == 0 || frame.pFrameData == nullptr) {
        why = "an empty frame (" + std::to_string(m_width) + " x " + std::to_string(m_height) + ")";
        return false;
    }
    if (frame.dataLen < Bytes()) {
        why = std::to_string(frame.dataLen) + " bytes for a " + std::to_string(m_width) + " x " +
              std::to_string(m_height) + " image of " + std::to_string(Bytes()) + " bytes";
        return false;
    }
    return true;
}

void FrameCopy::CopyTo(void *destination) const
{
    if (!m_swapRedBlue) {
        std::memcpy(destination, m_frame.pFrameData, Bytes());
        return;
    }
    const uint8_t *in = m_frame.pFrameData;
    uint8_t *out = static_cast<uint8_t *>(destination);
    const size_t pixels = m_height * m_width;
    for (size_t i = 0; i < pixels; ++i, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
}

} // namespace orvane::python
