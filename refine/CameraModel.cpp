// SPDX-License-Identifier: Apache-2.0
// The rational radial-tangential lens: projection, its Newton inverse, the validity check over an image
// and the intrinsics of the undistorted image.
#include "CameraModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace refine {

namespace {

/// Rays checked for a monotonic radius, and the radial step along each (normalised units).
constexpr int kValidityDirections = 32;
constexpr double kValidityStep = 0.002;
/// The check goes past the image's farthest corner by this factor, so the border stays well defined.
constexpr double kValidityMargin = 1.05;
/// A radius beyond this (about 84 degrees off axis) is never reached by a usable lens.
constexpr double kMaxRayRadius = 10.0;
constexpr int kNewtonIterations = 30;
/// Bisection bounds and steps of the undistorted image's scale factor.
constexpr double kMinScale = 0.02;
constexpr double kMaxScale = 50.0;
constexpr int kScaleSteps = 64;

} // namespace

Pinhole Pinhole::FromMatrix(const double *intrinsic9)
{
    return Pinhole{intrinsic9[0], intrinsic9[4], intrinsic9[2], intrinsic9[5]};
}

void Pinhole::ToMatrix(double *intrinsic9) const
{
    intrinsic9[0] = fx;
    intrinsic9[2] = cx;
    intrinsic9[4] = fy;
    intrinsic9[5] = cy;
}

LensModel LensModel::FromCalibration(const double *intrinsic9, const double *distortion8)
{
    LensModel lens;
    lens.pinhole = Pinhole::FromMatrix(intrinsic9);
    if (distortion8 != nullptr) {
        lens.k1 = distortion8[0];
        lens.k2 = distortion8[1];
        lens.p1 = distortion8[2];
        lens.p2 = distortion8[3];
        lens.k3 = distortion8[4];
        lens.k4 = distortion8[5];
        lens.k5 = distortion8[6];
        lens.k6 = distortion8[7];
    }
    return lens;
}

bool LensModel::HasDistortion() const
{
    return k1 != 0.0 || k2 != 0.0 || p1 != 0.0 || p2 != 0.0 || k3 != 0.0 || k4 != 0.0 || k5 != 0.0 ||
           k6 != 0.0;
}

bool LensModel::Distort(double x, double y, double &xd, double &yd) const
{
    const double r2 = x * x + y * y;
    const double r4 = r2 * r2;
    const double r6 = r4 * r2;
    const double denominator = 1.0 + k4 * r2 + k5 * r4 + k6 * r6;
    if (!(denominator > 0.0)) {
        return false;
    }
    const double radial = (1.0 + k1 * r2 + k2 * r4 + k3 * r6) / denominator;
    xd = x * radial + 2.0 * p1 * x * y + p2 * (r2 + 2.0 * x * x);
    yd = y * radial + p1 * (r2 + 2.0 * y * y) + 2.0 * p2 * x * y;
    return true;
}

bool LensModel::Project(double x, double y, double &u, double &v) const
{
    double xd = 0.0;
    double yd = 0.0;
    if (!Distort(x, y, xd, yd)) {
        return false;
    }
    u = pinhole.fx * xd + pinhole.cx;
    v = pinhole.fy * yd + pinhole.cy;
    return true;
}

bool LensModel::Unproject(double u, double v, double &x, double &y, double tolerancePx) const
{
    if (pinhole.fx == 0.0 || pinhole.fy == 0.0) {
        return false;
    }
    const double xd = (u - pinhole.cx) / pinhole.fx;
    const double yd = (v - pinhole.cy) / pinhole.fy;
    double cx = xd;
    double cy = yd;
    // Newton on f(x, y) = distort(x, y) - (xd, yd) with a central-difference Jacobian.
    constexpr double h = 1e-7;
    for (int i = 0; i < kNewtonIterations; ++i) {
        double fx0 = 0.0, fy0 = 0.0, ax = 0.0, ay = 0.0, bx = 0.0, by = 0.0, cx1 = 0.0, cy1 = 0.0, dx1 = 0.0,
               dy1 = 0.0;
        if (!Distort(cx, cy, fx0, fy0) || !Distort(cx + h, cy, ax, ay) || !Distort(cx - h, cy, bx, by) ||
            !Distort(cx, cy + h, cx1, cy1) || !Distort(cx, cy - h, dx1, dy1)) {
            return false;
        }
        const double j11 = (ax - bx) / (2 * h);
        const double j21 = (ay - by) / (2 * h);
        const double j12 = (cx1 - dx1) / (2 * h);
        const double j22 = (cy1 - dy1) / (2 * h);
        const double det = j11 * j22 - j12 * j21;
        if (std::fabs(det) < 1e-12) {
            return false;
        }
        const double ex = fx0 - xd;
        const double ey = fy0 - yd;
        cx -= (j22 * ex - j12 * ey) / det;
        cy -= (-j21 * ex + j11 * ey) / det;
        if (std::fabs(ex) * std::fabs(pinhole.fx) < tolerancePx * 1e-3 &&
            std::fabs(ey) * std::fabs(pinhole.fy) < tolerancePx * 1e-3) {
            break;
        }
    }
    double pu = 0.0;
    double pv = 0.0;
    if (!Project(cx, cy, pu, pv) || std::fabs(pu - u) > tolerancePx || std::fabs(pv - v) > tolerancePx) {
        return false;
    }
    x = cx;
    y = cy;
    return true;
}

double LensModel::CheckedRayRadius(uint32_t width, uint32_t height) const
{
    if (!(pinhole.fx > 0.0) || !(pinhole.fy > 0.0) || width == 0 || height == 0 ||
        !std::isfinite(pinhole.fx) || !std::isfinite(pinhole.fy) || !std::isfinite(pinhole.cx) ||
        !std::isfinite(pinhole.cy)) {
        return 0.0;
    }
    const double coefficients[] = {k1, k2, p1, p2, k3, k4, k5, k6};
    for (double c : coefficients) {
        if (!std::isfinite(c)) {
            return 0.0;
        }
    }
    if (!HasDistortion()) {
        return std::numeric_limits<double>::infinity();
    }
    // The distorted radius the image reaches: its farthest corner, in normalised units.
    double reach = 0.0;
    for (double u : {0.0, double(width - 1)}) {
        for (double v : {0.0, double(height - 1)}) {
            reach = std::max(reach, std::hypot((u - pinhole.cx) / pinhole.fx, (v - pinhole.cy) / pinhole.fy));
        }
    }
    reach *= kValidityMargin;
    // Along every direction the distorted radius must grow with the ray's until it passes the corner.
    double checked = kMaxRayRadius;
    for (int d = 0; d < kValidityDirections; ++d) {
        const double angle = 2.0 * M_PI * d / kValidityDirections;
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        double previous = 0.0;
        double r = kValidityStep;
        for (;; r += kValidityStep) {
            if (r > kMaxRayRadius) {
                return 0.0;
            }
            double xd = 0.0;
            double yd = 0.0;
            if (!Distort(r * c, r * s, xd, yd)) {
                return 0.0;
            }
            const double radius = std::hypot(xd, yd);
            if (radius <= previous) {
                return 0.0;
            }
            previous = radius;
            if (radius > reach) {
                break;
            }
        }
        checked = std::min(checked, r);
    }
    return checked;
}

bool UndistortedPinhole(const LensModel &lens, uint32_t width, uint32_t height, Pinhole &out)
{
    const double checkedRadius = lens.CheckedRayRadius(width, height);
    if (!(checkedRadius > 0.0)) {
        return false;
    }
    if (!lens.HasDistortion()) {
        out = lens.pinhole;
        return true;
    }
    const Pinhole &k = lens.pinhole;
    const double right = double(width - 1);
    const double bottom = double(height - 1);
    // Every border pixel of the undistorted image, scaled by s, must fetch from inside the sensor.
    const auto fits = [&](double s) {
        // A ray beyond the checked radius may land inside the sensor only after the model turned back.
        const auto inside = [&](double u, double v) {
            const double x = (u - k.cx) / (s * k.fx);
            const double y = (v - k.cy) / (s * k.fy);
            double su = 0.0;
            double sv = 0.0;
            return std::hypot(x, y) <= checkedRadius && lens.Project(x, y, su, sv) && su >= 0.0 &&
                   su <= right && sv >= 0.0 && sv <= bottom;
        };
        for (uint32_t u = 0; u < width; ++u) {
            if (!inside(u, 0.0) || !inside(u, bottom)) {
                return false;
            }
        }
        for (uint32_t v = 0; v < height; ++v) {
            if (!inside(0.0, v) || !inside(right, v)) {
                return false;
            }
        }
        return true;
    };
    double low = kMinScale;
    double high = kMaxScale;
    if (!fits(high)) {
        return false;
    }
    for (int i = 0; i < kScaleSteps; ++i) {
        const double mid = std::sqrt(low * high);
        (fits(mid) ? high : low) = mid;
    }
    out = Pinhole{k.fx * high, k.fy * high, k.cx, k.cy};
    return true;
}

} // namespace refine
