// SPDX-License-Identifier: Apache-2.0
// Reads the next set of frames of a camera (TFCM_ReadNextFrame) and takes every frame it made ready out
// of the library's slots, with its arrival time; the pixels are copied, or only borrowed until the next read.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "Orvane_api.h"

namespace orvane::cli {

/// One frame of a set; `frame.pFrameData` points at `pixels` when copied, into the library otherwise.
struct CapturedFrame
{
    TfFrame frame{};
    std::vector<uint8_t> pixels;
};

class FrameCapture
{
public:
    enum class Pixels
    {
        Copy,   // the frames stay valid until the next ReadNext
        Borrow, // headers only: pFrameData points into the library, valid until the next ReadNext
    };

    FrameCapture(TfDeviceHandle device, Pixels pixels) : m_device(device), m_pixels(pixels) {}

    /// Waits for the next set as TFCM_ReadNextFrame does and returns its status; on TF_OK Frames()
    /// holds every frame of the set (a frame TFCM_GetFrame refuses is left out).
    int ReadNext();
    /// The frames of the last set, in frame-type order; pointers stay valid until the next ReadNext.
    const std::vector<const CapturedFrame *> &Frames() const { return m_frames; }
    /// The frame of this type in the last set, or null.
    const CapturedFrame *Find(TfFrameType type) const;
    /// When TFCM_ReadNextFrame returned the last set.
    std::chrono::steady_clock::time_point ArrivedAt() const { return m_arrivedAt; }

    /// Frame types a set can hold, as TfFrameReady marks them (bit i of the ready word).
    static constexpr std::array<TfFrameType, 7> kReadyTypes = {TF_FRAME_DEPTH,
                                                               TF_FRAME_IR,
                                                               TF_FRAME_COLOR,
                                                               TF_FRAME_COLOR_MAPPED_TO_DEPTH,
                                                               TF_FRAME_DEPTH_MAPPED_TO_COLOR,
                                                               TF_FRAME_IR_MAPPED_TO_COLOR,
                                                               TF_FRAME_CONFIDENCE};

private:
    TfDeviceHandle m_device;
    Pixels m_pixels;
    std::array<CapturedFrame, kReadyTypes.size()> m_slots; // one per ready bit, buffers reused
    std::vector<const CapturedFrame *> m_frames;
    std::chrono::steady_clock::time_point m_arrivedAt;
};

} // namespace orvane::cli
