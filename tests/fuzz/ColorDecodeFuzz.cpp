// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the colour decoder: JPEG, 12-bit YUV and unknown colour sub-packets of any announced
// length, decoded into colour frames of any of the camera's modes and then rotated, cropped and resized.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "KeptFrame.h"
#include "pipeline/RgbDecode.h"
#include "refine/APIDepthRefine.h"
#include "runtime/ByteReader.h"

namespace {

constexpr FrameMode kModes[] = {{640, 480, 25},   {1280, 720, 25}, {640, 360, 25}, {1920, 1080, 25},
                                {1600, 1200, 25}, {800, 600, 25},  {480, 640, 25}, {0, 0, 0}};

/// Builds one sub-packet: header (type, u24 announced length, spare), a signed byte added to the
/// announced length to give the payload bytes built, then a u24-counted tile the payload repeats
/// (a whole JPEG from the seeds, or a few bytes of YUV).
std::vector<uint8_t> BuildPacket(const uint8_t *input, ByteReader &in)
{
    uint8_t header[RgbDecode::kHeaderBytes];
    in.ReadBytes(header, sizeof header);
    const int64_t wanted = int64_t(ByteReader(header + 1, 3).ReadU24Le()) + static_cast<int8_t>(in.ReadU8());
    const size_t bytes = std::min<size_t>(wanted < 0 ? 0 : size_t(wanted), 2073600 - sizeof header);
    const size_t tileBytes = std::min<size_t>(in.ReadU24Le(), in.Remaining());
    std::vector<uint8_t> packet(header, header + sizeof header);
    packet.resize(sizeof header + bytes, 0);
    const size_t tileAt = in.Position();
    in.Skip(tileBytes);
    for (size_t i = 0; tileBytes > 0 && i < bytes; i += tileBytes) {
        std::memcpy(&packet[sizeof header + i], input + tileAt, std::min(tileBytes, bytes - i));
    }
    return packet;
}

} // namespace

/// Byte 0: colour mode; byte 1: switches (refine library, pixel format, rotation); then one or two
/// sub-packets.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ByteReader in(data, size);
    const uint8_t mode = in.ReadU8();
    const uint8_t switches = in.ReadU8();
    // Two decoders for the whole run, with and without the library: each holds some 75 MB of frames.
    static const std::unique_ptr<APIDepthRefine> refine(Get_APIDepthRefine());
    static RgbDecode plain(nullptr, nullptr);
    static RgbDecode refined(nullptr, refine.get());
    RgbDecode &decoder = (switches & 1) != 0 ? refined : plain;
    decoder.SetMode(kModes[mode % (sizeof kModes / sizeof kModes[0])]);
    const PixelFormat format = (switches & 2) != 0 ? kPixelRgb888 : kPixelBgr888;
    decoder.SetPixelFormat(format);
    // Rotation, a per-pixel copy, for one input in four: the decode is what is fuzzed.
    decoder.SetRotateType(static_cast<short>((switches >> 2 & 3) == 3 ? switches >> 4 & 3 : -1));

    std::vector<KeptFrame> kept;
    for (int n = 0; n < 2 && in.Remaining() > 0; ++n) {
        const std::vector<uint8_t> packet = BuildPacket(data, in);
        // Some room behind the packet, as in a raw frame that holds more than it.
        std::vector<uint8_t> raw(packet);
        raw.resize(packet.size() + (switches >> 4), 0xA5);
        const std::vector<uint8_t> before(raw);
        Frame *frame = decoder.GetColorQueue()->AllocFrame(kFrameColor);
        Require(frame != nullptr);
        const uint32_t announced = ByteReader(&raw[1], 3).ReadU24Le();
        const uint32_t used = decoder.DecodeRGB(raw.data(), static_cast<uint32_t>(raw.size()), frame);
        Require(raw == before);
        Require(used == 0 || used == announced + RgbDecode::kHeaderBytes);
        Require(used <= raw.size());
        // A packet longer than the bytes it came in is refused; a decoded frame, and the same frame rotated,
        // is of whole pixels within its buffer.
        Require(announced + RgbDecode::kHeaderBytes <= raw.size() || (used == 0 && frame->dataLen == 0));
        const auto wholePixels = [frame] {
            return frame->dataLen <= frame->bufferSize &&
                   frame->dataLen == uint32_t(frame->width) * frame->height * 3;
        };
        Require(frame->dataLen == 0 || wholePixels());
        if (frame->dataLen != 0) {
            decoder.postFrame(*frame, format);
            Require(wholePixels());
        }
        kept.emplace_back().Keep(frame);
    }
    // A later packet never writes into the frame of an earlier one.
    for (const KeptFrame &done : kept) {
        done.RequireUntouched();
        decoder.RecycleDecodedColorFrame(done.frame);
    }
    return 0;
}
