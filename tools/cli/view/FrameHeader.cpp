// SPDX-License-Identifier: Apache-2.0
// The fixed 48-byte little-endian header in front of every frame the viewer sends to a page.
#include "FrameHeader.h"

namespace orvane::cli {
namespace {

/// Writes `value` little-endian at `offset`, whatever the host's byte order.
template <typename T> void PutLe(std::array<uint8_t, FrameHeader::kSize> &out, size_t offset, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i) {
        out[offset + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    }
}

} // namespace

std::array<uint8_t, FrameHeader::kSize> FrameHeader::Encode() const
{
    std::array<uint8_t, kSize> out{}; // the reserved fields stay 0
    PutLe<uint32_t>(out, 0, kMagic);
    PutLe<uint16_t>(out, 4, kVersion);
    PutLe<uint16_t>(out, 6, static_cast<uint16_t>(kSize));
    out[8] = static_cast<uint8_t>(stream);
    out[9] = static_cast<uint8_t>(encoding);
    PutLe<uint16_t>(out, 10, static_cast<uint16_t>(format));
    PutLe<uint32_t>(out, 12, index);
    PutLe<uint16_t>(out, 16, width);
    PutLe<uint16_t>(out, 18, height);
    PutLe<uint64_t>(out, 24, timestampUs);
    PutLe<uint64_t>(out, 32, hostTimeUs);
    PutLe<uint32_t>(out, 40, payloadBytes);
    return out;
}

const char *ViewStreamName(ViewStream stream)
{
    static const char *const kNames[kViewStreamCount] = {"depth", "ir", "confidence", "color"};
    const auto index = static_cast<size_t>(stream);
    return index < kViewStreamCount ? kNames[index] : "unknown";
}

} // namespace orvane::cli
