// SPDX-License-Identifier: Apache-2.0
// FuzzInput: reads a fuzz input as numbers, records and NUL-separated texts; the check every target aborts
// with, and the one for decoding a packed record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

/// Aborts, so that libFuzzer keeps the input, when a promise of the code under test is broken.
inline void Require(bool condition)
{
    if (!condition) {
        abort();
    }
}

/// Decodes `data` into a record filled with 0x5A: fewer than `bytes` bytes are refused and leave the
/// record as it was; enough are decoded to a copy of the first `bytes`, as a record packed in the
/// camera's byte order is. Returns whether they were enough.
template <typename Record, typename Decode>
bool RequireDecodedAsCopy(Decode decode, const uint8_t *data, size_t size, size_t bytes, Record &record)
{
    std::memset(&record, 0x5A, sizeof record);
    const Record before = record;
    const bool decoded = decode(data, size, record);
    Require(decoded == (size >= bytes));
    Require(decoded ? std::memcmp(&record, data, bytes) == 0
                    : std::memcmp(&record, &before, sizeof record) == 0);
    return decoded;
}

/// Takes values from the front of an input; past its end every value is zero or empty.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool Done() const { return m_at >= m_size; }
    uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    /// A number of `bytes` bytes, most significant first.
    uint64_t Number(size_t bytes)
    {
        uint64_t value = 0;
        for (size_t i = 0; i < bytes; ++i) {
            value = (value << 8) | Byte();
        }
        return value;
    }
    void Bytes(uint8_t *out, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            out[i] = Byte();
        }
    }
    /// A record of plain data, its bytes as they are in memory.
    template <typename T> T Value()
    {
        uint8_t bytes[sizeof(T)];
        Bytes(bytes, sizeof bytes);
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    /// The text up to the next NUL (consumed) or the end.
    std::string Text()
    {
        const size_t left = m_size - m_at;
        const void *nul = std::memchr(m_data + m_at, 0, left);
        const size_t length =
            nul == nullptr ? left : static_cast<size_t>(static_cast<const uint8_t *>(nul) - (m_data + m_at));
        std::string text(reinterpret_cast<const char *>(m_data + m_at), length);
        m_at += nul == nullptr ? length : length + 1;
        return text;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};
