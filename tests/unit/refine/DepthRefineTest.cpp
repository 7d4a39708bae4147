// SPDX-License-Identifier: Apache-2.0
// Tests of the refine library through its entry point: depth range limits, spatial, temporal and IR
// filters, geometry, and the calls it refuses or does not provide.
#include "refine/APIDepthRefine.h"

#include <gtest/gtest.h>
#include <memory>

#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

struct Image16
{
    std::vector<uint16_t> pixels;
    AlgImage image;
    Image16(uint32_t width, uint32_t height, uint16_t value = 0) : pixels(size_t{width} * height, value)
    {
        image = AlgImage{pixels.data(), ALG_16UC1, width, height};
    }
    uint16_t &At(uint32_t x, uint32_t y) { return pixels[size_t{y} * image.width + x]; }
};

class DepthRefineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_owned.reset(Get_APIDepthRefine());
        m_refine = m_owned.get();
        ASSERT_NE(m_refine, nullptr);
    }

    /// Two planes, 1000 mm on the left and 2000 mm on the right, with a fixed +-10 mm noise pattern.
    static Image16 NoisyStep(uint32_t width, uint32_t height)
    {
        Image16 img(width, height);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const int noise = static_cast<int>((x * 7 + y * 13) % 21) - 10;
                img.At(x, y) = static_cast<uint16_t>((x < width / 2 ? 1000 : 2000) + noise);
            }
        }
        return img;
    }

    std::unique_ptr<APIDepthRefine> m_owned;
    APIDepthRefine *m_refine = nullptr;
};

TEST_F(DepthRefineTest, RangeLimitsInvalidateDepthOutsideTheRange)
{
    struct Row
    {
        uint16_t maxMm;
        uint16_t minMm;
        int handle;
        uint16_t in;
        uint16_t out;
    };
    // Handle 1 clamps a pixel beyond the range to the limit; a range of 0 cuts nothing.
    const Row rows[] = {{1000, 0, 0, 999, 999},   {1000, 0, 0, 1000, 1000}, {1000, 0, 0, 1001, 0},
                        {1000, 0, 0, 65535, 0},   {1000, 0, 0, 0, 0},       {1000, 200, 0, 150, 0},
                        {1000, 200, 0, 200, 200}, {1000, 0, 1, 1500, 1000}, {0, 0, 0, 65535, 65535}};
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << row.maxMm << "/" << row.minMm << " h" << row.handle << " " << row.in);
        ASSERT_EQ(m_refine->SetDepthRange(1, row.maxMm, row.minMm), kRefineOk);
        m_refine->SetOutofMaxRangeHandle(row.handle);
        Image16 viaProcess(2, 1, row.in);
        Image16 viaPre(2, 1, row.in);
        EXPECT_EQ(m_refine->ProcessDepth(&viaProcess.image, false), kRefineOk);
        EXPECT_EQ(m_refine->PreFilterDepth(&viaPre.image), kRefineOk);
        EXPECT_EQ(viaProcess.pixels[0], row.out);
        EXPECT_EQ(viaPre.pixels[1], row.out);
    }
    EXPECT_EQ(m_refine->SetDepthRange(1, 100, 200), kRefineInvalidArgument);
}

TEST_F(DepthRefineTest, SpatialFilterSmoothsNoiseKeepsTheStepAndNeverSpreadsHoles)
{
    Image16 depth = NoisyStep(32, 16);
    const std::vector<std::pair<uint32_t, uint32_t>> holes = {{5, 5}, {15, 8}, {16, 8}, {0, 0}};
    for (auto [x, y] : holes) {
        depth.At(x, y) = 0;
    }
    const auto truth = [](uint32_t x) { return x < 16 ? 1000 : 2000; };
    const auto errorSum = [&](Image16 &img) {
        long sum = 0;
        for (uint32_t y = 0; y < 16; ++y) {
            for (uint32_t x = 0; x < 32; ++x) {
                if (img.At(x, y) != 0) {
                    sum += std::abs(int{img.At(x, y)} - truth(x));
                }
            }
        }
        return sum;
    };
    const long before = errorSum(depth);
    ASSERT_EQ(m_refine->SetSmoothingFilterEnabled(true), kRefineOk);
    ASSERT_EQ(m_refine->ProcessDepth(&depth.image, false), kRefineOk);
    EXPECT_LT(errorSum(depth), before * 7 / 10);

    size_t zeros = 0;
    for (uint32_t y = 0; y < 16; ++y) {
        for (uint32_t x = 0; x < 32; ++x) {
            const uint16_t d = depth.At(x, y);
            zeros += d == 0 ? 1 : 0;
            if (d != 0) {
                // Each side keeps its own plane: no value from across the edge or from a hole.
                EXPECT_LE(std::abs(int{d} - truth(x)), 10) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(zeros, holes.size());
    for (auto [x, y] : holes) {
        EXPECT_EQ(depth.At(x, y), 0);
    }
}

TEST_F(DepthRefineTest, TemporalFilterConvergesAndResetsOnALargeChange)
{
    ASSERT_EQ(m_refine->SetTimeFilterEnabled(true, 50, 4, 0, 0), kRefineOk);
    Image16 frame(4, 2, 1000);
    ASSERT_EQ(m_refine->ProcessDepth(&frame.image, false), kRefineOk);
    EXPECT_EQ(frame.pixels[0], 1000);

    uint16_t previous = 1000;
    for (int i = 0; i < 30; ++i) {
        Image16 next(4, 2, 1020);
        next.At(3, 1) = 0;
        ASSERT_EQ(m_refine->ProcessDepth(&next.image, false), kRefineOk);
        EXPECT_GE(next.pixels[0], previous); // moves towards the new value, never past it
        EXPECT_LE(next.pixels[0], 1020);
        EXPECT_EQ(next.At(3, 1), 0); // an invalid pixel stays invalid
        previous = next.pixels[0];
        if (i == 0) {
            EXPECT_EQ(next.pixels[0], 1005); // a quarter of the way
        }
    }
    EXPECT_EQ(previous, 1020);

    Image16 jump(4, 2, 1500);
    ASSERT_EQ(m_refine->ProcessDepth(&jump.image, false), kRefineOk);
    EXPECT_EQ(jump.pixels[0], 1500);

    Image16 last(4, 2);
    EXPECT_EQ(m_refine->GetOnlyTimeFilterDepth(&last.image), kRefineOk);
    EXPECT_EQ(last.pixels, jump.pixels);
    Image16 tooSmall(2, 2);
    EXPECT_EQ(m_refine->GetOnlyTimeFilterDepth(&tooSmall.image), kRefineInvalidArgument);

    ASSERT_EQ(m_refine->SetTimeFilterEnabled(false, 50, 4, 0, 0), kRefineOk);
    Image16 off(4, 2, 1510);
    ASSERT_EQ(m_refine->ProcessDepth(&off.image, false), kRefineOk);
    EXPECT_EQ(off.pixels[0], 1510);
}

TEST_F(DepthRefineTest, FlyingPixelAndIrFiltersRemoveIsolatedSpecks)
{
    Image16 depth(5, 5, 1000);
    depth.At(2, 2) = 3000;
    m_refine->SetFlyingPixelFilterParams(TfFlyingPixelFilterParams{100, 1});
    ASSERT_EQ(m_refine->PostFilterDepth(&depth.image), kRefineOk);
    EXPECT_EQ(depth.At(2, 2), 0);
    EXPECT_EQ(depth.At(1, 2), 1000);

    Image16 ir(5, 5, 400);
    ir.At(2, 2) = 4000;
    m_refine->SetSmoothingFilterEnabled(true);
    ASSERT_EQ(m_refine->FilterIrImage(&ir.image), kRefineOk);
    EXPECT_EQ(ir.At(2, 2), 400);
}

TEST_F(DepthRefineTest, RefusesNullAndInconsistentImages)
{
    std::vector<uint16_t> data(16, 500);
    AlgImage good{data.data(), ALG_16UC1, 4, 4};
    AlgImage noData{nullptr, ALG_16UC1, 4, 4};
    AlgImage zeroWidth{data.data(), ALG_16UC1, 0, 4};
    AlgImage badType{data.data(), static_cast<ALG_ElemType>(7), 4, 4};
    AlgImage huge{data.data(), ALG_16UC1, 100000, 100000};
    AlgImage colour{data.data(), ALG_8UC3, 2, 2};
    for (AlgImage *bad : {static_cast<AlgImage *>(nullptr), &noData, &zeroWidth, &badType, &huge}) {
        AlgImage copy = bad != nullptr ? *bad : AlgImage{};
        AlgImage *arg = bad != nullptr ? &copy : nullptr;
        EXPECT_EQ(m_refine->PreFilterDepth(arg), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->PostFilterDepth(arg), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->ProcessDepth(arg, false), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->FilterIrImage(arg), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Rotate(arg, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Mirror(arg, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Resize(arg, 2, 2, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->Crop(arg, 0, 0, 1, 1), kRefineInvalidArgument);
        EXPECT_EQ(m_refine->GetOnlyTimeFilterDepth(arg), kRefineInvalidArgument);
    }
    // Depth filters want 16-bit depth; geometry wants codes and rectangles it knows.
    EXPECT_EQ(m_refine->ProcessDepth(&colour, false), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Rotate(&good, 3), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Rotate(&good, -255), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Mirror(&good, 2), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Resize(&good, 0, 2, 1), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Crop(&good, 3, 0, 2, 1), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->Crop(&good, 0, 0xFFFFFFFFu, 1, 2), kRefineInvalidArgument);
    EXPECT_EQ(good.width, 4u);
    EXPECT_EQ(data, std::vector<uint16_t>(16, 500));
    EXPECT_EQ(m_refine->GetSpatialFilterParams(nullptr), kRefineInvalidArgument);
}

TEST_F(DepthRefineTest, OperationsNotProvidedNeverClaimSuccess)
{
    std::vector<uint16_t> data(16, 500);
    AlgImage d{data.data(), ALG_16UC1, 4, 4};
    double intrinsic[9] = {500, 0, 320, 0, 500, 240, 0, 0, 1};
    const double distortion[8] = {};
    TfVector2u16 point{7, 8};
    const int results[] = {m_refine->MapDepthToColor(&d, &d, &d),
                           m_refine->MapColorToDepth(&d, &d, &d),
                           m_refine->MapIrToColor(&d, &d, &d, &d),
                           m_refine->MapDepthIrToColor(&d, &d, &d, &d, &d),
                           m_refine->GetMappedPointDepthToRGB(TfDepthVector3{}, TfVector2u16{}, &point),
                           m_refine->ComputeUndistortedIntrinsic(intrinsic, distortion, 640, 480),
                           m_refine->SetApplyToFDistortionEnabled(true, 0),
                           m_refine->SetApplyRGBDistortionEnabled(true),
                           m_refine->SetApplyRGBCorrectionEnabled(true)};
    for (size_t i = 0; i < std::size(results); ++i) {
        EXPECT_EQ(results[i], kRefineNotSupported) << "call " << i;
    }
    // Switching an unsupported correction off is harmless, and with it off colour passes unchanged.
    EXPECT_EQ(m_refine->SetApplyToFDistortionEnabled(false, 0), kRefineOk);
    std::vector<uint8_t> rgb(4 * 2 * 3, 77);
    AlgImage colour{rgb.data(), ALG_8UC3, 4, 2};
    EXPECT_EQ(m_refine->ProcessColor(&colour), kRefineOk);
    EXPECT_EQ(rgb, std::vector<uint8_t>(24, 77));
    EXPECT_EQ(m_refine->ProcessColor(&d), kRefineInvalidArgument);
    EXPECT_EQ(m_refine->ProcessColor(nullptr), kRefineInvalidArgument);
}

} // namespace
