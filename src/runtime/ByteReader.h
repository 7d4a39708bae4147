// SPDX-License-Identifier: Apache-2.0
// ByteReader and ByteWriter: bounds-checked little-endian access to bytes from and for the network.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

/// Reads fields in order from a buffer it does not own. A read past the end yields zeros, reads
/// nothing and makes Ok() false for good, so a parser checks once at the end (or where it matters).
class ByteReader
{
public:
    ByteReader(const void *data, size_t size) : m_data(static_cast<const uint8_t *>(data)), m_size(size) {}

    uint8_t ReadU8()
    {
        uint8_t value = 0;
        ReadBytes(&value, 1);
        return value;
    }
    uint16_t ReadU16Le() { return static_cast<uint16_t>(ReadLe(2)); }
    uint32_t ReadU24Le() { return static_cast<uint32_t>(ReadLe(3)); }
    uint32_t ReadU32Le() { return static_cast<uint32_t>(ReadLe(4)); }
    uint64_t ReadU64Le() { return ReadLe(8); }

    /// Copies `count` bytes into `out`; on a short buffer `out` is zero-filled and nothing is consumed.
    bool ReadBytes(void *out, size_t count)
    {
        if (!Has(count)) {
            std::memset(out, 0, count);
            m_ok = false;
            return false;
        }
        std::memcpy(out, m_data + m_pos, count);
        m_pos += count;
        return true;
    }

    /// Reads a fixed-width text field into `out` (capacity `outSize`), always NUL-terminated.
    bool ReadText(char *out, size_t outSize, size_t fieldWidth)
    {
        if (outSize == 0) {
            return Skip(fieldWidth);
        }
        std::memset(out, 0, outSize);
        if (!Has(fieldWidth)) {
            m_ok = false;
            return false;
        }
        size_t copy = fieldWidth < outSize - 1 ? fieldWidth : outSize - 1;
        std::memcpy(out, m_data + m_pos, copy);
        m_pos += fieldWidth;
        return true;
    }

    bool Skip(size_t count)
    {
        if (!Has(count)) {
            m_ok = false;
            return false;
        }
        m_pos += count;
        return true;
    }

    size_t Remaining() const { return m_size - m_pos; }
    size_t Position() const { return m_pos; }
    bool Ok() const { return m_ok; }

private:
    bool Has(size_t count) const { return m_ok && count <= m_size - m_pos; }

    uint64_t ReadLe(size_t width)
    {
        uint8_t bytes[8] = {};
        if (!ReadBytes(bytes, width)) {
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = width; i > 0; --i) {
            value = (value << 8) | bytes[i - 1];
        }
        return value;
    }

    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

/// Appends fields in order to a growing byte vector.
class ByteWriter
{
public:
    void WriteU8(uint8_t value) { m_bytes.push_back(value); }
    void WriteU16Le(uint16_t value) { WriteLe(value, 2); }
    void WriteU24Le(uint32_t value) { WriteLe(value, 3); }
    void WriteU32Le(uint32_t value) { WriteLe(value, 4); }
    void WriteU64Le(uint64_t value) { WriteLe(value, 8); }
    void WriteBytes(const void *data, size_t count)
    {
        const auto *bytes = static_cast<const uint8_t *>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    }
    /// Writes `text` into a field of `fieldWidth` bytes, cut to fit and padded with NULs.
    void WriteText(const char *text, size_t fieldWidth)
    {
        size_t length = text == nullptr ? 0 : strnlen(text, fieldWidth);
        WriteBytes(text, length);
        m_bytes.insert(m_bytes.end(), fieldWidth - length, 0);
    }

    const std::vector<uint8_t> &Bytes() const { return m_bytes; }
    std::vector<uint8_t> &Bytes() { return m_bytes; }
    size_t Size() const { return m_bytes.size(); }

private:
    void WriteLe(uint64_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i) {
            m_bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    }

    std::vector<uint8_t> m_bytes;
};
