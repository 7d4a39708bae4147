// SPDX-License-Identifier: Apache-2.0
// Tests of the undistortion maps: agreement with the lens model, straight lines, carried (never
// blended) values, exact shifts without distortion, rebuilding, and refused input.
#include "Undistorter.h"
#include "CameraModel.h"
#include "TestLenses.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace refine {
namespace {

using testing::kTofHeight;
using testing::kTofWidth;
constexpr size_t kPixels = size_t{kTofWidth} * kTofHeight;

/// Depth, IR (8- and 16-bit) and confidence images with distinct values, 0 and 65535 among the depths.
struct TofImages
{
    std::vector<uint16_t> depth, ir16, confidence;
    std::vector<uint8_t> ir8;
    TofImages() : depth(kPixels), ir16(kPixels), confidence(kPixels), ir8(kPixels)
    {
        for (size_t i = 0; i < kPixels; ++i) {
            depth[i] = i % 3 == 0 ? 0 : i % 3 == 1 ? 65535 : uint16_t(1 + i % 65000);
            ir16[i] = uint16_t(i * 7 % 4093);
            confidence[i] = uint16_t(i % 65521);
            ir8[i] = uint8_t(i * 13 % 251);
        }
    }
};

/// The source pixel a target pixel must take by the model, or false where it is ambiguous (within a
/// fixed-point step of half a pixel) or a bilinear map would not be exact.
bool ModelSource(const LensModel &lens, const Pinhole &target, uint32_t u, uint32_t v, long &su, long &sv)
{
    double x = 0.0, y = 0.0;
    if (!lens.Project((u - target.cx) / target.fx, (v - target.cy) / target.fy, x, y)) {
        return false;
    }
    const auto nearHalf = [](double c) { return std::fabs(c - std::floor(c) - 0.5) < 0.04; };
    su = std::lround(x);
    sv = std::lround(y);
    return !nearHalf(x) && !nearHalf(y);
}

TEST(UndistorterTest, FixedPointMapsAgreeWithTheModel)
{
    for (const LensModel &lens : {testing::TestLens(318.5, 243.2), testing::RationalLens()}) {
        Undistorter undistorter;
        ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight));
        const Pinhole &t = undistorter.Target();
        double worst = 0.0;
        for (int i = 0; i < 100; ++i) {
            for (int j = 0; j < 100; ++j) {
                const int u = i * int(kTofWidth - 1) / 99;
                const int v = j * int(kTofHeight - 1) / 99;
                const cv::Vec2s whole = undistorter.MapXY().at<cv::Vec2s>(v, u);
                const int fraction = undistorter.MapFraction().at<uint16_t>(v, u);
                const double mx = whole[0] + double(fraction % cv::INTER_TAB_SIZE) / cv::INTER_TAB_SIZE;
                const double my = whole[1] + double(fraction / cv::INTER_TAB_SIZE) / cv::INTER_TAB_SIZE;
                double x = 0.0, y = 0.0;
                ASSERT_TRUE(lens.Project((u - t.cx) / t.fx, (v - t.cy) / t.fy, x, y));
                worst = std::max({worst, std::fabs(mx - x), std::fabs(my - y)});
            }
        }
        EXPECT_LE(worst, 0.05);
    }
}

TEST(UndistorterTest, NearestCarriesTheModelsSourcePixelUnblendedAndZeroOutside)
{
    const LensModel lens = testing::TestLens(318.5, 243.2);
    Pinhole target;
    ASSERT_TRUE(UndistortedPinhole(lens, kTofWidth, kTofHeight, target));
    target.fx *= 0.8; // a wider view than the sensor sees: its corners fall outside
    target.fy *= 0.8;
    Undistorter undistorter;
    ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight, target));
    const TofImages in;
    for (bool all : {true, false}) {
        SCOPED_TRACE(all ? "depth, 8-bit IR, confidence" : "depth and 16-bit IR");
        TofImages out;
        ASSERT_TRUE(undistorter.ApplyNearest(out.depth.data(), all ? (void *)out.ir8.data() : out.ir16.data(),
                                             all, all ? out.confidence.data() : nullptr, kTofWidth,
                                             kTofHeight));
        size_t outside = 0;
        for (uint32_t v = 0; v < kTofHeight; ++v) {
            for (uint32_t u = 0; u < kTofWidth; ++u) {
                long su = 0, sv = 0;
                if (!ModelSource(lens, target, u, v, su, sv)) {
                    continue;
                }
                const size_t i = size_t{v} * kTofWidth + u;
                const bool inside = su >= 0 && su < long(kTofWidth) && sv >= 0 && sv < long(kTofHeight);
                const size_t s = inside ? size_t(sv) * kTofWidth + size_t(su) : 0;
                outside += inside ? 0 : 1;
                ASSERT_EQ(out.depth[i], inside ? in.depth[s] : 0) << u << ", " << v;
                if (all) {
                    ASSERT_EQ(out.ir8[i], inside ? in.ir8[s] : 0);
                    ASSERT_EQ(out.confidence[i], inside ? in.confidence[s] : 0);
                } else {
                    ASSERT_EQ(out.ir16[i], inside ? in.ir16[s] : 0);
                    ASSERT_EQ(out.confidence[i], in.confidence[i]); // not passed: untouched
                }
            }
        }
        EXPECT_GT(outside, 0u);
    }
}

TEST(UndistorterTest, WithoutDistortionImagesAreUnchangedOrShiftedExactly)
{
    LensModel plain;
    plain.pinhole = Pinhole{520.0, 520.0, 320.0, 240.0};
    Undistorter undistorter;
    ASSERT_TRUE(undistorter.Prepare(plain, kTofWidth, kTofHeight));
    TofImages images;
    std::vector<uint8_t> colour(kPixels * 3);
    for (size_t i = 0; i < colour.size(); ++i) {
        colour[i] = uint8_t(i * 31 % 256);
    }
    const TofImages in;
    const std::vector<uint8_t> colourIn = colour;
    ASSERT_TRUE(undistorter.ApplyNearest(images.depth.data(), images.ir16.data(), false,
                                         images.confidence.data(), kTofWidth, kTofHeight));
    ASSERT_TRUE(undistorter.ApplyBilinear(colour.data(), kTofWidth, kTofHeight));
    EXPECT_TRUE(in.depth == images.depth && in.ir16 == images.ir16 && in.confidence == images.confidence);
    EXPECT_TRUE(colour == colourIn);

    // A target two pixels to the right of the lens: every pixel takes its left neighbour's neighbour.
    ASSERT_TRUE(undistorter.Prepare(plain, kTofWidth, kTofHeight, Pinhole{520.0, 520.0, 322.0, 240.0}));
    ASSERT_TRUE(
        undistorter.ApplyNearest(images.depth.data(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    ASSERT_TRUE(undistorter.ApplyBilinear(colour.data(), kTofWidth, kTofHeight));
    for (size_t i = 0; i < kPixels; ++i) {
        const bool shifted = i % kTofWidth >= 2;
        ASSERT_EQ(images.depth[i], shifted ? in.depth[i - 2] : 0);
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_EQ(colour[i * 3 + c], shifted ? colourIn[(i - 2) * 3 + c] : 0);
        }
    }
}

TEST(UndistorterTest, BilinearInPlaceEqualsRemapIntoAnotherImage)
{
    // Targets whose rows read far below and far above their own, and a wider view than the sensor's.
    const LensModel lens = testing::RationalLens();
    Pinhole view;
    ASSERT_TRUE(UndistortedPinhole(lens, kTofWidth, kTofHeight, view));
    const Pinhole targets[] = {{view.fx, view.fy, view.cx, view.cy - 150.0},
                               {view.fx, view.fy, view.cx, view.cy + 150.0},
                               {view.fx * 0.7, view.fy * 0.7, view.cx, view.cy}};
    cv::Mat colour(int(kTofHeight), int(kTofWidth), CV_8UC3);
    cv::randu(colour, 0, 256);
    for (const Pinhole &target : targets) {
        Undistorter undistorter;
        ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight, target));
        cv::Mat expected;
        cv::remap(colour, expected, undistorter.MapXY(), undistorter.MapFraction(), cv::INTER_LINEAR,
                  cv::BORDER_CONSTANT);
        cv::Mat image = colour.clone();
        ASSERT_TRUE(undistorter.ApplyBilinear(image.data, kTofWidth, kTofHeight));
        EXPECT_EQ(cv::norm(image, expected, cv::NORM_INF), 0.0) << target.cy;
    }
}

TEST(UndistorterTest, StraightLinesOfTheSceneAreStraightAfterUndistortion)
{
    const LensModel lens = testing::TestLens(318.5, 243.2);
    Undistorter undistorter;
    ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight));
    const Pinhole &t = undistorter.Target();
    // Render a grid seen through the lens: lines every 80 px of the undistorted view, with a
    // triangular profile 4 px wide so that their centres can be found to a fraction of a pixel.
    constexpr double kSpacing = 80.0;
    constexpr double kFirst = 40.0;
    const auto offset = [&](double c) { return c - kFirst - kSpacing * std::round((c - kFirst) / kSpacing); };
    const auto profile = [&](double c) { return std::max(0.0, 1.0 - std::fabs(offset(c)) / 2.0); };
    std::vector<uint16_t> depth(kPixels, 0);
    for (uint32_t v = 0; v < kTofHeight; ++v) {
        for (uint32_t u = 0; u < kTofWidth; ++u) {
            double x = 0.0, y = 0.0;
            ASSERT_TRUE(lens.Unproject(u, v, x, y));
            const double line = std::max(profile(t.fx * x + t.cx), profile(t.fy * y + t.cy));
            depth[size_t{v} * kTofWidth + u] = uint16_t(std::lround(1000.0 * line));
        }
    }
    ASSERT_TRUE(undistorter.ApplyNearest(depth.data(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    // Along every vertical line, away from the crossings, the weighted centre of each row's profile
    // lies on the line where the undistorted view puts it.
    double worst = 0.0;
    size_t rows = 0;
    for (double line = kFirst; line < kTofWidth; line += kSpacing) {
        for (uint32_t v = 0; v < kTofHeight; ++v) {
            if (std::fabs(offset(v)) < 4.0) {
                continue;
            }
            double sum = 0.0, weight = 0.0;
            for (int u = int(line) - 4; u <= int(line) + 4; ++u) {
                const double w = depth[size_t{v} * kTofWidth + size_t(u)];
                sum += w * u;
                weight += w;
            }
            ASSERT_GT(weight, 0.0) << line << ", " << v;
            worst = std::max(worst, std::fabs(sum / weight - line));
            ++rows;
        }
    }
    EXPECT_GT(rows, 3000u);
    EXPECT_LE(worst, 0.6);
}

TEST(UndistorterTest, MapsAreRebuiltOnlyWhenLensSizeOrTargetChange)
{
    LensModel lens = testing::TestLens();
    Undistorter undistorter;
    ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight));
    ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight));
    EXPECT_EQ(undistorter.BuildCount(), 1u);
    ASSERT_TRUE(undistorter.Prepare(lens, 600, 440));
    EXPECT_EQ(undistorter.BuildCount(), 2u);
    EXPECT_EQ(undistorter.MapXY().size(), cv::Size(600, 440));
    std::vector<uint16_t> depth(kPixels, 7);
    EXPECT_FALSE(undistorter.ApplyNearest(depth.data(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    EXPECT_TRUE(undistorter.ApplyNearest(depth.data(), nullptr, false, nullptr, 600, 440));
    lens.k1 = -0.2;
    ASSERT_TRUE(undistorter.Prepare(lens, 600, 440));
    EXPECT_EQ(undistorter.BuildCount(), 3u);
}

TEST(UndistorterTest, BadInputIsRefusedAndNothingIsUndistorted)
{
    Undistorter undistorter;
    std::vector<uint16_t> depth(kPixels, 7);
    std::vector<uint8_t> colour(kPixels * 3, 7);
    EXPECT_FALSE(undistorter.ApplyNearest(depth.data(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    ASSERT_TRUE(undistorter.Prepare(testing::TestLens(), kTofWidth, kTofHeight));
    EXPECT_FALSE(undistorter.ApplyBilinear(nullptr, kTofWidth, kTofHeight));
    EXPECT_TRUE(undistorter.ApplyNearest(nullptr, nullptr, false, nullptr, kTofWidth, kTofHeight));

    LensModel folded = testing::TestLens();
    folded.k1 = -0.9;
    LensModel nan = testing::TestLens();
    nan.k2 = std::nan("");
    EXPECT_FALSE(undistorter.Prepare(folded, kTofWidth, kTofHeight));
    EXPECT_FALSE(undistorter.Prepare(nan, kTofWidth, kTofHeight));
    EXPECT_FALSE(undistorter.Prepare(nan, kTofWidth, kTofHeight)); // remembered, not recomputed
    EXPECT_FALSE(undistorter.Prepare(testing::TestLens(), 0, kTofHeight));
    EXPECT_FALSE(
        undistorter.Prepare(testing::TestLens(), kTofWidth, kTofHeight, Pinhole{0.0, 520.0, 320.0, 240.0}));
    EXPECT_FALSE(undistorter.IsReady());
    EXPECT_EQ(undistorter.BuildCount(), 1u);
    EXPECT_FALSE(undistorter.ApplyNearest(depth.data(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    EXPECT_FALSE(undistorter.ApplyBilinear(colour.data(), kTofWidth, kTofHeight));
    EXPECT_EQ(depth, std::vector<uint16_t>(kPixels, 7));
    EXPECT_EQ(colour, std::vector<uint8_t>(kPixels * 3, 7));
}

} // namespace
} // namespace refine
