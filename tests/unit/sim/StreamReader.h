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
    /// A byte of the status record; 0 in a buffer without one (its reader has reported that already).
    uint8_t Status(size_t offset) const
    {
        const Part *status = Find(0x2C);
        return status != nullptr ? payload.at(status->payloadAt + offset) : 0;
    }
};

inline std::vector<Part> Split(const std::vector<uint8_t> &bytes, bool &overrun)
{
    std::vector<Part> parts;
    overrun = false;
    for (size_t at = 0; at < bytes.size();) {
        Part part;
        part.type = bytes[at];
        const size_t header = part.type == 0x2C ? 3 : 5;
        if (at + header > bytes.size()) {
            overrun = true;
            break;
        }
        part.length = bytes[at + 1] | bytes[at + 2] << 8 | (header == 5 ? bytes[at + 3] << 16 : 0);
        part.spare = header == 5 ? bytes[at + 4] : 0;
        part.payloadAt = at + header;
        parts.push_back(part);
        if (part.payloadAt + part.length > bytes.size()) {
            overrun = true;
            break;
        }
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
