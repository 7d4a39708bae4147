// SPDX-License-Identifier: Apache-2.0
// FrameSetCodec: the frame set layout of a record's body.
#include "FrameSetCodec.h"

#include "ByteCursor.h"

#include <cstring>

namespace orvane::cli::record {
namespace {

void AppendFrameHeader(std::vector<uint8_t> &out, const RecordedFrame &frame)
{
    ByteCursor::AppendLe(out, frame.frameIndex, 4);
    ByteCursor::AppendLe(out, frame.frameType, 4);
    ByteCursor::AppendLe(out, frame.pixelFormat, 4);
    ByteCursor::AppendLe(out, frame.imuFrameNo, 1);
    ByteCursor::AppendLe(out, frame.width, 2);
    ByteCursor::AppendLe(out, frame.height, 2);
    ByteCursor::AppendLe(out, frame.depthRange, 4);
    ByteCursor::AppendF32(out, frame.exposureTime);
    ByteCursor::AppendLe(out, frame.timestamp, 8);
    ByteCursor::AppendLe(out, frame.hostTimeNs, 8);
    ByteCursor::AppendLe(out, frame.pixels.size(), 4);
}

} // namespace

std::string FrameSetCodec::CheckLimits(const FrameSet &set)
{
    if (set.frames.size() > kMaxFramesPerSet) {
        return "a frame set of " + std::to_string(set.frames.size()) + " frames (at most " +
               std::to_string(kMaxFramesPerSet) + ")";
    }
    size_t total = 4;
    for (const RecordedFrame &frame : set.frames) {
        if (frame.pixels.size() > kMaxFrameBytes) {
            return "a frame of " + std::to_string(frame.pixels.size()) + " bytes (at most " +
                   std::to_string(kMaxFrameBytes) + ")";
        }
        total += kFrameHeaderBytes + frame.pixels.size();
    }
    // The flags byte and a compressed body's size field share the record's bound.
    if (total + 5 > kMaxRecordBytes) {
        return "a frame set of " + std::to_string(total) + " bytes";
    }
    return {};
}

size_t FrameSetCodec::Layout(const FrameSet &set, std::vector<uint8_t> &scratch,
                             std::vector<BytePiece> &pieces)
{
    scratch.clear();
    pieces.clear();
    ByteCursor::AppendLe(scratch, set.frames.size(), 4);
    for (const RecordedFrame &frame : set.frames) {
        AppendFrameHeader(scratch, frame);
    }
    // Pieces point into `scratch` only once it has stopped growing.
    size_t total = 0;
    size_t headerAt = 0;
    size_t headerSize = 4 + kFrameHeaderBytes;
    for (const RecordedFrame &frame : set.frames) {
        pieces.push_back({scratch.data() + headerAt, headerSize});
        total += headerSize;
        headerAt += headerSize;
        headerSize = kFrameHeaderBytes;
        if (!frame.pixels.empty()) {
            pieces.push_back({frame.pixels.data(), frame.pixels.size()});
            total += frame.pixels.size();
        }
    }
    if (set.frames.empty()) {
        pieces.push_back({scratch.data(), 4});
        total = 4;
    }
    return total;
}

bool FrameSetCodec::Decode(const uint8_t *data, size_t size, FrameSet &out, std::string &error)
{
    ByteCursor in(data, size);
    const uint32_t count = in.ReadU32();
    if (!in.IsOk() || count > kMaxFramesPerSet) {
        error = in.IsOk() ? "a frame count of " + std::to_string(count) : "a body without a frame count";
        return false;
    }
    out.frames.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        RecordedFrame &frame = out.frames[i];
        frame.frameIndex = in.ReadU32();
        frame.frameType = in.ReadU32();
        frame.pixelFormat = in.ReadU32();
        frame.imuFrameNo = in.ReadU8();
        frame.width = in.ReadU16();
        frame.height = in.ReadU16();
        frame.depthRange = in.ReadU32();
        frame.exposureTime = in.ReadF32();
        frame.timestamp = in.ReadU64();
        frame.hostTimeNs = in.ReadU64();
        const uint32_t byteCount = in.ReadU32();
        const uint8_t *pixels = byteCount <= kMaxFrameBytes ? in.Take(byteCount) : nullptr;
        if (!in.IsOk() || pixels == nullptr) {
            error = "frame " + std::to_string(i) + " of " + std::to_string(count) + " runs past its record";
            return false;
        }
        frame.pixels.assign(pixels, pixels + byteCount);
    }
    if (in.GetRemaining() != 0) {
        error = std::to_string(in.GetRemaining()) + " bytes after the last frame";
        return false;
    }
    return true;
}

} // namespace orvane::cli::record
