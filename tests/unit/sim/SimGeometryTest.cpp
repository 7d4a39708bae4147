// SPDX-License-Identifier: Apache-2.0
// Tests of the simulated cameras' geometry: lens inverse, distorted renderings, the colour crop-and-scale
// rule, colour truth visibility, mixed pixels and dropped pixels.
#include "RawTofEncoder.h"
#include "Scene.h"
#include "SimColorEncoder.h"
#include "SimLens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kPixels = 640 * 480;
/// The test lens of the geometry checks, and a rational one.
constexpr std::array<double, 8> kTestLens{-0.25, 0.08, 0.001, -0.0015, -0.01, 0.0, 0.0, 0.0};
constexpr std::array<double, 8> kRationalLens{0.3, -0.1, 0.0005, 0.001, 0.02, 0.45, -0.05, 0.01};

SimLens TofLens(const std::array<double, 8> &distortion)
{
    return SimLens::FromCalibration(SimSettings().tofIntrinsic, distortion, 640, 480);
}

/// A wall at 3000 mm with a box in front of it at 1000 mm.
Scene WallAndBox(double boxDepthMm)
{
    Scene scene;
    scene.AddPlane(SimPlane{{0, 0, 1}, 3000.0, 0.9f});
    scene.AddBox(SimBox{{-200, -150, boxDepthMm}, {200, 150, boxDepthMm + 200}, 0.6f});
    return scene;
}

template <typename T> bool SameBits(const std::vector<T> &a, const std::vector<T> &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

TEST(SimLensTest, WithoutCoefficientsTheLensPathRendersTheIdealPinholeBitForBit)
{
    const Scene scene = Scene::Default();
    const SimLens lens = TofLens({});
    const SimRendering pinhole = scene.Render(lens.pinhole, 7495.0f);
    const SimRendering viaLens = scene.Render(lens, SimPose{}, SimRenderOptions{});
    EXPECT_TRUE(SameBits(pinhole.depthMm, viaLens.depthMm));
    EXPECT_TRUE(SameBits(pinhole.reflectivity, viaLens.reflectivity));
    EXPECT_TRUE(SameBits(pinhole.object, viaLens.object));
    double x = 0.0, y = 0.0;
    ASSERT_TRUE(lens.Ray(17.0, 401.0, x, y));
    EXPECT_EQ(x, (17.0 - 320.0) / 520.0);
    EXPECT_EQ(y, (401.0 - 240.0) / 520.0);
}

// Every pixel of a distorted rendering looks along the ray that projects back onto it, and measures the
// surface along that ray: axially, or along the ray with radial encoding.
TEST(SimLensTest, DistortedRenderingsSeeAlongTheInverseOfTheForwardModel)
{
    // The forward model on its own: a pure k1 lens scales the radius by 1 + k1 r^2.
    SimLens k1Only = TofLens({-0.25, 0, 0, 0, 0, 0, 0, 0});
    double u = 0.0, v = 0.0;
    ASSERT_TRUE(k1Only.Project(0.5, 0.0, u, v));
    EXPECT_NEAR(u, 320.0 + 520.0 * 0.5 * (1.0 - 0.25 * 0.25), 1e-9);

    Scene tilted; // y + z = 2000: a pixel on ray (x, y, 1) sees depth 2000 / (1 + y)
    tilted.AddPlane(SimPlane{{0, 1, 1}, 2000.0, 1.0f});
    for (const auto &coefficients : {kTestLens, kRationalLens}) {
        const SimLens lens = TofLens(coefficients);
        const std::vector<double> rays = lens.RayTable();
        SimRenderOptions radial;
        radial.radial = true;
        const SimRendering axial = tilted.Render(lens, SimPose{}, SimRenderOptions{}, rays);
        const SimRendering ranged = tilted.Render(lens, SimPose{}, radial, rays);
        double worstPx = 0.0, worstPinholePx = 0.0;
        for (size_t i = 0; i < kPixels; i += 13) {
            const double x = rays[2 * i], y = rays[2 * i + 1];
            ASSERT_FALSE(std::isnan(x)) << i;
            ASSERT_TRUE(lens.Project(x, y, u, v));
            const double pu = static_cast<double>(i % 640), pv = static_cast<double>(i / 640);
            worstPx = std::max({worstPx, std::fabs(u - pu), std::fabs(v - pv)});
            worstPinholePx = std::max(worstPinholePx, std::fabs(320.0 + 520.0 * x - pu));
            EXPECT_NEAR(axial.depthMm[i], 2000.0 / (1.0 + y), 2e-3) << i;
            EXPECT_NEAR(ranged.depthMm[i], axial.depthMm[i] * std::sqrt(x * x + y * y + 1.0), 2e-3) << i;
            EXPECT_EQ(ranged.axialDepthMm[i], axial.depthMm[i]) << i;
        }
        EXPECT_LT(worstPx, SimLens::kInverseTolerancePx);
        EXPECT_GT(worstPinholePx, 5.0) << "the lens should bend the rays visibly";
    }
}

struct CropRow
{
    int width;
    int height;
    double fx, cx, cy;
};

// One row per lens size; the calibration is fx = fy = 1500, (960, 540) at 1920x1080.
TEST(SimColorGeometryTest, EachLensSizeIsTheLargestCentredCropScaledUniformly)
{
    SimSettings calibration;
    calibration.colorIntrinsic = {1500, 0, 960, 0, 1500, 540, 0, 0, 1};
    calibration.colorDistortion = kTestLens;
    const CropRow rows[] = {
        {1920, 1080, 1500.0, 960.0, 540.0},
        {1280, 720, 1000.0, 640.0, 360.0},
        {640, 480, 1500.0 * 640 / 1440, 320.0, 240.0}, // the 4:3 crop, 1440 wide from x 240
        {640, 360, 500.0, 320.0, 180.0},
        {1600, 1200, 1500.0 * 1600 / 1440, 800.0, 600.0},
    };
    for (const CropRow &row : rows) {
        SCOPED_TRACE(row.width);
        const SimLens lens = SimColorEncoder::ColorLens(calibration, row.width, row.height);
        EXPECT_NEAR(lens.pinhole.fx, row.fx, 1e-9);
        EXPECT_NEAR(lens.pinhole.fy, row.fx, 1e-9);
        EXPECT_NEAR(lens.pinhole.cx, row.cx, 1e-9);
        EXPECT_NEAR(lens.pinhole.cy, row.cy, 1e-9);
        EXPECT_EQ(lens.distortion, kTestLens);
    }
    // An off-centre principal point keeps its place in the crop: (1000 - 240) * 4 / 9 at 640x480.
    calibration.colorIntrinsic[2] = 1000.0;
    EXPECT_NEAR(SimColorEncoder::ColorCamera(calibration, 640, 480).cx, 760.0 * 4 / 9, 1e-9);
}

// The colour camera 100 mm to the right of the ToF camera sees part of the wall that the box hides from
// the ToF camera; each wall pixel's flag is checked against the box's shadow worked out here.
TEST(SimColorGeometryTest, TruthMarksWhatTheBoxHidesFromTheTofCamera)
{
    SimSettings calibration;
    calibration.SetExtrinsics(SimSettings::RotationFromDegrees(0, 0, 0), {-100.0, 0.0, 0.0});
    calibration.colorDistortion = kTestLens;
    calibration.tofDistortion = kTestLens;
    const Scene scene = WallAndBox(1000.0);
    SimColorGeometryTruth truth;
    const std::vector<uint8_t> rgb = SimColorEncoder::Render(scene, calibration, 640, 480, &truth);
    ASSERT_EQ(truth.visibleFromTof.size(), kPixels);
    const SimLens lens = SimColorEncoder::ColorLens(calibration, 640, 480);
    size_t hidden = 0, checked = 0;
    for (size_t i = 0; i < kPixels; ++i) {
        if (truth.object[i] == 1) {
            EXPECT_EQ(truth.visibleFromTof[i], 1) << "box front " << i; // ToF at x = 0 sees the front face
            continue;
        }
        ASSERT_EQ(truth.object[i], 0) << i;
        ASSERT_FLOAT_EQ(truth.depthMm[i], 3000.0f) << i;
        double x = 0.0, y = 0.0;
        ASSERT_TRUE(lens.Ray(static_cast<double>(i % 640), static_cast<double>(i / 640), x, y));
        // The wall point in ToF coordinates, and where its ToF ray crosses the box's front face.
        const double frontX = (100.0 + 3000.0 * x) / 3.0, frontY = 3000.0 * y / 3.0;
        const double marginMm =
            std::min(std::fabs(std::fabs(frontX) - 200.0), std::fabs(std::fabs(frontY) - 150.0));
        if (marginMm < 1.0) {
            continue;
        }
        const bool shadowed = std::fabs(frontX) < 200.0 && std::fabs(frontY) < 150.0;
        EXPECT_EQ(truth.visibleFromTof[i], shadowed ? 0 : 1) << i;
        hidden += shadowed ? 1 : 0;
        ++checked;
    }
    EXPECT_GT(hidden, 1000u);
    EXPECT_GT(checked, kPixels / 2);
}

// Supersampled pixels mix the two surfaces only where the box's edge crosses them.
TEST(SimTofOptionsTest, MixedPixelsLieBetweenTheSurfacesOnlyAtEdges)
{
    const Scene scene = WallAndBox(1500.0);
    const SimLens lens = TofLens({});
    SimRenderOptions options;
    const SimRendering single = scene.Render(lens, SimPose{}, options);
    options.samplesPerAxis = 4;
    const SimRendering mixed = scene.Render(lens, SimPose{}, options);
    RawTofEncoder encoder;
    std::vector<uint8_t> out;
    SimTofTruth truth;
    ASSERT_TRUE(encoder.AppendComputedAll(mixed, 5, out, truth));
    EXPECT_TRUE(SameBits(truth.depthMm, single.depthMm)) << "the truth keeps the centre ray's depth";
    size_t between = 0;
    for (size_t i = 0; i < kPixels; ++i) {
        const int u = static_cast<int>(i % 640), v = static_cast<int>(i / 640);
        bool edge = false;
        for (int dv = -1; dv <= 1; ++dv) {
            for (int du = -1; du <= 1; ++du) {
                const int nu = std::clamp(u + du, 0, 639), nv = std::clamp(v + dv, 0, 479);
                edge = edge || single.object[static_cast<size_t>(nv * 640 + nu)] != single.object[i];
            }
        }
        const uint16_t depth = truth.cameraDepthMm[i];
        if (depth > 1502 && depth < 2998) {
            ++between;
            EXPECT_TRUE(edge) << "pixel " << u << "," << v << " at " << depth;
        } else if (!edge) {
            EXPECT_NEAR(depth, single.depthMm[i], 1.0) << "pixel " << u << "," << v;
        }
    }
    // The box's outline is about 2 (160 + 120) pixels long; most pixels on it are cut by the edge.
    EXPECT_GT(between, 300u);
}

TEST(SimTofOptionsTest, DroppedDepthIsTheAskedFractionAndTheSamePixelsEveryTime)
{
    const SimRendering wall = WallAndBox(1500.0).Render(TofLens({}).pinhole, 7495.0f);
    const auto encode = [&](double fraction, uint32_t seed) {
        RawTofEncoder::Options options;
        options.droppedFraction = fraction;
        options.droppedSeed = seed;
        RawTofEncoder encoder(options);
        std::vector<uint8_t> out;
        SimTofTruth truth;
        EXPECT_TRUE(encoder.AppendComputedImages(wall, 5, out, truth));
        return truth.cameraDepthMm;
    };
    const std::vector<uint16_t> first = encode(0.05, 7);
    const size_t zeros = static_cast<size_t>(std::count(first.begin(), first.end(), 0));
    EXPECT_NEAR(static_cast<double>(zeros) / kPixels, 0.05, 0.003);
    EXPECT_EQ(encode(0.05, 7), first);
    EXPECT_NE(encode(0.05, 8), first);
    const std::vector<uint16_t> none = encode(0.0, 7);
    EXPECT_EQ(std::count(none.begin(), none.end(), 0), 0);
}

} // namespace
