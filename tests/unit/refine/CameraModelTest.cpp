// SPDX-License-Identifier: Apache-2.0
// Tests of the lens model (projection and its inverse, validity, undistorted intrinsics) and of the one
// colour geometry rule.
#include "CameraModel.h"
#include "TestLenses.h"
#include "refine/ColorGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace refine {
namespace {

using testing::kTofHeight;
using testing::kTofWidth;

struct NamedLens
{
    const char *name;
    LensModel lens;
};

const NamedLens kLenses[] = {
    {"centred", testing::TestLens()},
    {"off-centre", testing::TestLens(318.5, 243.2)},
    {"rational", testing::RationalLens()},
};

TEST(CameraModelTest, UnprojectInvertsProjectOverTheImage)
{
    for (const NamedLens &l : kLenses) {
        SCOPED_TRACE(l.name);
        ASSERT_TRUE(l.lens.IsValid(kTofWidth, kTofHeight));
        Pinhole view;
        ASSERT_TRUE(UndistortedPinhole(l.lens, kTofWidth, kTofHeight, view));
        // 100 x 100 rays spanning the undistorted view, so their pixels cover the sensor image.
        for (int i = 0; i < 100; ++i) {
            for (int j = 0; j < 100; ++j) {
                const double x = (i * (kTofWidth - 1) / 99.0 - view.cx) / view.fx;
                const double y = (j * (kTofHeight - 1) / 99.0 - view.cy) / view.fy;
                double u = 0.0, v = 0.0, rx = 0.0, ry = 0.0;
                ASSERT_TRUE(l.lens.Project(x, y, u, v));
                ASSERT_TRUE(l.lens.Unproject(u, v, rx, ry)) << u << ", " << v;
                ASSERT_NEAR(rx, x, 1e-6);
                ASSERT_NEAR(ry, y, 1e-6);
            }
        }
    }
}

TEST(CameraModelTest, UndistortedPinholeKeepsCentreAndAspectAndLeavesNoEmptyBorder)
{
    for (const NamedLens &l : kLenses) {
        SCOPED_TRACE(l.name);
        const Pinhole &k = l.lens.pinhole;
        Pinhole view;
        ASSERT_TRUE(UndistortedPinhole(l.lens, kTofWidth, kTofHeight, view));
        EXPECT_EQ(view.cx, k.cx);
        EXPECT_EQ(view.cy, k.cy);
        EXPECT_NEAR(view.fx / view.fy, k.fx / k.fy, 1e-12);
        const double right = kTofWidth - 1.0;
        const double bottom = kTofHeight - 1.0;
        double closest = std::numeric_limits<double>::max();
        const auto check = [&](double u, double v) {
            double su = 0.0, sv = 0.0;
            ASSERT_TRUE(l.lens.Project((u - view.cx) / view.fx, (v - view.cy) / view.fy, su, sv));
            EXPECT_TRUE(su >= 0.0 && su <= right && sv >= 0.0 && sv <= bottom) << u << ", " << v;
            closest = std::min({closest, su, right - su, sv, bottom - sv});
        };
        for (double u = 0.0; u <= right; ++u) {
            check(u, 0.0);
            check(u, bottom);
        }
        for (double v = 0.0; v <= bottom; ++v) {
            check(0.0, v);
            check(right, v);
        }
        EXPECT_LE(closest, 0.01);
    }
}

TEST(CameraModelTest, UndistortedPinholeWithoutDistortionIsBitForBitAndRefusesBadLenses)
{
    LensModel plain;
    plain.pinhole = Pinhole{517.123456789, 519.987654321, 318.77, 241.31};
    Pinhole view;
    ASSERT_TRUE(UndistortedPinhole(plain, kTofWidth, kTofHeight, view));
    EXPECT_EQ(std::memcmp(&view, &plain.pinhole, sizeof view), 0);

    LensModel folded = testing::TestLens();
    folded.k1 = -0.9;
    const Pinhole untouched{1.0, 2.0, 3.0, 4.0};
    view = untouched;
    EXPECT_FALSE(UndistortedPinhole(folded, kTofWidth, kTofHeight, view));
    EXPECT_FALSE(UndistortedPinhole(testing::TestLens(), 0, kTofHeight, view));
    EXPECT_EQ(std::memcmp(&view, &untouched, sizeof view), 0);
}

TEST(CameraModelTest, IsValidRefusesUnusableCoefficients)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Row
    {
        const char *name;
        double k1, k2, k3, k4;
        uint32_t width, height;
        bool valid;
    };
    const Row rows[] = {
        {"test lens", -0.25, 0.08, -0.01, 0.0, 640, 480, true},
        {"k1 -0.9 folds back inside 640x480", -0.9, 0.08, -0.01, 0.0, 640, 480, false},
        {"k1 -0.9 is monotonic over a small centre crop", -0.9, 0.08, -0.01, 0.0, 160, 120, true},
        {"k1 -0.9 over a wide image", -0.9, 0.08, -0.01, 0.0, 1280, 480, false},
        // Numerator and denominator vanish together, so the radius stays monotonic up to the pole.
        {"denominator crosses zero inside the image", -2.0, 0.0, 0.0, -2.0, 640, 480, false},
        {"NaN coefficient", -0.25, nan, -0.01, 0.0, 640, 480, false},
        {"infinite coefficient", -0.25, 0.08, -0.01, inf, 640, 480, false},
        {"zero width", -0.25, 0.08, -0.01, 0.0, 0, 480, false},
    };
    for (const Row &row : rows) {
        LensModel lens = testing::TestLens(row.width / 2.0, row.height / 2.0);
        lens.k1 = row.k1;
        lens.k2 = row.k2;
        lens.k3 = row.k3;
        lens.k4 = row.k4;
        EXPECT_EQ(lens.IsValid(row.width, row.height), row.valid) << row.name;
    }
    LensModel noFocal = testing::TestLens();
    noFocal.pinhole.fx = 0.0;
    EXPECT_FALSE(noFocal.IsValid(640, 480));
}

TEST(ColorGeometryTest, CropAndScaleFromTheCalibrationImage)
{
    struct Row
    {
        uint32_t width, height;
        double fx, cx, cy;
    };
    // Calibration fx = fy = 1500 at the centre (960, 540) of 1920x1080.
    const Row rows[] = {
        {1920, 1080, 1500.0, 960.0, 540.0},
        {1280, 720, 1000.0, 640.0, 360.0},        // 2/3
        {640, 480, 1500.0 * 4 / 9, 320.0, 240.0}, // the 4:3 crop: (960 - 240) * 4/9
        {640, 360, 500.0, 320.0, 180.0},          // 1/3
        {1600, 1200, 1500.0 * 10 / 9, 800.0, 600.0},
        {480, 640, 1500.0 * 640 / 1080, 240.0, 320.0}, // portrait: full height, centred
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << row.width << "x" << row.height);
        double k[9] = {1500.0, 0.0, 960.0, 0.0, 1500.0, 540.0, 0.0, 0.0, 1.0};
        ASSERT_TRUE(ScaleColorIntrinsic(k, row.width, row.height));
        EXPECT_NEAR(k[0], row.fx, 1e-9);
        EXPECT_NEAR(k[4], row.fx, 1e-9);
        EXPECT_NEAR(k[2], row.cx, 1e-9);
        EXPECT_NEAR(k[5], row.cy, 1e-9);
        EXPECT_EQ(k[8], 1.0);
    }
    // An off-centre principal point moves with the crop: (1000 - 240) * 4/9, (500 - 0) * 4/9.
    double k[9] = {1500.0, 0.0, 1000.0, 0.0, 1500.0, 500.0, 0.0, 0.0, 1.0};
    ASSERT_TRUE(ScaleColorIntrinsic(k, 640, 480));
    EXPECT_NEAR(k[2], 760.0 * 4 / 9, 1e-9);
    EXPECT_NEAR(k[5], 500.0 * 4 / 9, 1e-9);
    EXPECT_FALSE(ScaleColorIntrinsic(k, 0, 480));
    EXPECT_FALSE(ScaleColorIntrinsic(nullptr, 640, 480));
}

} // namespace
} // namespace refine
