// SPDX-License-Identifier: Apache-2.0
// Pinhole conversions between depth pixels and 3-D points, and the conversion of delivered depth frames.
#pragma once

#include <cstdint>
#include <vector>

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

/// The turn and then the mirror delivery applied to a frame, with the codes of the image rotation and
/// mirror settings (rotation 0 a quarter turn clockwise, 1 a half turn, 2 a quarter turn
/// counter-clockwise; mirror 1 left-right, 2 upside down, 3 both); any other value: none.
struct DeliveredLayout
{
    int rotation = -1;
    int mirror = 0;
    bool IsPlain() const { return (rotation < 0 || rotation > 2) && (mirror < 1 || mirror > 3); }
};

/// For every pixel i of a delivered width x height image laid out as `layout` says, the index of the
/// pixel of the image before the turn and the mirror (sourceWidth x sourceHeight) it holds.
void SourceIndices(uint32_t width, uint32_t height, const DeliveredLayout &layout, uint32_t &sourceWidth,
                   uint32_t &sourceHeight, std::vector<int32_t> &indices);

/// Converts a ToF depth frame with the depth-to-world table: point i is ray(i) times depth i in double
/// precision, stored as float; depth 0 and 65535 give (0, 0, 0). The image before the turn and mirror of
/// `layout` must be 640 wide and 480 high, or 360 high (the centre rows of the sensor image). Returns 0,
/// or -15 (logged) for a frame of another size or one whose data is short.
int ConvertDepthFrame(const TfFrame &frame, const DepthWorldTable &table, const DeliveredLayout &layout,
                      TfVector3f *world);
