// SPDX-License-Identifier: Apache-2.0
// The fixed 48-byte little-endian header in front of every frame the viewer sends to a page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvane::cli {

/// Which stream a frame belongs to, as the page reads it (also the index of a page's slots).
enum class ViewStream : uint8_t
{
    kDepth = 0,
    kIr = 1,
    kConfidence = 2,
    kColor = 3,
};
constexpr size_t kViewStreamCount = 4;

enum class FrameEncoding : uint8_t
{
    kRaw = 0,
    kJpeg = 1,
};

enum class FrameFormat : uint16_t
{
    kGray16 = 0, // u16 little-endian per pixel
    kGray8 = 1,
    kRgb888 = 2,
    kJpeg = 3,
};

struct FrameHeader
{
    static constexpr uint32_t kMagic = 0x4656524F; // the bytes 'O','R','V','F'
    static constexpr uint16_t kVersion = 1;
    static constexpr size_t kSize = 48;

    ViewStream stream = ViewStream::kDepth;
    FrameEncoding encoding = FrameEncoding::kRaw;
    FrameFormat format = FrameFormat::kGray16;
    uint32_t index = 0; // the camera's frame index
    uint16_t width = 0;
    uint16_t height = 0;
    uint64_t timestampUs = 0; // the camera's timestamp
    uint64_t hostTimeUs = 0;  // wall clock when the CLI received the frame from the library
    uint32_t payloadBytes = 0;

    /// The header as it goes on the wire.
    std::array<uint8_t, kSize> Encode() const;
};

/// The name of a stream as messages spell it ("depth", "ir", "confidence", "color").
const char *ViewStreamName(ViewStream stream);

} // namespace orvane::cli
