// SPDX-License-Identifier: Apache-2.0
// The lenses the geometry tests share (the ToF test lens, centred and off-centre, and a rational lens)
// and the projection of an undistorted view's pixel through a lens.
#pragma once

#include "CameraModel.h"

namespace refine::testing {

constexpr uint32_t kTofWidth = 640;
constexpr uint32_t kTofHeight = 480;

/// k1 -0.25, k2 0.08, p1 0.001, p2 -0.0015, k3 -0.01 on fx = fy = 520.
inline LensModel TestLens(double cx = 320.0, double cy = 240.0)
{
    return LensModel{Pinhole{520.0, 520.0, cx, cy}, -0.25, 0.08, 0.001, -0.0015, -0.01, 0.0, 0.0, 0.0};
}

/// A barrel lens through the rational terms, with unequal focal lengths.
inline LensModel RationalLens()
{
    return LensModel{
        Pinhole{515.0, 522.0, 321.5, 238.0}, 0.5, -0.02, 0.0005, -0.0008, 0.001, 0.85, 0.05, 0.002};
}

/// The sensor position (su, sv) that the lens sends pixel (u, v) of the undistorted view `view` to.
inline bool ProjectPixel(const LensModel &lens, const Pinhole &view, double u, double v, double &su,
                         double &sv)
{
    return lens.Project((u - view.cx) / view.fx, (v - view.cy) / view.fy, su, sv);
}

} // namespace refine::testing
