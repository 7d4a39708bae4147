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
    double ReadF64Le()
    {
        const uint64_t bits = ReadU64Le();
        double value = 0;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }

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

    /// Reads `width` bytes (at most 8), least significant first.
    uint64_t ReadLe(size_t width)
    {
        uint8_t bytes[8] = {};
        if (width > sizeof(bytes)) {
            m_ok = false;
            return 0;
        }
        if (!ReadBytes(bytes, width)) {
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = width; i > 0; --i) {
            value = (value << 8) | bytes[i - 1];
        }
        return value;
    }

private:
    bool Has(size_t count) const { return m_ok && count <= m_size - m_pos; }

    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

/// Writes fields in order: appended to a growing byte vector, or into a caller's buffer of fixed size,
/// where a write that does not fit writes nothing and makes Ok() false for good.
class ByteWriter
{
public:
    /// A writer that grows its own vector.
    ByteWriter() = default;
    /// A writer into `capacity` bytes at `data`, which it does not own.
    ByteWriter(void *data, size_t capacity) : m_fixed(static_cast<uint8_t *>(data)), m_capacity(capacity) {}

    void WriteU8(uint8_t value) { WriteBytes(&value, 1); }
    void WriteU16Le(uint16_t value) { WriteLe(value, 2); }
    void WriteU24Le(uint32_t value) { WriteLe(value, 3); }
    void WriteU32Le(uint32_t value) { WriteLe(value, 4); }
    void WriteU64Le(uint64_t value) { WriteLe(value, 8); }
    /// Writes the low `width` bytes (at most 8) of `value`, least significant first.
    void WriteLe(uint64_t value, size_t width)
    {
        uint8_t bytes[8] = {};
        const size_t count = width < sizeof(bytes) ? width : sizeof(bytes);
        for (size_t i = 0; i < count; ++i) {
            bytes[i] = static_cast<uint8_t>(value >> (8 * i));
            if (m_fixed == nullptr) {
                m_bytes.push_back(bytes[i]);
            }
        }
        if (m_fixed != nullptr) {
            WriteBytes(bytes, count);
        }
    }
    /// Doubles travel as little-endian IEEE-754 binary64.
    void WriteF64Le(double value)
    {
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof(bits));
        WriteU64Le(bits);
    }
    void WriteBytes(const void *data, size_t count)
    {
        const auto *bytes = static_cast<const uint8_t *>(data);
        if (m_fixed == nullptr) {
            m_bytes.insert(m_bytes.end(), bytes, bytes + count);
            return;
        }
        if (!m_ok || count > m_capacity - m_pos) {
            m_ok = false;
            return;
        }
        if (count > 0) {
            std::memcpy(m_fixed + m_pos, bytes, count);
        }
        m_pos += count;
    }
    void WriteZeros(size_t count)
    {
        static const uint8_t kZeros[64] = {};
        for (size_t left = count; left > 0;) {
            const size_t part = left < sizeof(kZeros) ? left : sizeof(kZeros);
            WriteBytes(kZeros, part);
            left -= part;
        }
    }
    /// Writes `text` into a field of `fieldWidth` bytes, cut to fit and padded with NULs.
    void WriteText(const char *text, size_t fieldWidth)
    {
        size_t length = text == nullptr ? 0 : strnlen(text, fieldWidth);
        WriteBytes(text, length);
        WriteZeros(fieldWidth - length);
    }

    /// The growing writer's bytes (empty for a writer into a fixed buffer).
    const std::vector<uint8_t> &Bytes() const { return m_bytes; }
    std::vector<uint8_t> &Bytes() { return m_bytes; }
    /// Bytes written so far.
    size_t Size() const { return m_fixed == nullptr ? m_bytes.size() : m_pos; }
    bool Ok() const { return m_ok; }

private:
    std::vector<uint8_t> m_bytes;
    uint8_t *m_fixed = nullptr;
    size_t m_capacity = 0;
    size_t m_pos = 0;
    bool m_ok = true;
};
