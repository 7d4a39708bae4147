// SPDX-License-Identifier: Apache-2.0
// A simulated sensor's lens: a pinhole with the rational radial-tangential distortion of the camera's
// calibration, its forward projection and the inverse that tells which ray a sensor pixel sees.
#pragma once

#include "Scene.h"

#include <array>
#include <vector>

/// A pinhole and the calibration's eight coefficients k1, k2, p1, p2, k3, k4, k5, k6. A ray (x, y, 1)
/// lands on the sensor at
///   r2 = x^2 + y^2
///   radial = (1 + k1 r2 + k2 r2^2 + k3 r2^3) / (1 + k4 r2 + k5 r2^2 + k6 r2^3)
///   xd = x radial + 2 p1 x y + p2 (r2 + 2 x^2)
///   yd = y radial + p1 (r2 + 2 y^2) + 2 p2 x y
///   u = fx xd + cx, v = fy yd + cy
/// The simulator keeps its own copy of this model on purpose: tests hold the host's against it.
struct SimLens
{
    SimPinhole pinhole;
    std::array<double, 8> distortion{};

    static SimLens FromCalibration(const std::array<double, 9> &intrinsic,
                                   const std::array<double, 8> &distortion, int width, int height);

    bool HasDistortion() const;
    /// Ray (x, y, 1) to sensor position (u, v). False where the rational denominator is not positive.
    bool Project(double x, double y, double &u, double &v) const;
    /// The ray whose projection is (u, v): Newton's method on the distortion, until the projection is
    /// within kInverseTolerancePx of (u, v). False when it does not get there. Without distortion the
    /// ray is exactly ((u - cx) / fx, (v - cy) / fy).
    bool Ray(double u, double v, double &x, double &y) const;
    /// The ray of every pixel, row-major, two values (x, y) per pixel; NaN for a pixel that sees
    /// along no ray. Worked out once per lens: rendering reads it instead of inverting per frame.
    std::vector<double> RayTable() const;

    bool operator==(const SimLens &other) const;
    bool operator!=(const SimLens &other) const { return !(*this == other); }

    static constexpr double kInverseTolerancePx = 1e-6;
    static constexpr int kMaxInverseSteps = 50;
};
