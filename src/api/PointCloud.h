// SPDX-License-Identifier: Apache-2.0
// Pinhole conversions between depth pixels and 3-D points, and the colour intrinsics scaling.
#pragma once

#include <cstdint>

#include "Orvane_api.h"
#include "protocol/ProtocolTypes.h"

/// x = (u - cx) / fx * z, y = (v - cy) / fy * z in double precision; depth 0 gives (0, 0, 0).
void ConvertDepthToPoints(const TfDepthVector3 *depth, TfVector3f *world, int32_t count,
                          const TfCameraParameters &params);

/// u = x / z * fx + cx, v = y / z * fy + cy, truncated toward zero (the quotients in single
/// precision). A point with z = 0, or one whose pixel is not a number, gives (0, 0, 0); values
/// beyond the output types are clamped to them.
void ConvertPointsToDepth(const TfVector3f *world, TfDepthVector3 *depth, int32_t count,
                          const TfCameraParameters &params);

/// Converts a depth frame with the depth-to-world table (kDepthTableWidth x kDepthTableHeight rays).
/// Writes width x height points; a frame 360 rows high is taken as the centre rows of the sensor
/// image. Returns 0, or -15 (logged) for a frame that the table or its own data cannot cover.
int ConvertDepthFrame(const TfFrame &frame, const DepthWorldRay *table, TfVector3f *world);

/// Scales colour intrinsics calibrated on the 1920 x 1080 image to a colour resolution code.
void ScaleColorIntrinsics(uint32_t resolutionCode, TfCameraParameters &params);
