// SPDX-License-Identifier: Apache-2.0
// ByteCursor: bounds-checked little-endian reads of a recording's bytes, and the matching appends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orvane::cli::record {

/// Reads fields in order from bytes it does not own. A read past the end yields zero, consumes nothing and
/// makes IsOk() false for good, so that a parser checks once where it matters.
class ByteCursor
{
public:
    ByteCursor(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t ReadU8() { return static_cast<uint8_t>(ReadLe(1)); }
    uint16_t ReadU16() { return static_cast<uint16_t>(ReadLe(2)); }
    uint32_t ReadU32() { return static_cast<uint32_t>(ReadLe(4)); }
    uint64_t ReadU64() { return ReadLe(8); }
    float ReadF32()
    {
        const uint32_t bits = ReadU32();
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    /// The next `count` bytes in place, or null (and not ok) when fewer remain.
    const uint8_t *Take(size_t count)
    {
        if (!m_ok || count > m_size - m_pos) {
            m_ok = false;
            return nullptr;
        }
        const uint8_t *at = m_data + m_pos;
        m_pos += count;
        return at;
    }

    size_t GetRemaining() const { return m_size - m_pos; }
    bool IsOk() const { return m_ok; }

    static void AppendLe(std::vector<uint8_t> &out, uint64_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i) {
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    }
    static void AppendF32(std::vector<uint8_t> &out, float value)
    {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        AppendLe(out, bits, 4);
    }

private:
    uint64_t ReadLe(size_t width)
    {
        const uint8_t *at = Take(width);
        uint64_t value = 0;
        for (size_t i = 0; at != nullptr && i < width; ++i) {
            value |= static_cast<uint64_t>(at[i]) << (8 * i);
        }
        return value;
    }

    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

} // namespace orvane::cli::record
