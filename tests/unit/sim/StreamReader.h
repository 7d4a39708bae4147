// SPDX-License-Identifier: Apache-2.0
// Test helpers: the host's side of the data connection, reading stream buffers and splitting them into
// sub-packets with the layout spelled out here, independently of the simulator's encoder.
#pragma once

#include "CommandClient.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim_test {

/// How long a read waits for a buffer that should come within a few frames.
constexpr unsigned kStreamWaitMs = 5000;

/// One sub-packet as the host finds it: 0x2C has a 3-byte header (u16 length), the others 5 bytes.
struct Part
{
    uint8_t type = 0;
    uint32_t length = 0;
    uint8_t spare = 0;
    size_t payloadAt = 0;
};

struct Buffer
{
    std::vector<uint8_t> payload;
    std::vector<Part> parts;
    bool overrun = false; // a sub-packet claims more bytes than the buffer has left

    std::vector<uint8_t> Types() const
    {
        std::vector<uint8_t> types;
        for (const Part &part : parts) {
            types.push_back(part.type);
        }
        return types;
    }
    const Part *Find(uint8_t type) const
    {
        for (const Part &part : parts) {
            if (part.type == type) {
                return &part;
            }
        }
        return nullptr;
    }
    uint64_t Timestamp() const
    {
        uint64_t value = 0;
        const Part *part = Find(0x1F);
        for (int i = 7; part != nullptr && i >= 0; --i) {
            value = value << 8 | payload.at(part->payloadAt + i);
        }
        return value;
    }
    uint8_t Status(size_t offset) const { return payload.at(Find(0x2C)->payloadAt + offset); }
};

inline std::vector<Part> Split(const std::vector<uint8_t> &bytes, bool &overrun)
{
    std::vector<Part> parts;
    size_t at = 0;
    overrun = false;
    while (at < bytes.size()) {
        Part part;
        part.type = bytes[at];
        size_t header = 5;
        if (part.type == 0x2C) {
            header = 3;
            if (at + header > bytes.size()) {
                overrun = true;
                break;
            }
            part.length = bytes[at + 1] | bytes[at + 2] << 8;
        } else {
            if (at + header > bytes.size()) {
                overrun = true;
                break;
            }
            part.length = bytes[at + 1] | bytes[at + 2] << 8 | bytes[at + 3] << 16;
            part.spare = bytes[at + 4];
        }
        part.payloadAt = at + header;
        if (part.payloadAt + part.length > bytes.size()) {
            overrun = true;
            parts.push_back(part);
            break;
        }
        parts.push_back(part);
        at = part.payloadAt + part.length;
    }
    return parts;
}

inline std::optional<Buffer> ReadBuffer(TcpClient &data, unsigned timeoutMs = kStreamWaitMs)
{
    const std::optional<std::vector<uint8_t>> header = data.Receive(8, timeoutMs);
    if (!header || U32Le(*header, 0) != 1) {
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> payload = data.Receive(U32Le(*header, 4), timeoutMs);
    if (!payload) {
        return std::nullopt;
    }
    Buffer buffer;
    buffer.payload = std::move(*payload);
    buffer.parts = Split(buffer.payload, buffer.overrun);
    return buffer;
}

/// Reads until the camera has been silent for quietMs; the number of buffers read.
inline size_t Drain(TcpClient &data, unsigned quietMs = 400)
{
    size_t count = 0;
    while (ReadBuffer(data, quietMs)) {
        ++count;
    }
    return count;
}

} // namespace sim_test
