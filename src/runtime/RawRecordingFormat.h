// SPDX-License-Identifier: Apache-2.0
// The layout of a raw recording file: the camera's stream buffers as received, with their arrival times.
#pragma once

#include <cstdint>

/// A raw recording is, little-endian throughout:
///  - the preamble: the 8-byte magic, the format version (u32) and the length of the header (u32);
///  - the header: JSON text (the camera's uri, serial number, firmware version, data mode, depth range,
///    the library version and the start time);
///  - records to the end of the file, each: the buffer's length (u32), the CRC-32 of the arrival time's
///    8 bytes followed by the buffer bytes (u32), the arrival time in nanoseconds since the recording
///    started (u64), then the buffer bytes.
/// A file cut anywhere reads back up to its last whole record.
namespace RawRecordingFormat {

constexpr char kMagic[8] = {'O', 'R', 'V', 'R', 'A', 'W', '\r', '\n'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kPreambleBytes = 16;
/// A header longer than this is not one we wrote.
constexpr uint32_t kMaxHeaderBytes = 1u << 20;
constexpr uint32_t kRecordHeaderBytes = 16;
/// Above the largest stream buffer a camera sends, below what a damaged length would ask for.
constexpr uint32_t kMaxRecordBytes = 16u << 20;

} // namespace RawRecordingFormat
