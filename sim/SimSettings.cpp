// SPDX-License-Identifier: Apache-2.0
// The default settings of a simulated KR52Lite session, including a consistent stereo calibration.
#include "SimSettings.h"

#include <algorithm>
#include <cmath>

namespace {

using Matrix3 = std::array<double, 9>;

Matrix3 Multiply(const Matrix3 &a, const Matrix3 &b)
{
    Matrix3 product{};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            for (int k = 0; k < 3; ++k) {
                product[row * 3 + column] += a[row * 3 + k] * b[k * 3 + column];
            }
        }
    }
    return product;
}

Matrix3 Transpose(const Matrix3 &m)
{
    return {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
}

/// The inverse of a pinhole camera matrix [fx 0 cx; 0 fy cy; 0 0 1].
Matrix3 InversePinhole(const Matrix3 &k)
{
    const double fx = k[0];
    const double fy = k[4];
    const double cx = k[2];
    const double cy = k[5];
    return {1.0 / fx, 0.0, -cx / fx, 0.0, 1.0 / fy, -cy / fy, 0.0, 0.0, 1.0};
}

/// The maximum depth of each of the six depth ranges, in millimetres.
constexpr uint16_t kMaxDepthMm[] = {1249, 1874, 2498, 3123, 3747, 7495};
constexpr uint16_t kMinDepthMm = 150;

} // namespace

SimSettings::SimSettings()
{
    lenses[1] = SimLensConfig{1, 1, 640, 480, 25, 0};   // the ToF sensor
    lenses[2] = SimLensConfig{2, 1, 1920, 1080, 25, 1}; // the colour sensor, JPEG
    exposureUs[0] = 1000;
    exposureUs[1] = 200;
    for (uint8_t mode = 0; mode < 6; ++mode) {
        // range0 the largest depth worth reporting (at most 4.2 m), range1 the smallest, range2 the
        // range's unambiguous distance.
        measuringRanges[mode] =
            SimMeasuringRange{std::min<uint16_t>(kMaxDepthMm[mode], 4200), kMinDepthMm, kMaxDepthMm[mode]};
    }
    dspSwitches = {{1, 1}, {2, 1}, {3, 0}};
    for (uint8_t subId = 1; subId <= 8; ++subId) {
        dspFunctions[{1, subId}] = SimDspFunction{1, 0, 0};
    }
    // The confidence filter: depth below confidence 50 is marked, above 4095 (never) dropped.
    dspFunctions[{1, 6}] = SimDspFunction{1, 50, 4095};
    dspFunctions[{2, 1}] = SimDspFunction{0, 0, 0};
    dspFunctions[{3, 1}] = SimDspFunction{0, 0, 0};

    tofIntrinsic = {520.0, 0.0, 320.0, 0.0, 520.0, 240.0, 0.0, 0.0, 1.0};
    colorIntrinsic = {1400.0, 0.0, 960.0, 0.0, 1400.0, 540.0, 0.0, 0.0, 1.0};
    SetExtrinsics({1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0}, {-25.0, 0.0, 0.0});
}

void SimSettings::SetExtrinsics(const std::array<double, 9> &rotationMatrix,
                                const std::array<double, 3> &translation)
{
    rotation = rotationMatrix;
    translationMm = translation;
    UpdateEpipolar();
}

void SimSettings::UpdateEpipolar()
{
    // E = [t]x R and F = Kc^-T E Kt^-1, so that the calibration describes one consistent camera pair.
    const double tx = translationMm[0];
    const double ty = translationMm[1];
    const double tz = translationMm[2];
    const Matrix3 cross = {0.0, -tz, ty, tz, 0.0, -tx, -ty, tx, 0.0};
    essential = Multiply(cross, rotation);
    fundamental = Multiply(Multiply(Transpose(InversePinhole(colorIntrinsic)), essential),
                           InversePinhole(tofIntrinsic));
}

std::array<double, 9> SimSettings::RotationFromDegrees(double xDeg, double yDeg, double zDeg)
{
    constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
    const double cx = std::cos(xDeg * kRadiansPerDegree), sx = std::sin(xDeg * kRadiansPerDegree);
    const double cy = std::cos(yDeg * kRadiansPerDegree), sy = std::sin(yDeg * kRadiansPerDegree);
    const double cz = std::cos(zDeg * kRadiansPerDegree), sz = std::sin(zDeg * kRadiansPerDegree);
    const Matrix3 aboutX = {1.0, 0.0, 0.0, 0.0, cx, -sx, 0.0, sx, cx};
    const Matrix3 aboutY = {cy, 0.0, sy, 0.0, 1.0, 0.0, -sy, 0.0, cy};
    const Matrix3 aboutZ = {cz, -sz, 0.0, sz, cz, 0.0, 0.0, 0.0, 1.0};
    return Multiply(aboutZ, Multiply(aboutY, aboutX));
}
