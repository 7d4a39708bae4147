// SPDX-License-Identifier: Apache-2.0
// The simulated lens: the distortion polynomial, its Jacobian and the Newton inverse per pixel.
#include "SimLens.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// The distortion at (x, y) and its partial derivatives.
struct Distorted
{
    double xd = 0.0;
    double yd = 0.0;
    double dxdx = 0.0;
    double dxdy = 0.0;
    double dydx = 0.0;
    double dydy = 0.0;
};

bool Distort(const std::array<double, 8> &c, double x, double y, Distorted &out)
{
    const double k1 = c[0], k2 = c[1], p1 = c[2], p2 = c[3], k3 = c[4], k4 = c[5], k5 = c[6], k6 = c[7];
    const double r2 = x * x + y * y;
    const double numerator = 1.0 + r2 * (k1 + r2 * (k2 + r2 * k3));
    const double denominator = 1.0 + r2 * (k4 + r2 * (k5 + r2 * k6));
    if (!(denominator > 0.0)) {
        return false;
    }
    const double radial = numerator / denominator;
    // d radial / d r2, from the quotient rule.
    const double numeratorSlope = k1 + r2 * (2.0 * k2 + 3.0 * k3 * r2);
    const double denominatorSlope = k4 + r2 * (2.0 * k5 + 3.0 * k6 * r2);
    const double slope =
        (numeratorSlope * denominator - numerator * denominatorSlope) / (denominator * denominator);
    out.xd = x * radial + 2.0 * p1 * x * y + p2 * (r2 + 2.0 * x * x);
    out.yd = y * radial + p1 * (r2 + 2.0 * y * y) + 2.0 * p2 * x * y;
    const double cross = 2.0 * x * y * slope + 2.0 * p1 * x + 2.0 * p2 * y;
    out.dxdx = radial + 2.0 * x * x * slope + 2.0 * p1 * y + 6.0 * p2 * x;
    out.dxdy = cross;
    out.dydx = cross;
    out.dydy = radial + 2.0 * y * y * slope + 6.0 * p1 * y + 2.0 * p2 * x;
    return true;
}

} // namespace

SimLens SimLens::FromCalibration(const std::array<double, 9> &intrinsic,
                                 const std::array<double, 8> &distortion, int width, int height)
{
    SimLens lens;
    lens.pinhole = SimPinhole::FromMatrix(intrinsic, width, height);
    lens.distortion = distortion;
    return lens;
}

bool SimLens::HasDistortion() const
{
    for (double c : distortion) {
        if (c != 0.0) {
            return true;
        }
    }
    return false;
}

bool SimLens::Project(double x, double y, double &u, double &v) const
{
    Distorted d;
    if (!Distort(distortion, x, y, d)) {
        return false;
    }
    u = pinhole.fx * d.xd + pinhole.cx;
    v = pinhole.fy * d.yd + pinhole.cy;
    return true;
}

bool SimLens::Ray(double u, double v, double &x, double &y) const
{
    const double targetX = (u - pinhole.cx) / pinhole.fx;
    const double targetY = (v - pinhole.cy) / pinhole.fy;
    if (!HasDistortion()) {
        x = targetX;
        y = targetY;
        return true;
    }
    double rayX = targetX;
    double rayY = targetY;
    for (int step = 0; step < kMaxInverseSteps; ++step) {
        Distorted d;
        if (!Distort(distortion, rayX, rayY, d)) {
            return false;
        }
        const double errorX = d.xd - targetX;
        const double errorY = d.yd - targetY;
        if (std::fabs(errorX * pinhole.fx) <= kInverseTolerancePx &&
            std::fabs(errorY * pinhole.fy) <= kInverseTolerancePx) {
            x = rayX;
            y = rayY;
            return true;
        }
        const double determinant = d.dxdx * d.dydy - d.dxdy * d.dydx;
        if (!(std::fabs(determinant) > 1e-12)) {
            return false;
        }
        rayX -= (d.dydy * errorX - d.dxdy * errorY) / determinant;
        rayY -= (d.dxdx * errorY - d.dydx * errorX) / determinant;
    }
    return false;
}

std::vector<double> SimLens::RayTable() const
{
    const int width = std::max(pinhole.width, 0);
    const int height = std::max(pinhole.height, 0);
    std::vector<double> rays(static_cast<size_t>(width) * static_cast<size_t>(height) * 2,
                             std::numeric_limits<double>::quiet_NaN());
    double *ray = rays.data();
    for (int v = 0; v < height; ++v) {
        for (int u = 0; u < width; ++u, ray += 2) {
            double x = 0.0;
            double y = 0.0;
            if (Ray(u, v, x, y)) {
                ray[0] = x;
                ray[1] = y;
            }
        }
    }
    return rays;
}

bool SimLens::operator==(const SimLens &other) const
{
    const SimPinhole &a = pinhole;
    const SimPinhole &b = other.pinhole;
    return a.fx == b.fx && a.fy == b.fy && a.cx == b.cx && a.cy == b.cy && a.width == b.width &&
           a.height == b.height && distortion == other.distortion;
}
