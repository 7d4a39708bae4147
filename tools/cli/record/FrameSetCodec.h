// SPDX-License-Identifier: Apache-2.0
// FrameSetCodec: a frame set as the bytes of a record's body, and back, with every length checked.
#pragma once

#include "RecordingFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::cli::record {

/// A run of bytes owned elsewhere.
struct BytePiece
{
    const uint8_t *data;
    size_t size;
};

/// The body of a record: a frame count, then per frame its fixed fields and its pixels. Encoding gives
/// pieces rather than one buffer, so that pixels go to the file (or the compressor) without a copy.
class FrameSetCodec
{
public:
    /// Why `set` cannot be recorded (too many frames, a frame too large), or empty when it can.
    static std::string CheckLimits(const FrameSet &set);

    /// Lays out `set`: the count and the frame headers go to `scratch`, the pixels stay where they are.
    /// Returns the body's size. The pieces point into `scratch` and `set`; both must outlive them.
    static size_t Layout(const FrameSet &set, std::vector<uint8_t> &scratch, std::vector<BytePiece> &pieces);

    /// Reads a body into `out` (reusing its buffers). False, with the reason in `error`, unless the body
    /// is exactly a frame count within bounds and that many whole frames.
    static bool Decode(const uint8_t *data, size_t size, FrameSet &out, std::string &error);
};

} // namespace orvane::cli::record
