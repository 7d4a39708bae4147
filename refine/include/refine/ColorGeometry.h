// SPDX-License-Identifier: Apache-2.0
// The one colour geometry: which intrinsics describe a colour image of any size. The colour camera is
// calibrated at 1920x1080; a smaller image is the largest centred crop of that image with the target's
// aspect ratio, scaled uniformly to the target size.
#pragma once

#include <cstdint>

/// The colour calibration image's size.
constexpr uint32_t kColorCalibrationWidth = 1920;
constexpr uint32_t kColorCalibrationHeight = 1080;

/// Rewrites fx, fy, cx, cy of a row-major 3x3 matrix given at 1920x1080 into the intrinsics of a
/// width x height colour image: the crop (cw, ch) is the largest of that aspect ratio inside
/// 1920x1080, centred at (x0, y0); every pixel coordinate becomes (c - offset) * width / cw. With the
/// calibration's own size the matrix is left unchanged. False, with the matrix unchanged, for a zero
/// size or a null matrix.
inline bool ScaleColorIntrinsic(double *intrinsic9, uint32_t width, uint32_t height)
{
    if (intrinsic9 == nullptr || width == 0 || height == 0) {
        return false;
    }
    if (width == kColorCalibrationWidth && height == kColorCalibrationHeight) {
        return true;
    }
    // Compare the aspect ratios exactly in integers: width / height against 1920 / 1080.
    double cropWidth = kColorCalibrationWidth;
    double cropHeight = kColorCalibrationHeight;
    if (uint64_t{width} * kColorCalibrationHeight < uint64_t{height} * kColorCalibrationWidth) {
        cropWidth = double{kColorCalibrationHeight} * width / height; // narrower: full height
    } else {
        cropHeight = double{kColorCalibrationWidth} * height / width; // wider or equal: full width
    }
    const double x0 = (kColorCalibrationWidth - cropWidth) / 2.0;
    const double y0 = (kColorCalibrationHeight - cropHeight) / 2.0;
    const double scale = width / cropWidth;
    intrinsic9[0] *= scale;
    intrinsic9[4] *= scale;
    intrinsic9[2] = (intrinsic9[2] - x0) * scale;
    intrinsic9[5] = (intrinsic9[5] - y0) * scale;
    return true;
}
