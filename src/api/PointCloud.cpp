// SPDX-License-Identifier: Apache-2.0
// Pinhole conversions between depth pixels and 3-D points, and the colour intrinsics scaling.
#include "api/PointCloud.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/LogCustom.h"

namespace {
/// A 360-row frame is the 16:9 centre of the 480-row sensor image: its row 0 is sensor row 60.
constexpr int kCroppedHeight = 360;
constexpr int kCroppedRowOffset = (kDepthTableHeight - kCroppedHeight) / 2;
constexpr uint16_t kInvalidDepthMm = 65535;

int32_t TruncateToInt32(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value); // truncates toward zero
}

uint16_t TruncateToUint16(double value)
{
    if (std::isnan(value) || value <= 0.0) {
        return 0;
    }
    if (value >= 65535.0) {
        return 65535;
    }
    return static_cast<uint16_t>(value);
}
} // namespace

void ConvertDepthToPoints(const TfDepthVector3 *depth, TfVector3f *world, int32_t count,
                          const TfCameraParameters &params)
{
    for (int32_t i = 0; i < count; ++i) {
        const double z = depth[i].depthZ;
        if (z == 0.0) {
            world[i] = TfVector3f{0.0f, 0.0f, 0.0f};
            continue;
        }
        const double x = (depth[i].depthX - params.cx) / params.fx * z;
        const double y = (depth[i].depthY - params.cy) / params.fy * z;
        world[i] = TfVector3f{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    }
}

void ConvertPointsToDepth(const TfVector3f *world, TfDepthVector3 *depth, int32_t count,
                          const TfCameraParameters &params)
{
    for (int32_t i = 0; i < count; ++i) {
        const float z = world[i].z;
        if (z == 0.0f || std::isnan(z)) {
            depth[i] = TfDepthVector3{0, 0, 0};
            continue;
        }
        const float xOverZ = world[i].x / z;
        const float yOverZ = world[i].y / z;
        const double u = static_cast<double>(xOverZ) * params.fx + params.cx;
        const double v = static_cast<double>(yOverZ) * params.fy + params.cy;
        depth[i] = TfDepthVector3{TruncateToInt32(u), TruncateToInt32(v), TruncateToUint16(z)};
    }
}

int ConvertDepthFrame(const TfFrame &frame, const DepthWorldRay *table, TfVector3f *world)
{
    const size_t width = frame.width;
    const size_t height = frame.height;
    const size_t pixels = width * height;
    const size_t tableEntries = static_cast<size_t>(kDepthTableWidth) * kDepthTableHeight;
    const size_t tableStart = height == kCroppedHeight ? kCroppedRowOffset * width : 0;
    if (tableStart + pixels > tableEntries) {
        TFLOG("frame %dx%d does not fit the %dx%d depth table.", static_cast<int>(width),
              static_cast<int>(height), kDepthTableWidth, kDepthTableHeight);
        return TF_ERROR_INVALID_ARGUMENT;
    }
    if (static_cast<size_t>(frame.dataLen) < pixels * sizeof(uint16_t)) {
        TFLOG("frame %dx%d carries only %u bytes.", static_cast<int>(width), static_cast<int>(height),
              static_cast<unsigned>(frame.dataLen));
        return TF_ERROR_INVALID_ARGUMENT;
    }
    const uint8_t *data = frame.pFrameData;
    for (size_t i = 0; i < pixels; ++i) {
        uint16_t depthMm = 0;
        std::memcpy(&depthMm, data + i * sizeof(uint16_t), sizeof(depthMm));
        if (depthMm == 0 || depthMm == kInvalidDepthMm) {
            world[i] = TfVector3f{0.0f, 0.0f, 0.0f};
            continue;
        }
        const DepthWorldRay &ray = table[tableStart + i];
        const double z = depthMm;
        world[i] = TfVector3f{static_cast<float>(ray.first * z), static_cast<float>(ray.second * z),
                              static_cast<float>(z)};
    }
    return 0;
}

void ScaleColorIntrinsics(uint32_t resolutionCode, TfCameraParameters &params)
{
    auto scale = [&params](double factor) {
        params.fx *= factor;
        params.fy *= factor;
        params.cx *= factor;
        params.cy *= factor;
    };
    switch (resolutionCode) {
    case TF_COLOR_1280X720:
        scale(2.0 / 3.0);
        break;
    case TF_COLOR_640X360:
        scale(1.0 / 3.0);
        break;
    case TF_COLOR_640X480:
        // A 4:3 crop of the 16:9 image: scale to 640 x 360, drop 80 columns, scale to 640 x 480.
        scale(1.0 / 3.0);
        if (params.cx > params.cy) {
            params.cx -= 80.0;
        } else {
            params.cy -= 80.0;
        }
        scale(4.0 / 3.0);
        break;
    default:
        break;
    }
}
