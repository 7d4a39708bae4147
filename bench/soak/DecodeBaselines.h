// SPDX-License-Identifier: Apache-2.0
// The same-run baselines of the soak: a memcpy of a camera buffer's bytes, a bare TurboJPEG decode of the
// simulated camera's own JPEG, and the library's colour decoder on that JPEG, each on one core.
#pragma once

#include <cstddef>
#include <string>

/// Milliseconds per frame (or per buffer) on one core.
struct BaselineFigures
{
    int width = 0;
    int height = 0;
    size_t jpegBytes = 0;
    size_t bufferBytes = 0;    // ToF payload plus JPEG: what the camera sends per frame
    double memcpyMs = 0.0;     // copying bufferBytes once
    double turboJpegMs = 0.0;  // bare tjDecompress2 to BGR
    double libraryRgbMs = 0.0; // the library's colour decoder on the camera's sub-packet
};

class DecodeBaselines
{
public:
    /// Measures each for about `secondsEach`, for the colour size and the ToF payload of one buffer.
    static BaselineFigures Measure(int width, int height, size_t tofPayloadBytes, double secondsEach);

    static std::string Describe(const BaselineFigures &figures);
};
