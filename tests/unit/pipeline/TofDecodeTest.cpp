// SPDX-License-Identifier: Apache-2.0
// Tests of the ToF decoder: the per-pixel four-phase decode, block dispatch and its rejections, the
// camera-computed images, the confidence and IR rules, wide-dynamic-range fusion and the worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <type_traits>
#include <vector>

#include "TestSupport.h"
#include "TofFixtures.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/SonyRawDecoder.h"
#include "pipeline/TofDecode.h"

using namespace orvtest;

namespace {

/// Largest error of the polynomial arc tangent over the circle (measured: 0.01015 rad).
constexpr double kArcTangentErrorRad = 0.0102;

/// How far an identity-table decode may lie from the true distance in a range: the arc tangent's error
/// times the range's millimetres per radian, plus a millimetre of truncation and sample rounding.
double ToleranceMm(int range)
{
    return kArcTangentErrorRad * SonyRawDecoder::PhaseToMmFactor(static_cast<uint32_t>(range)) + 1.0;
}

/// Plain buffers for the pure decode: the four phase blocks laid out as in a raw block, and an identity
/// lookup table.
struct PixelBuffers
{
    explicit PixelBuffers(size_t pixels)
        : payload(4 * kPhaseBlockBytes), background(pixels, 0), depth(pixels, 0), ir(pixels, 0),
          confidence(pixels, 0), lookup(1250)
    {
        for (size_t i = 0; i < lookup.size(); ++i) {
            lookup[i] = static_cast<int32_t>(i);
        }
    }
    /// Writes the four taps of pixel p from the phase differences D_k = A_k - B_k (12-bit counts).
    void SetDifferences(size_t p, int d0, int d1, int d2, int d3, int base = 2000)
    {
        const int d[4] = {d0, d1, d2, d3};
        for (int k = 0; k < 4; ++k) {
            SetTaps(p, k, static_cast<uint16_t>((base + d[k]) << 4), static_cast<uint16_t>(base << 4));
        }
    }
    void SetTaps(size_t p, int k, uint16_t a, uint16_t b)
    {
        uint8_t *tap = payload.data() + k * kPhaseBlockBytes + p * 4;
        tap[0] = static_cast<uint8_t>(a);
        tap[1] = static_cast<uint8_t>(a >> 8);
        tap[2] = static_cast<uint8_t>(b);
        tap[3] = static_cast<uint8_t>(b >> 8);
    }
    FourPhaseParams Params(int range, int32_t temperatureOffset = 0, int32_t maxDepthMm = -1)
    {
        const auto entries = static_cast<int32_t>(lookup.size());
        return FourPhaseParams{
            SonyRawDecoder::PhaseToMmFactor(range),    temperatureOffset, lookup.data(), entries,
            maxDepthMm < 0 ? entries - 1 : maxDepthMm, background.data()};
    }
    void Decode(const FourPhaseParams &params, bool scalar = false)
    {
        const uint8_t *p[4];
        for (int k = 0; k < 4; ++k) {
            p[k] = payload.data() + k * kPhaseBlockBytes;
        }
        (scalar ? SonyRawDecoder::DecodeFourPhaseScalar : SonyRawDecoder::DecodeFourPhase)(
            p, params, depth.data(), ir.data(), confidence.data(), depth.size());
    }
    std::vector<uint8_t> payload;
    std::vector<uint16_t> background, depth, ir, confidence;
    std::vector<int32_t> lookup;
};

/// A decoder with no calibration files (identity tables, zero background) and no temperature offset.
struct DecoderFixture
{
    explicit DecoderFixture(APIDepthRefine *refine = nullptr, FrameQueue *raw = nullptr)
        : decoder(raw, refine, &source, "/nonexistent/")
    {
        decoder.SetTemperatureOffsetEnable(false);
        depth = decoder.GetDepthQueue()->AllocFrame(kFrameDepth);
        ir = decoder.GetIrQueue()->AllocFrame(kFrameIr);
        confidence = decoder.GetConfidenceQueue()->AllocFrame(kFrameConfidence);
    }
    ~DecoderFixture()
    {
        decoder.GetDepthQueue()->RecycleFrame(depth);
        decoder.GetIrQueue()->RecycleFrame(ir);
        decoder.GetConfidenceQueue()->RecycleFrame(confidence);
    }
    uint32_t Decode(std::vector<uint8_t> &raw, bool *deliver = nullptr)
    {
        return decoder.DecodeADI(raw.data(), static_cast<uint32_t>(raw.size()), *depth, *ir, *confidence,
                                 deliver);
    }
    uint16_t DepthAt(size_t p) const { return reinterpret_cast<const uint16_t *>(depth->pFrameData)[p]; }
    orvtest::StatusSource source;
    TofDecode decoder;
    Frame *depth;
    Frame *ir;
    Frame *confidence;
};

} // namespace

TEST(TofDecodeTest, EdgeValuesOfThePixelRule)
{
    PixelBuffers px(6);
    px.SetDifferences(0, 0, -100, 0, 100);  // I = 0, Q < 0: phase pi
    px.SetDifferences(1, 0, 0, 0, 0);       // no modulation: phase 0, confidence 0
    px.SetDifferences(2, 30, 40, -30, -40); // I = 60, Q = 80: confidence 100
    for (size_t p = 3; p < 6; ++p) {
        px.SetDifferences(p, 0, 0, 0, 0);
    }
    px.lookup[5] = -5;   // index 5 (pixel 3 with offset 5)
    px.lookup[6] = 1300; // above the range maximum: the pixel keeps its old value
    px.depth[4] = 777;
    auto params = px.Params(0, 0, 1249);
    px.Decode(params);
    EXPECT_EQ(px.depth[0], 624);
    EXPECT_EQ(px.depth[1], 0);
    EXPECT_EQ(px.confidence[1], 0);
    EXPECT_EQ(px.confidence[2], 100);

    // The temperature offset moves the lookup index.
    params.temperatureOffset = 5;
    px.Decode(params);
    EXPECT_EQ(px.depth[3], 1244);
    EXPECT_EQ(px.depth[1], 1244);
    params.temperatureOffset = 6;
    px.depth[4] = 777;
    px.Decode(params);
    EXPECT_EQ(px.depth[4], 777);

    // An index outside the table is invalid, on either side.
    for (int32_t offset : {-1, 2000}) {
        params.temperatureOffset = offset;
        px.Decode(params);
        EXPECT_EQ(px.depth[1], 0) << offset;
    }
}

TEST(TofDecodeTest, IrSumsPhasesZeroAndTwoClampsAndSubtractsTheBackground)
{
    PixelBuffers px(3);
    for (int k = 0; k < 4; ++k) {
        px.SetTaps(0, k, 1000 << 4, 1000 << 4);
        px.SetTaps(1, k, 4095 << 4, 4095 << 4);
        px.SetTaps(2, k, 100 << 4, 100 << 4);
    }
    px.background[2] = 500;
    px.Decode(px.Params(0));
    EXPECT_EQ(px.ir[0], 4000);
    EXPECT_EQ(px.ir[1], 4095);
    EXPECT_EQ(px.ir[2], 0);
}

TEST(TofDecodeTest, FastPathMatchesTheScalarReferenceBitForBit)
{
    std::mt19937 rng(1234);
    PixelBuffers fast(kPixels);
    const auto randomize = [&rng](auto &values, int low, int high) {
        std::uniform_int_distribution<int> pick(low, high);
        for (auto &v : values) {
            v = static_cast<std::remove_reference_t<decltype(v)>>(pick(rng));
        }
    };
    randomize(fast.payload, 0, 0xFF);
    randomize(fast.lookup, -40, 1400);
    randomize(fast.background, 0, 300);
    randomize(fast.depth, 0, 2000);
    PixelBuffers scalar = fast;
    for (int32_t offset : {0, -150, 190}) {
        fast.Decode(fast.Params(3, offset, 1249));
        scalar.Decode(scalar.Params(3, offset, 1249), true);
        EXPECT_EQ(fast.depth, scalar.depth) << offset;
        EXPECT_EQ(fast.ir, scalar.ir) << offset;
        EXPECT_EQ(fast.confidence, scalar.confidence) << offset;
    }
}

TEST(TofDecodeTest, ConfidenceRuleMarksWeakAndSaturatedPixels)
{
    DecoderFixture f;
    f.depth->width = f.confidence->width = 640;
    f.depth->height = f.confidence->height = 480;
    auto *depth = reinterpret_cast<uint16_t *>(f.depth->pFrameData);
    auto *conf = reinterpret_cast<uint16_t *>(f.confidence->pFrameData);
    const uint16_t confidences[4] = {10, 20, 4600, 5000};
    const uint16_t expected[4] = {65535, 900, 900, 0};
    for (int i = 0; i < 4; ++i) {
        depth[i] = 900;
        conf[i] = confidences[i];
    }
    ConfidenceFilterParams params{1, 0, 20, 4600};
    f.decoder.SetConfidenceFilterParams(params);
    f.decoder.ConfidenceFilter(*f.depth, *f.ir, *f.confidence);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(depth[i], expected[i]) << "confidence " << confidences[i];
    }
}

TEST(TofDecodeTest, RejectsBlocksThatAreUnknownMisSizedOrLargerThanTheirFrame)
{
    orvtest::LoggedHome home;
    DecoderFixture f;
    // IR alone, depth a byte short, an unknown range, and a header announcing a full block in a frame that
    // holds only part of it.
    const std::tuple<uint8_t, uint32_t, uint8_t, size_t> rows[] = {
        {0xB4, 614400, 0, 0}, {0xB3, 614399, 0, 0}, {0xB6, 1536000, 7, 0}, {0xB6, 1536000, 1, 1000}};
    for (const auto &[typeId, length, range, kept] : rows) {
        auto block = MakeBlock(typeId, length, range, [](size_t) { return uint8_t(1); });
        block.resize(kept != 0 ? kept : block.size());
        const uint64_t before = f.decoder.GetRejectedBlockCount();
        EXPECT_EQ(f.Decode(block), 0u) << int(typeId) << " " << length;
        EXPECT_EQ(f.decoder.GetRejectedBlockCount(), before + 1) << int(typeId) << " " << length;
    }
    std::vector<uint8_t> tiny(3, 0xB1);
    EXPECT_EQ(f.Decode(tiny), 0u);
}

TEST(TofDecodeTest, WdrFusionRecoversDepthBeyondTheShortRangeWrap)
{
    RecordingRefine refine;
    DecoderFixture f(&refine);
    f.decoder.SetConfidenceFilterEnable(false);
    f.decoder.SetDataMode(9);
    DualFreqMode mode{2, {5, 0, 0}};
    f.decoder.SetDualFreqMode(mode);
    // The scene: 3 m everywhere (beyond range 0's 1.25 m wrap), except a first row that returns no light
    // in the long-range frame.
    const double trueMm = 3000.0;
    auto farFrame = MakeRawBlock(0xB9, 5, [&](size_t p) {
        return PixelTruth{trueMm, p < 640 ? 0.0 : 1500.0};
    });
    bool deliver = true;
    ASSERT_EQ(f.Decode(farFrame, &deliver), farFrame.size());
    EXPECT_FALSE(deliver) << "a first-range sub-frame only becomes the reference";

    auto nearFrame = MakeRawBlock(0xB9, 0, [&](size_t) { return PixelTruth{trueMm, 1500.0}; });
    ASSERT_EQ(f.Decode(nearFrame, &deliver), nearFrame.size());
    EXPECT_TRUE(deliver);
    EXPECT_EQ(f.DepthAt(5), 0) << "no reference, no depth";
    for (size_t p : {size_t(640), size_t(5000), size_t(300000)}) {
        // Range 0's precision, plus the whole-millimetre wrap distance used for each of the two turns.
        EXPECT_NEAR(f.DepthAt(p), trueMm, ToleranceMm(0) + 2 * 0.2) << p;
    }
}
