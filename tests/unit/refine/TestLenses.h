// SPDX-License-Identifier: Apache-2.0
// The lenses the geometry tests share: the ToF test lens, centred and off-centre, and a rational lens.
#pragma once

#include "CameraModel.h"

namespace refine::testing {

constexpr uint32_t kTofWidth = 640;
constexpr uint32_t kTofHeight = 480;

/// k1 -0.25, k2 0.08, p1 0.001, p2 -0.0015, k3 -0.01 on fx = fy = 520.
inline LensModel TestLens(double cx = 320.0, double cy = 240.0)
{
    LensModel lens;
    lens.pinhole = Pinhole{520.0, 520.0, cx, cy};
    lens.k1 = -0.25;
    lens.k2 = 0.08;
    lens.p1 = 0.001;
    lens.p2 = -0.0015;
    lens.k3 = -0.01;
    return lens;
}

/// A barrel lens through the rational terms, with unequal focal lengths.
inline LensModel RationalLens()
{
    LensModel lens;
    lens.pinhole = Pinhole{515.0, 522.0, 321.5, 238.0};
    lens.k1 = 0.5;
    lens.k2 = -0.02;
    lens.p1 = 0.0005;
    lens.p2 = -0.0008;
    lens.k3 = 0.001;
    lens.k4 = 0.85;
    lens.k5 = 0.05;
    lens.k6 = 0.002;
    return lens;
}

} // namespace refine::testing
