// SPDX-License-Identifier: Apache-2.0
// Tests of the simulated scene and the ToF encoder: rendering against analytic depths, and the encoded
// blocks decoded here with the textbook four-phase formulas, independently of any host-side decoder.
#include "RawTofEncoder.h"
#include "Scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kC = 299792458.0;
// The layout of a raw payload as the host reads it, written down here on its own.
constexpr size_t kBlockBytes = 483 * 2560;
constexpr size_t kPixelCount = 640 * 480;

uint16_t U16At(const uint8_t *bytes, size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

/// One pixel's taps decoded the textbook way.
struct Decoded
{
    double phase = 0.0; // [0, 2 pi)
    double amplitude = 0.0;
    int sum = 0; // A0 + B0 + A2 + B2
};

Decoded DecodePixel(const uint8_t *payload, size_t pixel)
{
    int a[4];
    int b[4];
    const size_t row = pixel / 640;
    const size_t column = pixel % 640;
    for (size_t k = 0; k < 4; ++k) {
        const size_t at = k * kBlockBytes + row * 2560 + column * 4;
        a[k] = U16At(payload, at) >> 4;
        b[k] = U16At(payload, at + 2) >> 4;
    }
    const double i = (a[0] - b[0]) - (a[2] - b[2]);
    const double q = (a[1] - b[1]) - (a[3] - b[3]);
    Decoded decoded;
    decoded.phase = std::atan2(i, q);
    if (decoded.phase < 0) {
        decoded.phase += 2 * kPi;
    }
    decoded.amplitude = std::sqrt(i * i + q * q);
    decoded.sum = a[0] + b[0] + a[2] + b[2];
    return decoded;
}

double MmPerRadian(int range)
{
    const double mhz[] = {120, 80, 60, 48, 40, 20};
    return kC * 1000.0 / (4 * kPi * mhz[range] * 1e6);
}

/// Distance between two depths on a circle of `wrapMm`.
double WrappedError(double a, double b, double wrapMm)
{
    double d = std::fmod(std::fabs(a - b), wrapMm);
    return std::min(d, wrapMm - d);
}

/// A rendering whose depth ramps from 200 mm to 7400 mm over the image, with a few empty pixels.
SimRendering Ramp()
{
    SimRendering r;
    r.width = 640;
    r.height = 480;
    r.depthMm.resize(kPixelCount);
    r.reflectivity.assign(kPixelCount, 0.8f);
    for (size_t i = 0; i < kPixelCount; ++i) {
        r.depthMm[i] = 200.0f + 7200.0f * static_cast<float>(i) / kPixelCount;
    }
    for (size_t i = 0; i < kPixelCount; i += 9973) {
        r.depthMm[i] = 0.0f;
        r.reflectivity[i] = 0.0f;
    }
    return r;
}

TEST(SceneTest, RendersDepthAlongTheOpticalAxis)
{
    const SimPinhole camera; // fx = fy = 520, centre (320, 240)
    Scene wall;
    wall.AddPlane(SimPlane{{0, 0, 1}, 3000.0, 0.5f});
    const SimRendering flat = wall.Render(camera, 7495.0f);
    ASSERT_EQ(flat.depthMm.size(), kPixelCount);
    // A fronto-parallel wall is at the same depth in the corner as in the centre.
    EXPECT_FLOAT_EQ(flat.depthMm[240 * 640 + 320], 3000.0f);
    EXPECT_FLOAT_EQ(flat.depthMm[0], 3000.0f);
    EXPECT_FLOAT_EQ(flat.reflectivity[0], 0.5f);
    // Beyond the maximum depth nothing is seen.
    const SimRendering cut = wall.Render(camera, 2999.0f);
    EXPECT_EQ(cut.depthMm[240 * 640 + 320], 0.0f);
    EXPECT_EQ(cut.reflectivity[240 * 640 + 320], 0.0f);

    // The plane y + z = 2000 seen by the pixel row v: depth (1 + y/z) = 2000.
    Scene tilted;
    tilted.AddPlane(SimPlane{{0, 1, 1}, 2000.0, 1.0f});
    const SimRendering slope = tilted.Render(camera, 7495.0f);
    for (int v : {0, 100, 240, 479}) {
        const double y = (v - 240.0) / 520.0;
        EXPECT_NEAR(slope.depthMm[static_cast<size_t>(v) * 640 + 17], 2000.0 / (1.0 + y), 1e-3) << v;
    }

    // The nearest surface wins; what is behind the camera is not seen.
    Scene objects;
    objects.AddPlane(SimPlane{{0, 0, 1}, 5000.0, 0.9f});
    objects.AddSphere(SimSphere{{0, 0, 2000}, 300.0, 0.4f});
    objects.AddBox(SimBox{{-600, -1000, 1000}, {-200, 1000, 1200}, 0.6f});
    objects.AddSphere(SimSphere{{0, 0, -2000}, 500.0, 1.0f});
    const SimRendering seen = objects.Render(camera, 7495.0f);
    EXPECT_FLOAT_EQ(seen.depthMm[240 * 640 + 320], 1700.0f);
    EXPECT_FLOAT_EQ(seen.reflectivity[240 * 640 + 320], 0.4f);
    // x = -400 at z = 1000 is u = 320 - 520 * 0.4.
    EXPECT_FLOAT_EQ(seen.depthMm[240 * 640 + 320 - 208], 1000.0f);
    EXPECT_FLOAT_EQ(seen.depthMm[240 * 640 + 600], 5000.0f);

    EXPECT_EQ(Scene().Render(camera, 7495.0f).depthMm[1000], 0.0f);
    SimPinhole broken = camera;
    broken.fx = 0.0;
    EXPECT_TRUE(wall.Render(broken, 7495.0f).depthMm.empty());
}

// One row per depth range: the modulation frequency decides the phase of every pixel.
TEST(RawTofEncoderTest, FourPhaseBlocksDecodeBackToTheGroundTruthInEveryRange)
{
    const SimRendering scene = Ramp();
    for (int range = 0; range < 6; ++range) {
        SCOPED_TRACE(range);
        RawTofEncoder encoder;
        std::vector<uint8_t> out{0xAB}; // something already in the buffer stays
        SimTofTruth truth;
        ASSERT_TRUE(encoder.AppendRaw(scene, 0xB1, range, out, truth));
        ASSERT_EQ(out.size(), 1 + 5 + 4945920u);
        EXPECT_EQ(out[0], 0xAB);
        EXPECT_EQ(out[1], 0xB1);
        EXPECT_EQ(out[2] | out[3] << 8 | out[4] << 16, 4945920);
        EXPECT_EQ(out[5] & 0x0F, range);
        const uint8_t *payload = out.data() + 6;
        for (size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(payload[k * kBlockBytes + 481 * 2560 + 73], k);
        }
        EXPECT_EQ(truth.range, range);
        EXPECT_NEAR(truth.mmPerRadian, MmPerRadian(range), 1e-9);
        const double wrapMm = 2 * kPi * MmPerRadian(range);
        double worstMm = 0.0;
        for (size_t i = 0; i < kPixelCount; i += 7) {
            const Decoded d = DecodePixel(payload, i);
            if (scene.depthMm[i] == 0.0f) {
                EXPECT_EQ(d.amplitude, 0.0) << i;
                continue;
            }
            EXPECT_NEAR(d.amplitude, truth.amplitude[i], 2.0) << i;
            EXPECT_NEAR(d.sum, truth.amplitude[i] + 4 * RawTofEncoder::kAmbient, 2.0) << i;
            EXPECT_LT(WrappedError(d.phase, truth.phaseRad[i], 2 * kPi), 2.5 / truth.amplitude[i]) << i;
            worstMm = std::max(worstMm, WrappedError(d.phase * MmPerRadian(range), scene.depthMm[i], wrapMm));
        }
        EXPECT_LT(worstMm, 2.0);
    }
}

} // namespace
