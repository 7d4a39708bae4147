// SPDX-License-Identifier: Apache-2.0
// FuzzInput: reads a fuzz input as numbers and NUL-separated texts, and the check every target aborts with.
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

/// Takes values from the front of an input; past its end every value is zero or empty.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    uint64_t Number(size_t bytes)
    {
        uint64_t value = 0;
        for (size_t i = 0; i < bytes; ++i) {
            value = (value << 8) | Byte();
        }
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
