// SPDX-License-Identifier: Apache-2.0
// The exported TFCM_ functions of calibration, point mapping and point clouds.
#include "Orvane_api.h"
#include "api/ApiCall.h"
#include "api/DeviceHandle.h"
#include "api/PointCloud.h"

#include <memory>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Calibration, mapping and point clouds
// ---------------------------------------------------------------------------------------------

int TFCM_GetCameraExtrinsicParameters(TfDeviceHandle device, TfCameraExtrinsicParameters *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        int ret = s.GetCameraRotation(params->rotation);
        if (ret == 0) {
            ret = s.GetCameraTransfer(params->translation);
        }
        return ret;
    });
}

int TFCM_GetCameraParameters(TfDeviceHandle device, TfSensorType sensorType, TfCameraParameters *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        if (sensorType != TF_SENSOR_TOF && sensorType != TF_SENSOR_COLOR) {
            return kStatusSensorType;
        }
        const auto sensor = static_cast<SensorType>(sensorType);
        // The colour intrinsics are those of the images of the lens size the camera runs (without an
        // answer, those of the calibration image).
        LensConfig lens{};
        lens.type = 2;
        if (sensor != kSensorColor || s.GetLens(lens) != kStatusOk) {
            lens.width = 0;
            lens.height = 0;
        }
        double k[9] = {};
        int ret = sensor == kSensorColor ? s.GetDeliveredIntrinsic(sensor, k, lens.width, lens.height)
                                         : s.GetCameraIntrinsic(sensor, k);
        TFLOG("sensorType:%d Intrinsic:%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f",
              static_cast<int>(sensorType), k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8]);
        if (ret != kStatusOk) {
            return ret;
        }
        double d[8] = {};
        ret = s.GetCameraDistortion(sensor, d);
        TFLOG("sensorType:%d distortion:%8.6f %8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f %8.6f",
              static_cast<int>(sensorType), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
        if (ret != kStatusOk) {
            return ret;
        }
        TfCameraParameters out{};
        out.fx = k[0];
        out.fy = k[4];
        out.cx = k[2];
        out.cy = k[5];
        out.k1 = d[0];
        out.k2 = d[1];
        out.p1 = d[2];
        out.p2 = d[3];
        out.k3 = d[4];
        out.k4 = d[5];
        out.k5 = d[6];
        out.k6 = d[7];
        *params = out;
        return kStatusOk;
    });
}

int TFCM_GetTransformedPointDepthToColor(TfDeviceHandle device, TfDepthVector3 depthPoint,
                                         TfVector2u16 colorSize, TfVector2u16 *colorPoint)
{
    if (colorPoint == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        return s.GetMappedPointDepthToRGB(depthPoint, colorSize, colorPoint);
    });
}

namespace {
/// Depth the pipeline mapped into the colour camera: the library traces each pixel's colour ray back
/// into the ToF camera's coordinates.
int ConvertMappedDepthFrame(BaseSession &s, const TfFrame &frame, const DeliveredLayout &layout,
                            TfVector3f *world)
{
    const size_t pixels = size_t{frame.width} * frame.height;
    if (pixels == 0 || static_cast<size_t>(frame.dataLen) < pixels * sizeof(uint16_t) ||
        reinterpret_cast<uintptr_t>(frame.pFrameData) % alignof(uint16_t) != 0) {
        TFLOG("mapped depth frame %dx%d cannot be read.", static_cast<int>(frame.width),
              static_cast<int>(frame.height));
        return TF_ERROR_INVALID_ARGUMENT;
    }
    thread_local std::vector<int32_t> indices;
    uint32_t colorWidth = frame.width;
    uint32_t colorHeight = frame.height;
    const bool plain = layout.IsPlain();
    if (!plain) {
        SourceIndices(frame.width, frame.height, layout, colorWidth, colorHeight, indices);
    }
    const int ret = s.MappedDepthToPoints(reinterpret_cast<const uint16_t *>(frame.pFrameData),
                                          static_cast<uint32_t>(pixels), colorWidth, colorHeight,
                                          plain ? nullptr : indices.data(), world);
    return ret == kStatusOk ? TF_OK : TF_ERROR_INVALID_ARGUMENT;
}
} // namespace

int TFCM_ConvertDepthFrameToPointCloudVector(TfDeviceHandle device, const TfFrame *depthFrame,
                                             TfVector3f *worldVectors)
{
    if (depthFrame == nullptr || worldVectors == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    if (depthFrame->pFrameData == nullptr) {
        return TF_ERROR_NO_FRAME_DATA;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &s) -> int {
        // Delivery may have turned or mirrored the frame.
        DeliveredLayout layout;
        if (!s.GetAppliedTransform(depthFrame->pFrameData, depthFrame->frameIndex, layout.rotation,
                                   layout.mirror)) {
            layout = DeliveredLayout{};
        }
        if (depthFrame->frameType == TF_FRAME_DEPTH_MAPPED_TO_COLOR) {
            return ConvertMappedDepthFrame(s, *depthFrame, layout, worldVectors);
        }
        if (depthFrame->frameType != TF_FRAME_DEPTH) {
            TFLOG("frameType:%d carries no depth.", static_cast<int>(depthFrame->frameType));
            return TF_ERROR_INVALID_ARGUMENT;
        }
        const std::shared_ptr<const DepthWorldTable> table = s.GetDepthFrame2WorldTab();
        if (table == nullptr) {
            TFLOG("the depth-to-world table is not ready.");
            return TF_ERROR_INVALID_ARGUMENT;
        }
        return ConvertDepthFrame(*depthFrame, *table, layout, worldVectors);
    });
}

int TFCM_ConvertDepthToPointCloud(TfDeviceHandle, const TfDepthVector3 *depthVectors,
                                  TfVector3f *worldVectors, int32_t count, TfCameraParameters *parameters)
{
    if (depthVectors == nullptr || worldVectors == nullptr || parameters == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    if (count < 1) {
        return TF_OK;
    }
    return GuardedCall(__func__, [&]() -> int {
        ConvertDepthToPoints(depthVectors, worldVectors, count, *parameters);
        return TF_OK;
    });
}

int TFCM_ConvertPointCloudToDepth(TfDeviceHandle, const TfVector3f *worldVectors,
                                  TfDepthVector3 *depthVectors, int32_t count, TfCameraParameters *parameters)
{
    if (worldVectors == nullptr || depthVectors == nullptr || parameters == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    if (count < 1) {
        return TF_OK;
    }
    return GuardedCall(__func__, [&]() -> int {
        ConvertPointsToDepth(worldVectors, depthVectors, count, *parameters);
        return TF_OK;
    });
}
