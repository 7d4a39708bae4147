// SPDX-License-Identifier: Apache-2.0
// The camera's side of command framing: request parsing and reply encoding.
#include "CommandFrame.h"

#include "runtime/ByteReader.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

} // namespace

CommandFrame::ParseResult CommandFrame::ParseRequest(const uint8_t *data, size_t size, RecordedFrame &frame)
{
    ParseResult result;
    if (size < kHeaderBytes) {
        return result;
    }
    ByteReader header(data, kHeaderBytes);
    const uint32_t marker = header.ReadU32Le();
    const uint32_t bodyBytes = header.ReadU32Le();
    if (marker != kFrameMarker) {
        result.status = ParseStatus::Garbage;
        result.error = "frame marker " + Hex(marker) + " is not 0xAA";
        return result;
    }
    if (bodyBytes < kBodyPrefixBytes || bodyBytes > kBodyPrefixBytes + kMaxPayloadBytes) {
        result.status = ParseStatus::Garbage;
        result.error = "body length " + std::to_string(bodyBytes) + " is outside 3..67";
        return result;
    }
    const size_t frameBytes = kHeaderBytes + bodyBytes;
    if (size < frameBytes) {
        return result;
    }
    ByteReader body(data + kHeaderBytes, bodyBytes);
    const uint8_t bodyMarker = body.ReadU8();
    const uint8_t command = body.ReadU8();
    const uint8_t payloadBytes = body.ReadU8();
    if (bodyMarker != kBodyMarker) {
        result.status = ParseStatus::Garbage;
        result.error = "body marker " + Hex(bodyMarker) + " is not 0xAA";
        return result;
    }
    if (payloadBytes != body.Remaining()) {
        result.status = ParseStatus::Garbage;
        result.error = "payload length " + std::to_string(payloadBytes) + " disagrees with body length " +
                       std::to_string(bodyBytes);
        return result;
    }
    frame.command = command;
    frame.payload.assign(data + kHeaderBytes + kBodyPrefixBytes, data + frameBytes);
    frame.raw.assign(data, data + frameBytes);
    frame.at = std::chrono::steady_clock::now();
    result.status = ParseStatus::Frame;
    result.consumed = frameBytes;
    return result;
}

std::vector<uint8_t> CommandFrame::EncodeReply(uint8_t command, const std::vector<uint8_t> &data,
                                               CommandFault fault)
{
    // The data length field is one byte; the camera never answers more than it can announce.
    const size_t dataBytes = std::min<size_t>(data.size(), 255);
    size_t announcedBytes = dataBytes;
    if (fault == CommandFault::OversizedDataLength) {
        announcedBytes = std::min<size_t>(dataBytes + kOversizeBytes, 255);
    }
    ByteWriter writer;
    writer.WriteU32Le(fault == CommandFault::WrongMarker ? kWrongFrameMarker : kFrameMarker);
    writer.WriteU32Le(static_cast<uint32_t>(dataBytes + kBodyPrefixBytes));
    writer.WriteU8(kBodyMarker);
    writer.WriteU8(command);
    writer.WriteU8(static_cast<uint8_t>(announcedBytes));
    writer.WriteBytes(data.data(), dataBytes);
    return writer.Bytes();
}
