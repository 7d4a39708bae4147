// SPDX-License-Identifier: Apache-2.0
// Tests of the simulated colour sensor without sockets: where the colour camera sees the scene (its
// scaled intrinsics and the ToF-to-colour extrinsics, projected here the textbook way) and the lens
// sizes the camera refuses.
#include "SimColorEncoder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Pixel
{
    uint8_t r;
    uint8_t g;
    uint8_t b;
    bool operator==(const Pixel &o) const { return r == o.r && g == o.g && b == o.b; }
};

Pixel At(const std::vector<uint8_t> &rgb, int width, int u, int v)
{
    const size_t i = (static_cast<size_t>(v) * width + u) * 3;
    return Pixel{rgb.at(i), rgb.at(i + 1), rgb.at(i + 2)};
}

const Pixel kBackground{SimColorEncoder::kBackground.r, SimColorEncoder::kBackground.g,
                        SimColorEncoder::kBackground.b};

TEST(SimColorEncoder, ColourCameraSeesTheSceneThroughTheExtrinsics)
{
    // One sphere of radius 100 mm, 2 m in front of the ToF camera and 300 mm to its right.
    Scene scene;
    scene.AddSphere(SimSphere{{300.0, 0.0, 2000.0}, 100.0, 0.8f});
    const double angle = 10.0 * kPi / 180.0;
    struct Row
    {
        const char *name;
        std::array<double, 9> rotation;
        std::array<double, 3> translationMm;
        int width;
        int height;
    };
    const Row rows[] = {
        {"shifted, scaled lens", {1, 0, 0, 0, 1, 0, 0, 0, 1}, {-200.0, 50.0, 0.0}, 640, 480},
        {"shifted, calibrated size", {1, 0, 0, 0, 1, 0, 0, 0, 1}, {-200.0, 50.0, 0.0}, 1920, 1080},
        {"turned about y",
         {std::cos(angle), 0, std::sin(angle), 0, 1, 0, -std::sin(angle), 0, std::cos(angle)},
         {0.0, 0.0, 0.0},
         640,
         480},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SimSettings calibration;
        calibration.rotation = row.rotation;
        calibration.translationMm = row.translationMm;
        const std::vector<uint8_t> rgb = SimColorEncoder::Render(scene, calibration, row.width, row.height);
        ASSERT_EQ(rgb.size(), static_cast<size_t>(row.width) * row.height * 3);
        // Xc = R Xt + t, then the pinhole of the calibration scaled from 1920x1080 to the lens.
        const double *r = row.rotation.data();
        const double xt[3] = {300.0, 0.0, 2000.0};
        double xc[3];
        for (int i = 0; i < 3; ++i) {
            xc[i] = r[3 * i] * xt[0] + r[3 * i + 1] * xt[1] + r[3 * i + 2] * xt[2] + row.translationMm[i];
        }
        const double sx = row.width / 1920.0;
        const double sy = row.height / 1080.0;
        const double u = 1400.0 * sx * xc[0] / xc[2] + 960.0 * sx;
        const double v = 1400.0 * sy * xc[1] / xc[2] + 540.0 * sy;
        const double radiusPx = 1400.0 * sx * 100.0 / xc[2];
        const int cu = static_cast<int>(std::lround(u));
        const int cv = static_cast<int>(std::lround(v));
        const Pixel centre = At(rgb, row.width, cu, cv);
        EXPECT_FALSE(centre == kBackground) << "the sphere is at " << u << ", " << v;
        EXPECT_TRUE(At(rgb, row.width, static_cast<int>(u + radiusPx * 0.6), cv) == centre) << "one surface";
        EXPECT_TRUE(At(rgb, row.width, static_cast<int>(u + radiusPx * 1.5), cv) == kBackground);
        EXPECT_TRUE(At(rgb, row.width, static_cast<int>(u - radiusPx * 1.5), cv) == kBackground);
        EXPECT_TRUE(At(rgb, row.width, cu, static_cast<int>(v + radiusPx * 1.5)) == kBackground);
        EXPECT_TRUE(At(rgb, row.width, cu, static_cast<int>(v - radiusPx * 1.5)) == kBackground);
    }
}

} // namespace
