// SPDX-License-Identifier: Apache-2.0
// Tests of applying the undistortion maps: carried (never blended) values, exact shifts without
// distortion, in-place colour, rebuilding, and refused input.
#include "Undistorter.h"
#include "CameraModel.h"
#include "TestLenses.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace refine {
namespace {

using namespace testing;
constexpr int kRows = int(kTofHeight);
constexpr int kCols = int(kTofWidth);

cv::Mat Random(int type)
{
    cv::Mat image(kRows, kCols, type);
    cv::randu(image, 0, type == CV_8UC1 || type == CV_8UC3 ? 256 : 65536);
    return image;
}

TEST(UndistorterTest, NearestCarriesTheModelsSourcePixelUnblendedAndZeroOutside)
{
    const LensModel lens = TestLens(318.5, 243.2);
    Pinhole target;
    ASSERT_TRUE(UndistortedPinhole(lens, kTofWidth, kTofHeight, target));
    target.fx *= 0.8; // a wider view than the sensor's: its corners fall outside
    target.fy *= 0.8;
    Undistorter undistorter;
    ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight, target));
    cv::Mat depth = Random(CV_16UC1);
    depth.setTo(0, depth < 20000); // 0 and 65535 among the depths
    depth.setTo(65535, depth > 45000);
    const auto at = [](const cv::Mat &m, int v, int u) {
        return m.type() == CV_8UC1 ? int(m.at<uint8_t>(v, u)) : int(m.at<uint16_t>(v, u));
    };
    // The model's source pixel is not checked within a fixed-point step of a tie.
    const auto nearTie = [](double c) { return std::fabs(c - std::floor(c) - 0.5) < 0.04; };
    for (bool ir8 : {true, false}) {
        SCOPED_TRACE(ir8 ? "depth, 8-bit IR, confidence" : "depth and 16-bit IR");
        const cv::Mat in[3] = {depth, Random(ir8 ? CV_8UC1 : CV_16UC1), Random(CV_16UC1)};
        cv::Mat out[3] = {in[0].clone(), in[1].clone(), in[2].clone()};
        ASSERT_TRUE(undistorter.ApplyNearest(out[0].ptr<uint16_t>(), out[1].data, ir8,
                                             ir8 ? out[2].ptr<uint16_t>() : nullptr, kTofWidth, kTofHeight));
        int outside = 0;
        for (int v = 0; v < kRows; ++v) {
            for (int u = 0; u < kCols; ++u) {
                double x = 0.0, y = 0.0;
                if (!ProjectPixel(lens, target, u, v, x, y) || nearTie(x) || nearTie(y)) {
                    continue;
                }
                const int su = int(std::lround(x)), sv = int(std::lround(y));
                const bool inside = su >= 0 && su < kCols && sv >= 0 && sv < kRows;
                outside += inside ? 0 : 1;
                for (int k = 0; k < (ir8 ? 3 : 2); ++k) {
                    ASSERT_EQ(at(out[k], v, u), inside ? at(in[k], sv, su) : 0)
                        << k << " at " << u << ", " << v;
                }
            }
        }
        EXPECT_GT(outside, 0);
        if (!ir8) {
            EXPECT_EQ(cv::norm(out[2], in[2], cv::NORM_INF), 0.0); // not passed: untouched
        }
    }
}

TEST(UndistorterTest, WithoutDistortionImagesAreUnchangedOrShiftedExactly)
{
    const LensModel plain{Pinhole{520.0, 520.0, 320.0, 240.0}};
    const cv::Mat depthIn = Random(CV_16UC1), colourIn = Random(CV_8UC3);
    Undistorter undistorter;
    // The lens's own view, then a target two pixels to its right: every pixel takes the one two to its left.
    for (int shift : {0, 2}) {
        ASSERT_TRUE(shift == 0 ? undistorter.Prepare(plain, kTofWidth, kTofHeight)
                               : undistorter.Prepare(plain, kTofWidth, kTofHeight,
                                                     Pinhole{520.0, 520.0, 322.0, 240.0}));
        cv::Mat depth = depthIn.clone(), ir = depthIn.clone(), confidence = depthIn.clone(),
                colour = colourIn.clone();
        ASSERT_TRUE(undistorter.ApplyNearest(depth.ptr<uint16_t>(), ir.data, false,
                                             confidence.ptr<uint16_t>(), kTofWidth, kTofHeight));
        ASSERT_TRUE(undistorter.ApplyBilinear(colour.data, kTofWidth, kTofHeight));
        cv::Mat depthOut = cv::Mat::zeros(kRows, kCols, CV_16UC1),
                colourOut = cv::Mat::zeros(kRows, kCols, CV_8UC3);
        depthIn.colRange(0, kCols - shift).copyTo(depthOut.colRange(shift, kCols));
        colourIn.colRange(0, kCols - shift).copyTo(colourOut.colRange(shift, kCols));
        EXPECT_EQ(cv::norm(depth, depthOut, cv::NORM_INF) + cv::norm(ir, depthOut, cv::NORM_INF) +
                      cv::norm(confidence, depthOut, cv::NORM_INF) +
                      cv::norm(colour, colourOut, cv::NORM_INF),
                  0.0);
    }
}

TEST(UndistorterTest, BilinearInPlaceEqualsRemapIntoAnotherImage)
{
    // Targets whose rows read far below and far above their own, and a wider view than the sensor's.
    const LensModel lens = RationalLens();
    Pinhole view;
    ASSERT_TRUE(UndistortedPinhole(lens, kTofWidth, kTofHeight, view));
    const Pinhole targets[] = {{view.fx, view.fy, view.cx, view.cy - 150.0},
                               {view.fx, view.fy, view.cx, view.cy + 150.0},
                               {view.fx * 0.7, view.fy * 0.7, view.cx, view.cy}};
    const cv::Mat colour = Random(CV_8UC3);
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

TEST(UndistorterTest, MapsAreRebuiltOnlyOnChangeAndBadInputIsRefused)
{
    LensModel lens = TestLens();
    const cv::Mat depthIn = Random(CV_16UC1), colourIn = Random(CV_8UC3);
    cv::Mat depth = depthIn.clone(), colour = colourIn.clone();
    Undistorter undistorter;
    EXPECT_FALSE(
        undistorter.ApplyNearest(depth.ptr<uint16_t>(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight));
    ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight));
    EXPECT_EQ(undistorter.BuildCount(), 1u);
    EXPECT_FALSE(undistorter.ApplyBilinear(nullptr, kTofWidth, kTofHeight));
    EXPECT_TRUE(undistorter.ApplyNearest(nullptr, nullptr, false, nullptr, kTofWidth, kTofHeight));
    ASSERT_TRUE(undistorter.Prepare(lens, 600, 440));
    EXPECT_EQ(undistorter.BuildCount(), 2u);
    EXPECT_EQ(undistorter.MapXY().size(), cv::Size(600, 440));
    EXPECT_FALSE(
        undistorter.ApplyNearest(depth.ptr<uint16_t>(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    lens.k1 = -0.2;
    ASSERT_TRUE(undistorter.Prepare(lens, 600, 440));
    EXPECT_EQ(undistorter.BuildCount(), 3u);

    // Refused (which lenses are unusable is the lens model's tests'): then nothing is undistorted, and a
    // repeated refusal is remembered, not recomputed.
    LensModel nan = TestLens();
    nan.k2 = std::nan("");
    EXPECT_FALSE(undistorter.Prepare(nan, kTofWidth, kTofHeight));
    EXPECT_FALSE(undistorter.Prepare(nan, kTofWidth, kTofHeight));
    EXPECT_FALSE(undistorter.IsReady());
    EXPECT_EQ(undistorter.BuildCount(), 3u);
    EXPECT_FALSE(
        undistorter.ApplyNearest(depth.ptr<uint16_t>(), nullptr, false, nullptr, kTofWidth, kTofHeight));
    EXPECT_FALSE(undistorter.ApplyBilinear(colour.data, kTofWidth, kTofHeight));
    EXPECT_EQ(cv::norm(depth, depthIn, cv::NORM_INF) + cv::norm(colour, colourIn, cv::NORM_INF), 0.0);
}

} // namespace
} // namespace refine
