// SPDX-License-Identifier: Apache-2.0
// Fuzz target for ToF block dispatch: the input picks the decoder's settings and builds raw ToF frames
// (four-phase, dual-frequency, camera-computed) of any announced length and range, which the decoder
// turns into depth, IR and confidence images.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "KeptFrame.h"
#include "TofFixtures.h"
#include "pipeline/FramePool.h"
#include "pipeline/SonyRawDecoder.h"
#include "pipeline/StreamLayout.h"
#include "pipeline/TofDecode.h"
#include "refine/APIDepthRefine.h"
#include "runtime/ByteReader.h"

using namespace StreamLayout;

namespace {

constexpr uint32_t kImageBytes = 640 * 480 * 2;

/// Appends one block: header (type, u24 announced length, spare), a byte of options (bit 0: write the
/// phase numbers a camera writes; the other bits, signed, are added to the announced length to give the
/// payload bytes built), then a u16-counted tile the payload is filled with. Four-phase payloads take
/// the tile in four quarters, one per phase block, so a row of a real frame repeats through its block.
void AppendBlock(const uint8_t *data, ByteReader &in, std::vector<uint8_t> &raw)
{
    uint8_t header[kHeaderBytes];
    in.ReadBytes(header, sizeof header);
    const uint8_t options = in.ReadU8();
    const int64_t wanted =
        int64_t(ByteReader(header + 1, 3).ReadU24Le()) + (static_cast<int8_t>(options) >> 1);
    const size_t room = FramePool::PayloadBytes(kFrameRawTof) -
                        std::min<size_t>(raw.size() + kHeaderBytes, FramePool::PayloadBytes(kFrameRawTof));
    const size_t bytes = std::min<size_t>(wanted < 0 ? 0 : size_t(wanted), room);
    const size_t tileBytes = std::min<size_t>(in.ReadU16Le(), in.Remaining());
    const uint8_t *tile = data + in.Position();
    in.Skip(tileBytes);

    raw.insert(raw.end(), header, header + sizeof header);
    const size_t start = raw.size();
    raw.resize(start + bytes, 0);
    const bool fourPhase = header[0] == kTypeTofRaw || header[0] == kTypeTofWdr;
    const size_t parts = fourPhase ? SonyRawDecoder::kPhaseCount : 1;
    const size_t partBytes = fourPhase ? SonyRawDecoder::kPhaseBlockBytes : bytes;
    const size_t quarter = tileBytes / parts;
    for (size_t part = 0; part < parts && quarter > 0; ++part) {
        const uint8_t *from = tile + part * quarter;
        for (size_t i = part * partBytes; i < std::min(bytes, (part + 1) * partBytes); i += quarter) {
            std::memcpy(&raw[start + i], from,
                        std::min(quarter, std::min(bytes, (part + 1) * partBytes) - i));
        }
    }
    for (size_t k = 0; fourPhase && (options & 1) != 0 && k < SonyRawDecoder::kPhaseCount; ++k) {
        const size_t at = k * SonyRawDecoder::kPhaseBlockBytes + SonyRawDecoder::kPhaseNumberOffset;
        if (at < bytes) {
            raw[start + at] = static_cast<uint8_t>(k);
        }
    }
}

/// Whether a raw frame's first block is one the decoder must take.
bool Decodable(const std::vector<uint8_t> &raw, uint32_t currentRange)
{
    if (raw.size() < kHeaderBytes) {
        return false;
    }
    const uint32_t length = ByteReader(&raw[1], 3).ReadU24Le();
    const uint32_t range = CarriesRange(raw[0]) ? RangeOfSpareByte(raw[4]) : currentRange;
    const uint32_t expected = raw[0] == kTypeTofRaw || raw[0] == kTypeTofWdr ? kTofRawBytes
                              : raw[0] == kTypeTofComputed                   ? kTofComputedBytes
                              : raw[0] == kTypeTofDepth                      ? kTofImageBytes
                                                                             : 0;
    return range <= 5 && expected != 0 && length == expected && length <= raw.size() - kHeaderBytes;
}

} // namespace

/// Byte 0: data mode; byte 1: the two dual-frequency ranges; byte 2: switches; byte 3: laser temperature;
/// byte 4: the range set; byte 5: frames to decode (1-4), each a count (1-3) of blocks.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The refine library, made once: its state is the camera's, kept between frames as in a session.
    static const std::unique_ptr<APIDepthRefine> refine(Get_APIDepthRefine());
    ByteReader in(data, size);
    const uint8_t dataMode = in.ReadU8() % 16;
    const uint8_t wdr = in.ReadU8();
    const uint8_t switches = in.ReadU8();
    orvtest::StatusSource source; // a session that reports a status record with the input's temperatures
    source.status.temperatureLD = static_cast<int8_t>(in.ReadU8());
    source.status.temperature = static_cast<int8_t>(switches);
    const uint8_t range = in.ReadU8();
    const int frameCount = in.ReadU8() % 4 + 1;

    TofDecode decoder(nullptr, (switches & 1) != 0 ? refine.get() : nullptr, &source, "/nonexistent/");
    decoder.SetDataMode(dataMode);
    decoder.SetDepthRange(range);
    DualFreqMode dual{2, {wdr & 7, wdr >> 3 & 7, 0}};
    decoder.SetDualFreqMode(dual);
    decoder.SetWDRStyle((switches & 2) != 0 ? kWdrStyleSeparate : kWdrStyleFuse);
    decoder.SetTemperatureOffsetEnable((switches & 4) != 0);
    decoder.SetIRPixelFormat((switches & 8) != 0 ? kPixelGray16 : kPixelGray8);
    decoder.SetConfidenceFilterEnable((switches & 16) != 0);

    FrameQueue *queues[3] = {decoder.GetDepthQueue(), decoder.GetIrQueue(), decoder.GetConfidenceQueue()};
    std::vector<std::array<KeptFrame, 3>> kept;
    for (int f = 0; f < frameCount && in.Remaining() > 0; ++f) {
        std::vector<uint8_t> raw;
        const int blocks = in.ReadU8() % 3 + 1;
        for (int b = 0; b < blocks; ++b) {
            AppendBlock(data, in, raw);
        }
        Frame *out[3] = {queues[0]->AllocFrame(kFrameDepth), queues[1]->AllocFrame(kFrameIr),
                         queues[2]->AllocFrame(kFrameConfidence)};
        Require(out[0] != nullptr && out[1] != nullptr && out[2] != nullptr);
        const bool decodable = Decodable(raw, decoder.GetDepthRange());
        const uint64_t rejectedBefore = decoder.GetRejectedBlockCount();
        bool deliver = true;
        const uint32_t used = decoder.DecodeADI(raw.data(), static_cast<uint32_t>(raw.size()), *out[0],
                                                *out[1], *out[2], &deliver);
        // A block is taken exactly when its type, length and range say so; a refused one is counted.
        Require((used != 0) == decodable);
        Require(decoder.GetRejectedBlockCount() == rejectedBefore + (decodable ? 0 : 1));
        Require(used == 0 ||
                (used <= raw.size() && out[0]->dataLen == kImageBytes && out[0]->depthRange <= 5));
        kept.emplace_back();
        for (int i = 0; i < 3; ++i) {
            // Each image is of whole 8- or 16-bit pixels.
            Require(out[i]->dataLen <= out[i]->bufferSize);
            Require(out[i]->dataLen == 0 || out[i]->dataLen == uint32_t(out[i]->width) * out[i]->height * 2 ||
                    out[i]->dataLen == uint32_t(out[i]->width) * out[i]->height);
            kept.back()[i].Keep(out[i]);
        }
    }
    // Later frames never write into the images of earlier ones.
    for (const std::array<KeptFrame, 3> &done : kept) {
        for (int i = 0; i < 3; ++i) {
            done[i].RequireUntouched();
            queues[i]->RecycleFrame(done[i].frame);
        }
    }
    return 0;
}
