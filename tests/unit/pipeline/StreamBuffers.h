// SPDX-License-Identifier: Apache-2.0
// Stream buffers written the way the camera writes them, and JPEG images compressed here, for the
// pipeline's tests.
#pragma once

#include <turbojpeg.h>

#include <cstdint>
#include <vector>

#include "runtime/ByteReader.h"

namespace orvtest {

/// A stream buffer as the camera writes it: sub-packets back to back.
class BufferBuilder
{
public:
    BufferBuilder &Packet(uint8_t typeId, const std::vector<uint8_t> &payload, uint8_t unUsed = 0)
    {
        m_w.WriteU8(typeId);
        m_w.WriteU24Le(static_cast<uint32_t>(payload.size()));
        m_w.WriteU8(unUsed);
        m_w.WriteBytes(payload.data(), payload.size());
        return *this;
    }
    /// A block of `size` bytes whose content is `seed` plus the position.
    BufferBuilder &Block(uint8_t typeId, uint32_t size, uint8_t seed = 0, uint8_t unUsed = 0)
    {
        std::vector<uint8_t> payload(size);
        for (uint32_t i = 0; i < size; ++i) {
            payload[i] = static_cast<uint8_t>(seed + i);
        }
        return Packet(typeId, payload, unUsed);
    }
    BufferBuilder &Timestamp(uint64_t ts)
    {
        ByteWriter w;
        w.WriteU64Le(ts);
        return Packet(0x1F, w.Bytes());
    }
    BufferBuilder &Imu(uint8_t number) { return Packet(0x24, {number}); }
    BufferBuilder &Status(const std::vector<uint8_t> &payload)
    {
        m_w.WriteU8(0x2C);
        m_w.WriteU16Le(static_cast<uint16_t>(payload.size()));
        m_w.WriteBytes(payload.data(), payload.size());
        return *this;
    }
    std::vector<uint8_t> Bytes() const { return m_w.Bytes(); }

private:
    ByteWriter m_w;
};

/// `rgb` (`width` x `height`, three bytes a pixel) compressed as a JPEG; empty when that fails.
inline std::vector<uint8_t> CompressJpeg(const std::vector<uint8_t> &rgb, int width, int height,
                                         int subsampling, int quality)
{
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long bytes = 0;
    std::vector<uint8_t> out;
    if (tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &bytes, subsampling, quality, 0) ==
        0) {
        out.assign(jpeg, jpeg + bytes);
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

} // namespace orvtest
