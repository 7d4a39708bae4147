// SPDX-License-Identifier: Apache-2.0
// Crc32: the IEEE CRC-32 (reflected polynomial 0xEDB88320) that guards a recording's header and records.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane::cli::record {

/// Running CRC-32 over pieces fed in order; eight bytes per step from eight tables, so that checking
/// a recording costs a small share of the time it takes to write or read it.
class Crc32
{
public:
    void Update(const void *data, size_t size);
    uint32_t GetValue() const { return ~m_state; }

    /// The CRC of one buffer.
    static uint32_t Of(const void *data, size_t size);

private:
    uint32_t m_state = 0xFFFFFFFFu;
};

} // namespace orvane::cli::record
