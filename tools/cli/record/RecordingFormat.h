// SPDX-License-Identifier: Apache-2.0
// The recording file's constants and the frame set a record holds (the layout is in README.md beside this).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::cli::record {

/// The first eight bytes of every recording: a high byte so that it never reads as text, a name, and a
/// line feed that a text-mode copy would mangle.
constexpr std::array<uint8_t, 8> kMagic = {0x89, 'O', 'R', 'V', 'R', 'E', 'C', '\n'};
constexpr uint16_t kFormatVersion = 1;

/// Magic, version, header flags and the JSON length come before the JSON; its CRC comes after it.
constexpr size_t kFileHeaderFixedBytes = 16;
constexpr size_t kMaxHeaderJsonBytes = 1u << 20;

/// A record starts with the length of what follows its CRC, then that CRC.
constexpr size_t kRecordPrefixBytes = 8;
/// The flags byte of a record: its body is one zstd frame after the body's uncompressed size.
constexpr uint8_t kRecordZstd = 0x01;
constexpr uint8_t kKnownRecordFlags = kRecordZstd;

/// Bounds that refuse absurd lengths before anything is allocated: a 1600x1200 RGB frame is under 6 MiB.
constexpr uint32_t kMaxFramesPerSet = 16;
constexpr uint32_t kMaxFrameBytes = 32u << 20;
constexpr uint32_t kMaxRecordBytes = 128u << 20;

/// The fixed fields in front of each frame's pixels inside a frame set.
constexpr size_t kFrameHeaderBytes = 45;

/// One frame as the library handed it over, with the host's arrival time and a copy of its pixels.
struct RecordedFrame
{
    uint32_t frameIndex = 0;
    uint32_t frameType = 0;   ///< TfFrameType
    uint32_t pixelFormat = 0; ///< TfPixelFormat
    uint8_t imuFrameNo = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t depthRange = 0; ///< TfDepthRange
    float exposureTime = 0;
    uint64_t timestamp = 0;  ///< the camera's timestamp as the library reports it
    uint64_t hostTimeNs = 0; ///< when the frame reached the recorder (steady clock)
    std::vector<uint8_t> pixels;
};

/// The frames one read returned: one record of the file.
struct FrameSet
{
    std::vector<RecordedFrame> frames;
};

} // namespace orvane::cli::record
