// SPDX-License-Identifier: Apache-2.0
// The lens model of both cameras: a pinhole with the rational radial-tangential distortion the camera's
// calibration describes (k1, k2, p1, p2, k3, k4, k5, k6), forward projection, its iterative inverse, a
// validity check, and the intrinsics of the undistorted image.
#pragma once

#include <cstdint>

namespace refine {

/// Pinhole intrinsics in pixels.
struct Pinhole
{
    double fx = 0.0;
    double fy = 0.0;
    double cx = 0.0;
    double cy = 0.0;

    /// From a row-major 3x3 matrix: fx at 0, cx at 2, fy at 4, cy at 5.
    static Pinhole FromMatrix(const double *intrinsic9);
    /// Writes fx, cx, fy, cy back at their places; the other elements are left as they are.
    void ToMatrix(double *intrinsic9) const;
};

/// A lens: pinhole intrinsics plus distortion coefficients in the camera's order.
///   r2 = x^2 + y^2
///   radial = (1 + k1 r2 + k2 r2^2 + k3 r2^3) / (1 + k4 r2 + k5 r2^2 + k6 r2^3)
///   xd = x radial + 2 p1 x y + p2 (r2 + 2 x^2)
///   yd = y radial + p1 (r2 + 2 y^2) + 2 p2 x y
///   u = fx xd + cx, v = fy yd + cy
/// where (x, y) is a ray (X / Z, Y / Z) in the camera's coordinates.
struct LensModel
{
    Pinhole pinhole;
    double k1 = 0.0, k2 = 0.0, p1 = 0.0, p2 = 0.0, k3 = 0.0, k4 = 0.0, k5 = 0.0, k6 = 0.0;

    static LensModel FromCalibration(const double *intrinsic9, const double *distortion8);
    bool HasDistortion() const;

    /// The distorted normalised coordinates of ray (x, y). False where the rational denominator is not
    /// positive (the model is not defined there).
    bool Distort(double x, double y, double &xd, double &yd) const;
    /// Ray (x, y) to pixel (u, v) through the distortion. False as Distort.
    bool Project(double x, double y, double &u, double &v) const;
    /// Pixel (u, v) to the ray (x, y) that projects onto it: fixed-point iteration refined until the
    /// reprojection lies within `tolerancePx` of (u, v). False when it does not converge.
    bool Unproject(double u, double v, double &x, double &y, double tolerancePx = 1e-3) const;
    /// Whether the model is usable over a width x height image: the denominator is positive and the
    /// distorted radius grows monotonically with the ray's radius out to the image's farthest corner.
    bool IsValid(uint32_t width, uint32_t height) const { return CheckedRayRadius(width, height) > 0.0; }
    /// The ray radius out to which that holds in every direction (infinite without distortion), 0 when
    /// the model is not usable. Beyond it a rational model may turn back into the image: no ray
    /// beyond it is used.
    double CheckedRayRadius(uint32_t width, uint32_t height) const;
};

/// The intrinsics of the undistorted width x height image of `lens`: the principal point and the pixel
/// aspect are kept, and fx and fy are scaled by the smallest factor that leaves no empty border (every
/// pixel of the undistorted image takes its value from inside the sensor image). Without distortion
/// the pinhole is returned bit for bit. False, with `out` untouched, for an invalid lens or size.
bool UndistortedPinhole(const LensModel &lens, uint32_t width, uint32_t height, Pinhole &out);

} // namespace refine
