// SPDX-License-Identifier: Apache-2.0
// The camera's side of command framing: request frames parsed from the command connection, reply
// frames built for it (well-formed or deliberately broken).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// One request frame as the camera received it.
struct RecordedFrame
{
    uint8_t command = 0; // as received, bit 7 included
    std::vector<uint8_t> payload;
    std::vector<uint8_t> raw; // the whole frame
    std::chrono::steady_clock::time_point at;
};

/// How the camera misbehaves when it answers a query.
enum class CommandFault
{
    None,
    NoAnswer,           // reads the query and answers nothing
    CloseConnection,    // closes the command connection instead of answering
    WrongMarker,        // a frame marker other than 0xAA, the announced body still follows
    OversizedDataLength // a data length L larger than the body that carries it
};

/// Request frame: marker 0xAA (u32 LE), body length n + 3 (u32 LE), body 0xAA, command byte, n, then n
/// payload bytes, n at most 64. Reply frame: marker 0xAA (u32 LE), body length L + 3 (u32 LE), body
/// 0xAA, the command byte, L, then L data bytes.
class CommandFrame
{
public:
    enum class ParseStatus
    {
        NeedMore, // no complete frame yet; nothing consumed
        Frame,    // one frame in `frame`; `consumed` bytes used
        Garbage   // the bytes cannot be a request frame; `error` says why
    };

    struct ParseResult
    {
        ParseStatus status = ParseStatus::NeedMore;
        size_t consumed = 0;
        std::string error;
    };

    /// Parses the first request frame of `data`. Garbage is recognised as soon as the fixed header
    /// shows it, without waiting for a body that would never make sense.
    static ParseResult ParseRequest(const uint8_t *data, size_t size, RecordedFrame &frame);

    /// The reply frame answering `command` with `data`, shaped by `fault` (None, WrongMarker and
    /// OversizedDataLength make a frame; the other faults send none and get a well-formed one here).
    static std::vector<uint8_t> EncodeReply(uint8_t command, const std::vector<uint8_t> &data,
                                            CommandFault fault = CommandFault::None);

    static constexpr uint32_t kFrameMarker = 0xAA;
    static constexpr uint32_t kWrongFrameMarker = 0x55;
    static constexpr uint8_t kBodyMarker = 0xAA;
    static constexpr size_t kHeaderBytes = 8;
    static constexpr size_t kBodyPrefixBytes = 3;
    static constexpr size_t kMaxPayloadBytes = 64;
    static constexpr size_t kMaxRequestBytes = kHeaderBytes + kBodyPrefixBytes + kMaxPayloadBytes;
    /// How far the oversized fault's data length overstates the data that follow.
    static constexpr size_t kOversizeBytes = 16;
};
