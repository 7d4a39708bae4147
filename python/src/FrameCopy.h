// SPDX-License-Identifier: Apache-2.0
// One frame of the library as an image the caller owns: its shape and sample type from the frame's own
// fields, checked against its length, and the one copy of its pixels (colour always in RGB order).
#pragma once

#include "Orvane_api.h"

#include <cstddef>
#include <string>

namespace orvane::python {

class FrameCopy
{
public:
    /// Reads the frame's shape; false (with the reason) for a frame that cannot be copied whole.
    bool Describe(const TfFrame &frame, std::string &why);

    size_t Height() const { return m_height; }
    size_t Width() const { return m_width; }
    /// 1 for grey and depth images, 3 for colour.
    size_t Channels() const { return m_channels; }
    /// 1 (uint8) or 2 (uint16).
    size_t SampleBytes() const { return m_sampleBytes; }
    size_t Bytes() const { return m_height * m_width * m_channels * m_sampleBytes; }

    /// Copies the pixels into `destination` (Bytes() long), turning BGR into RGB. Needs no GIL.
    void CopyTo(void *destination) const;

    /// The frame's own fields the copy keeps.
    uint32_t Index() const { return m_frame.frameIndex; }
    uint64_t Timestamp() const { return m_frame.timestamp; }
    uint32_t PixelFormat() const { return m_frame.pixelFormat; }
    float ExposureTime() const { return m_frame.exposureTime; }
    uint32_t DepthRange() const { return m_frame.depthRange; }
    const TfFrame &Frame() const { return m_frame; }

private:
    TfFrame m_frame{};
    size_t m_height = 0;
    size_t m_width = 0;
    size_t m_channels = 0;
    size_t m_sampleBytes = 0;
    bool m_swapRedBlue = false;
};

} // namespace orvane::python
