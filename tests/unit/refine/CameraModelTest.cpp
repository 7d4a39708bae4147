// SPDX-License-Identifier: Apache-2.0
// Tests of the lens model (projection and its inverse, validity, undistorted intrinsics, the undistortion
// maps' agreement with it) and of the one colour geometry rule.
#include "CameraModel.h"
#include "TestLenses.h"
#include "Undistorter.h"
#include "refine/ColorGeometry.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

namespace refine {
namespace {

using namespace testing;

TEST(CameraModelTest, UndistortedViewKeepsCentreAndAspectFillsTheImageAndUnprojectAndTheMapsFollowTheLens)
{
    // The last lens turns back into the image for rays far beyond it (about 9 times the corner's).
    const Pinhole centred = TestLens().pinhole;
    const LensModel turnsBack{centred, 0.406282, 0.696797, 0.0, 0.0, -0.0799427, 1.99484, -1.45666, 0.887265};
    for (const LensModel &lens : {TestLens(), TestLens(318.5, 243.2), RationalLens(), turnsBack}) {
        SCOPED_TRACE(::testing::Message() << "k1 " << lens.k1 << ", cx " << lens.pinhole.cx);
        Pinhole view;
        ASSERT_TRUE(UndistortedPinhole(lens, kTofWidth, kTofHeight, view));
        EXPECT_EQ(view.cx, lens.pinhole.cx);
        EXPECT_EQ(view.cy, lens.pinhole.cy);
        EXPECT_NEAR(view.fx / view.fy, lens.pinhole.fx / lens.pinhole.fy, 1e-12);
        // Every border pixel of the view fetches from inside the sensor image, one from its very edge.
        const double right = kTofWidth - 1.0, bottom = kTofHeight - 1.0;
        double closest = std::numeric_limits<double>::max();
        const auto fetch = [&](double u, double v) {
            double su = 0.0, sv = 0.0;
            ASSERT_TRUE(ProjectPixel(lens, view, u, v, su, sv));
            ASSERT_TRUE(su >= 0.0 && su <= right && sv >= 0.0 && sv <= bottom) << u << ", " << v;
            closest = std::min({closest, su, right - su, sv, bottom - sv});
        };
        for (double i = 0.0; i <= std::max(right, bottom); ++i) {
            fetch(std::min(i, right), 0.0);
            fetch(std::min(i, right), bottom);
            fetch(0.0, std::min(i, bottom));
            fetch(right, std::min(i, bottom));
        }
        EXPECT_LE(closest, 0.01);
        // 10,000 pixels spanning the view, so that their rays cover the sensor image: Unproject returns
        // each ray, and the fixed-point maps built for the view send each pixel where the lens does.
        Undistorter undistorter;
        ASSERT_TRUE(undistorter.Prepare(lens, kTofWidth, kTofHeight));
        ASSERT_EQ(std::memcmp(&undistorter.Target(), &view, sizeof view), 0);
        double worst = 0.0;
        for (int i = 0; i < 10000; ++i) {
            const int u = i % 100 * (kTofWidth - 1) / 99, v = i / 100 * (kTofHeight - 1) / 99;
            const double x = (u - view.cx) / view.fx, y = (v - view.cy) / view.fy;
            double su = 0.0, sv = 0.0, rx = 0.0, ry = 0.0;
            ASSERT_TRUE(lens.Project(x, y, su, sv));
            ASSERT_TRUE(lens.Unproject(su, sv, rx, ry)) << su << ", " << sv;
            ASSERT_NEAR(rx, x, 1e-6);
            ASSERT_NEAR(ry, y, 1e-6);
            const cv::Vec2s whole = undistorter.MapXY().at<cv::Vec2s>(v, u);
            const int fraction = undistorter.MapFraction().at<uint16_t>(v, u);
            worst = std::max(
                {worst, std::fabs(whole[0] + double(fraction % cv::INTER_TAB_SIZE) / cv::INTER_TAB_SIZE - su),
                 std::fabs(whole[1] + double(fraction / cv::INTER_TAB_SIZE) / cv::INTER_TAB_SIZE - sv)});
        }
        EXPECT_LE(worst, 0.05);
    }
}

TEST(CameraModelTest, UnusableLensesAreInvalidAndHaveNoUndistortedViewAndAPlainLensKeepsItsOwnBitForBit)
{
    const LensModel plain{Pinhole{517.123456789, 519.987654321, 318.77, 241.31}};
    Pinhole view;
    ASSERT_TRUE(UndistortedPinhole(plain, kTofWidth, kTofHeight, view));
    EXPECT_EQ(std::memcmp(&view, &plain.pinhole, sizeof view), 0);
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    const struct
    {
        const char *name;
        double k1, k2, k3, k4, fx;
        uint32_t width, height;
        bool valid;
    } rows[] = {
        {"test lens", -0.25, 0.08, -0.01, 0.0, 520.0, 640, 480, true},
        {"k1 -0.9 folds back inside 640x480", -0.9, 0.08, -0.01, 0.0, 520.0, 640, 480, false},
        {"k1 -0.9 is monotonic over a small centre crop", -0.9, 0.08, -0.01, 0.0, 520.0, 160, 120, true},
        {"k1 -0.9 over a wide image", -0.9, 0.08, -0.01, 0.0, 520.0, 1280, 480, false},
        // Numerator and denominator vanish together, so the radius stays monotonic up to the pole.
        {"denominator crosses zero inside the image", -2.0, 0.0, 0.0, -2.0, 520.0, 640, 480, false},
        {"NaN coefficient", -0.25, nan, -0.01, 0.0, 520.0, 640, 480, false},
        {"infinite coefficient", -0.25, 0.08, -0.01, inf, 520.0, 640, 480, false},
        {"zero focal length", -0.25, 0.08, -0.01, 0.0, 0.0, 640, 480, false},
        {"zero width", -0.25, 0.08, -0.01, 0.0, 520.0, 0, 480, false},
    };
    for (const auto &row : rows) {
        const Pinhole pinhole{row.fx, 520.0, row.width / 2.0, row.height / 2.0};
        const LensModel lens{pinhole, row.k1, row.k2, 0.001, -0.0015, row.k3, row.k4};
        EXPECT_EQ(lens.IsValid(row.width, row.height), row.valid) << row.name;
        const Pinhole untouched{1.0, 2.0, 3.0, 4.0}; // a refusal leaves the view as it was
        view = untouched;
        EXPECT_EQ(UndistortedPinhole(lens, row.width, row.height, view), row.valid) << row.name;
        EXPECT_TRUE(row.valid || std::memcmp(&view, &untouched, sizeof view) == 0) << row.name;
    }
}

TEST(ColorGeometryTest, CropAndScaleFromTheCalibrationImage)
{
    // Calibration fx = fy = 1500 at the centre (960, 540) of 1920x1080.
    const std::tuple<uint32_t, uint32_t, double, double, double> rows[] = {
        {1920, 1080, 1500.0, 960.0, 540.0},
        {1280, 720, 1000.0, 640.0, 360.0},        // 2/3
        {640, 480, 1500.0 * 4 / 9, 320.0, 240.0}, // the 4:3 crop: (960 - 240) * 4/9
        {640, 360, 500.0, 320.0, 180.0},          // 1/3
        {1600, 1200, 1500.0 * 10 / 9, 800.0, 600.0},
        {480, 640, 1500.0 * 640 / 1080, 240.0, 320.0}, // portrait: full height, centred
    };
    for (const auto &[width, height, fx, cx, cy] : rows) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height);
        double k[9] = {1500.0, 0.0, 960.0, 0.0, 1500.0, 540.0, 0.0, 0.0, 1.0};
        ASSERT_TRUE(ScaleColorIntrinsic(k, width, height));
        EXPECT_NEAR(k[0], fx, 1e-9);
        EXPECT_NEAR(k[4], fx, 1e-9);
        EXPECT_NEAR(k[2], cx, 1e-9);
        EXPECT_NEAR(k[5], cy, 1e-9);
    }
    double k[9] = {};
    EXPECT_FALSE(ScaleColorIntrinsic(k, 0, 480));
    EXPECT_FALSE(ScaleColorIntrinsic(nullptr, 640, 480));
}

} // namespace
} // namespace refine
