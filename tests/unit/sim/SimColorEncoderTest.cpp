// SPDX-License-Identifier: Apache-2.0
// Tests of the simulated colour sensor without sockets: where the colour camera sees the scene (its
// scaled intrinsics and the ToF-to-colour extrinsics, projected here the textbook way), per-object
// colours, the sub-packet framing and the lens sizes the camera refuses.
#include "SimColorEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

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

TEST(SimColorEncoder, ObjectsHaveTheirOwnColoursDarkerFarther)
{
    // A wall (object 0) behind a box (object 1) and a sphere (object 2).
    Scene scene;
    scene.AddPlane(SimPlane{{0.0, 0.0, 1.0}, 4000.0, 0.9f});
    scene.AddBox(SimBox{{-600.0, -200.0, 1500.0}, {-200.0, 200.0, 1800.0}, 0.7f});
    scene.AddSphere(SimSphere{{400.0, 0.0, 1500.0}, 150.0, 0.7f});
    SimSettings calibration;
    calibration.translationMm = {0.0, 0.0, 0.0};
    const std::vector<uint8_t> rgb = SimColorEncoder::Render(scene, calibration, 640, 480);
    // The default colour camera at 640x480: fx 466.7, fy 622.2, centre (320, 240).
    const Pixel wall = At(rgb, 640, 320, 50);
    const Pixel box = At(rgb, 640, 320 + static_cast<int>(466.7 * -400.0 / 1500.0), 240);
    const Pixel sphere = At(rgb, 640, 320 + static_cast<int>(466.7 * 400.0 / 1350.0), 240);
    EXPECT_FALSE(wall == box);
    EXPECT_FALSE(wall == sphere);
    EXPECT_FALSE(box == sphere);
    EXPECT_FALSE(wall == kBackground);
    const SimRgb nearWall = SimColorEncoder::SurfaceColor(0, 1000.0);
    const SimRgb farWall = SimColorEncoder::SurfaceColor(0, 6000.0);
    EXPECT_GT(nearWall.r + nearWall.g + nearWall.b, farWall.r + farWall.g + farWall.b);
}

TEST(SimColorEncoder, SubPacketFramingAndRefusedSizes)
{
    SimColorEncoder encoder;
    const Scene scene = Scene::Default();
    const SimSettings calibration;
    std::vector<uint8_t> out{0xAB};
    SimColorTruth truth;
    ASSERT_TRUE(encoder.Append(scene, calibration, SimColorLens{640, 360, 1}, 0.02f, out, truth));
    ASSERT_GT(out.size(), 10u);
    EXPECT_EQ(out[1], 0x33);
    const size_t length = out[2] | out[3] << 8 | out[4] << 16;
    EXPECT_EQ(out[5], 0);
    EXPECT_EQ(length, out.size() - 6);
    EXPECT_EQ(truth.payloadBytes, length);
    float exposure = 0.0f;
    std::memcpy(&exposure, out.data() + out.size() - 4, 4);
    EXPECT_EQ(exposure, 0.02f);
    EXPECT_EQ(out[out.size() - 6], 0xFF);
    EXPECT_EQ(out[out.size() - 5], 0xD9);

    // Sizes a camera cannot send add nothing.
    for (const SimColorLens lens :
         {SimColorLens{0, 480, 1}, SimColorLens{640, 0, 0}, SimColorLens{8000, 6000, 1}}) {
        std::vector<uint8_t> none{0xAB};
        SimColorTruth untouched;
        EXPECT_FALSE(encoder.Append(scene, calibration, lens, 0.02f, none, untouched));
        EXPECT_EQ(none.size(), 1u);
        EXPECT_FALSE(untouched.rgb);
    }
    // A calibration without focal length gives no camera.
    SimSettings broken;
    broken.colorIntrinsic = {};
    std::vector<uint8_t> none;
    EXPECT_FALSE(encoder.Append(scene, broken, SimColorLens{640, 480, 1}, 0.02f, none, truth));
    EXPECT_TRUE(none.empty());
}

} // namespace
