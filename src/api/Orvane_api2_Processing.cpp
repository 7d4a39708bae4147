// SPDX-License-Identifier: Apache-2.0
// The exported TFCM_ functions of the library's processing switches and filters.
#include "Orvane_api.h"
#include "api/ApiCall.h"
#include "api/CopyRecord.h"
#include "api/DeviceHandle.h"

// ---------------------------------------------------------------------------------------------
// Processing switches
// ---------------------------------------------------------------------------------------------

int TFCM_SetRealDepthCorrectionEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetComputeRealDepthEnabled(enabled); });
}

int TFCM_SetComputeRealDepthCorrectionEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.SetComputeRealDepthEnabled(enabled); });
}

int TFCM_GetComputeRealDepthCorrectionEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.GetComputeRealDepthEnabled(enabled); });
}

int TFCM_SetSmoothingFilterEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.SetSmoothingFilterEnabled(enabled); });
}

int TFCM_GetSmoothingFilterEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.GetSmoothingFilterEnabled(enabled); });
}

int TFCM_SetTimeFilterEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.SetTimeFilterEnabled(enabled); });
}

int TFCM_GetTimeFilterEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.GetTimeFilterEnabled(enabled); });
}

int TFCM_SetToFDistortionCorrectionEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.SetApplyToFDistortionEnabled(enabled); });
}

int TFCM_GetToFDistortionCorrectionEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.GetApplyToFDistortionEnabled(enabled); });
}

int TFCM_SetColorDistortionCorrectionEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.SetApplyRGBDistortionEnabled(enabled); });
}

int TFCM_GetColorDistortionCorrectionEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.GetApplyRGBDistortionEnabled(enabled); });
}

int TFCM_SetRGBCorrectionEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.SetApplyRGBCorrectionEnabled(enabled); });
}

int TFCM_GetRGBCorrectionEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.GetApplyRGBCorrectionEnabled(enabled); });
}

int TFCM_SetTransformColorImgToDepthCameraEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int {
        return s.SetTransformColorImgToDepthCameraEnabled(enabled);
    });
}

int TFCM_IsTransformColorImgToDepthCameraEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int {
        return s.IsTransformColorImgToDepthCameraEnabled(enabled);
    });
}

int TFCM_SetTransformDepthImgToColorCameraEnabled(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int {
        return s.SetTransformDepthImgToColorCameraEnabled(enabled);
    });
}

int TFCM_IsTransformDepthImgToColorCameraEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int {
        return s.IsTransformDepthImgToColorCameraEnabled(enabled);
    });
}

int TFCM_SetSynchronizeEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetSynchronizeEnabled(enabled); });
}

int TFCM_GetSynchronizeEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.GetSynchronizeEnabled(enabled); });
}

int TFCM_SetDepthFrameEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetDepthFrameEnabled(enabled); });
}

int TFCM_SetIrFrameEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetIrFrameEnabled(enabled); });
}

int TFCM_SetConfidenceFrameEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetConfidenceFrameEnabled(enabled); });
}

int TFCM_SetColorFrameEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetRgbFrameEnabled(enabled); });
}

int TFCM_SetImageMirror(TfDeviceHandle device, int mirror)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int { return s.SetImageMirror(mirror); });
}

int TFCM_SetImageRotation(TfDeviceHandle device, int rotation)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetImageRotation(rotation); });
}

// ---------------------------------------------------------------------------------------------
// Filters
// ---------------------------------------------------------------------------------------------

int TFCM_SetConfidenceFilterEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetConfidenceFilterEnable(enabled); });
}

int TFCM_GetConfidenceFilterEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        ConfidenceFilterParams params{};
        int ret = s.GetConfidenceFilterParams(params);
        if (ret == 0) {
            *enabled = params.enable != 0;
        }
        return ret;
    });
}

int TFCM_SetConfidenceFilterParams(TfDeviceHandle device, TfConfidenceFilterParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        ConfidenceFilterParams internal{};
        CopyRecord(&internal, &params);
        return s.SetConfidenceFilterParams(internal);
    });
}

int TFCM_SetFlyingPixelFilterParams(TfDeviceHandle device, TfFlyingPixelFilterParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        FlyingPixelFilterParams internal{};
        CopyRecord(&internal, &params);
        return s.SetFlyingPixelFilterParams(internal);
    });
}

int TFCM_SetFillHoleFilterParams(TfDeviceHandle device, TfFillHoleFilterParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        FillHoleFilterParams internal{};
        CopyRecord(&internal, &params);
        return s.SetFillHoleFilterParams(internal);
    });
}

int TFCM_SetSpatialFilterParams(TfDeviceHandle device, TfSpatialFilterParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        SpatialFilterParams internal{};
        CopyRecord(&internal, &params);
        return s.SetSpatialFilterParams(internal);
    });
}

int TFCM_GetConfidenceFilterParams(TfDeviceHandle device, TfConfidenceFilterParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        ConfidenceFilterParams internal{};
        const int ret = s.GetConfidenceFilterParams(internal);
        CopyRecord(params, &internal);
        return ret;
    });
}

int TFCM_GetFlyingPixelFilterParams(TfDeviceHandle device, TfFlyingPixelFilterParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        FlyingPixelFilterParams internal{};
        const int ret = s.GetFlyingPixelFilterParams(internal);
        CopyRecord(params, &internal);
        return ret;
    });
}

int TFCM_GetFillHoleFilterParams(TfDeviceHandle device, TfFillHoleFilterParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        FillHoleFilterParams internal{};
        const int ret = s.GetFillHoleFilterParams(internal);
        CopyRecord(params, &internal);
        return ret;
    });
}

int TFCM_GetSpatialFilterParams(TfDeviceHandle device, TfSpatialFilterParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        SpatialFilterParams internal{};
        const int ret = s.GetSpatialFilterParams(internal);
        CopyRecord(params, &internal);
        return ret;
    });
}

int TFCM_SetRawDepthCut(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int { return s.SetRawDepthCut(enabled); });
}

int TFCM_SetSaveComputeDepthTab(TfDeviceHandle device)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int { return s.SetSaveComputeDepthTab(); });
}

int TFCM_SetSaveRawBufferEnabled(TfDeviceHandle device, bool enabled)
{
    return CallIgnore(__func__, device,
                      [&](BaseSession &s) -> int { return s.SetSaveRawBufferEnabled(enabled); });
}
