// SPDX-License-Identifier: Apache-2.0
// Compresses a colour frame into the JPEG the viewer sends: halved in each dimension while wider than
// 960 pixels, quality 80.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::cli {

/// One encoder per thread (TurboJPEG's handle is not shared); buffers are reused between frames.
class JpegEncoder
{
public:
    static constexpr int kMaxWidth = 960;
    static constexpr int kQuality = 80;

    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    /// Compresses `width` x `height` pixels of 3 bytes (RGB, or BGR when `bgr`) from `pixels` of
    /// `bytes` bytes. On success `Jpeg()`, `Width()` and `Height()` describe the image; false (with
    /// `error`) for a frame whose size does not match its data or that TurboJPEG refuses.
    bool Encode(const uint8_t *pixels, size_t bytes, int width, int height, bool bgr, std::string &error);
    const std::vector<uint8_t> &Jpeg() const { return m_jpeg; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    /// Halves `m_scaled` (or `pixels` the first time) in each dimension, averaging 2 x 2 blocks.
    void Halve(const uint8_t *pixels, int width, int height);

    void *m_handle = nullptr; // tjhandle
    std::vector<uint8_t> m_scaled;
    std::vector<uint8_t> m_halved;
    std::vector<uint8_t> m_jpeg;
    int m_width = 0;
    int m_height = 0;
};

} // namespace orvane::cli
