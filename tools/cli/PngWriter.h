// SPDX-License-Identifier: Apache-2.0
// Writes images as PNG files through libpng: 8- and 16-bit gray (16-bit samples stored big-endian, as
// PNG wants) and RGB from RGB or BGR pixels; frames by their pixel format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Orvane_api.h"

namespace orvane::cli {

/// Pixels row after row without padding; 16-bit samples in host byte order.
struct PngImage
{
    uint32_t width = 0;
    uint32_t height = 0;
    unsigned channels = 1; // 1 gray, 3 colour
    unsigned bitDepth = 8; // 8 or 16 (16 only for gray)
    bool bgr = false;      // colour pixels stored blue first
    const uint8_t *pixels = nullptr;
    size_t bytes = 0; // at least width x height x channels x bitDepth / 8
};

class PngWriter
{
public:
    /// Writes `image` to `path` (through a temporary name). False, with `error`, for an image whose
    /// shape is not one of the above or whose bytes fall short, and when the file cannot be written.
    static bool Write(const std::string &path, const PngImage &image, std::string &error);
    /// The image of a frame: depth and 16-bit gray as 16-bit gray, 8-bit gray, RGB888 and BGR888 as
    /// colour. False, with `error`, for another pixel format.
    static bool ImageOf(const TfFrame &frame, PngImage &image, std::string &error);
};

} // namespace orvane::cli
