// SPDX-License-Identifier: Apache-2.0
// The exported TFCM_ functions of the stream, its frames and the camera's modes (depth range, data mode,
// frame rate, dual frequency).
#include "Orvane_api.h"
#include "api/ApiCall.h"
#include "api/CopyRecord.h"
#include "api/DeviceHandle.h"
#include "pipeline/Frame.h"
#include "protocol/DataModes.h"

// ---------------------------------------------------------------------------------------------
// Stream and frames
// ---------------------------------------------------------------------------------------------

int TFCM_StartStream(TfDeviceHandle device)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int { return s.StartStream(); });
}

int TFCM_StopStream(TfDeviceHandle device)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int { return s.StopStream(); });
}

int TFCM_ReadNextFrame(TfDeviceHandle device, TfFrameReady *ready)
{
    if (ready == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        FrameReady internal{};
        const int ret = s.PrepareNextFrame(&internal);
        CopyRecord(ready, &internal);
        return ret;
    });
}

int TFCM_GetFrame(TfDeviceHandle device, TfFrameType type, TfFrame *frame)
{
    if (frame == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        Frame internal{};
        const int ret = s.GetFrame(static_cast<FrameType>(type), &internal);
        *frame = ToTfFrame(internal);
        return ret;
    });
}

int TFCM_GetFrameMode(TfDeviceHandle device, TfFrameType type, TfFrameMode *mode)
{
    if (mode == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &s) -> int {
        uint32_t pixelFormat = 0;
        switch (type) {
        case TF_FRAME_DEPTH:
            pixelFormat = TF_PIXEL_DEPTH_MM16;
            break;
        case TF_FRAME_IR:
            pixelFormat = TF_PIXEL_GRAY8;
            break;
        case TF_FRAME_COLOR: {
            PixelFormat color = kPixelRgb888;
            (void)s.GetColorPixelFormat(&color);
            pixelFormat = static_cast<uint32_t>(color);
            break;
        }
        default:
            return TF_ERROR_NO_FRAME_MODE;
        }
        FrameMode internal{};
        (void)s.GetFrameMode(static_cast<FrameType>(type), &internal);
        mode->pixelFormat = pixelFormat;
        mode->resolutionWidth = internal.width;
        mode->resolutionHeight = internal.height;
        mode->fps = internal.fps;
        return TF_OK;
    });
}

int TFCM_SetWaitTimeOfReadNextFrame(TfDeviceHandle device, uint16_t waitTimeMs)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int { return s.SetWaitTime(waitTimeMs); });
}

int TFCM_RegisterNotify(TfDeviceHandle device, TfFrameNotifyCallback callback)
{
    return CallBoolean(__func__, device,
                       [&](BaseSession &s) -> int { return s.RegisterNotify(callback) ? 0 : 1; });
}

int TFCM_UnRegisterNotify(TfDeviceHandle device)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int { return s.UnRegisterNotify() ? 0 : 1; });
}

// ---------------------------------------------------------------------------------------------
// Depth range, data mode, frame rate, dual frequency
// ---------------------------------------------------------------------------------------------

int TFCM_GetDepthRange(TfDeviceHandle device, TfDepthRange *range)
{
    if (range == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &s) -> int {
        DepthRange internal{};
        if (s.GetDepthRange(internal) != 0) {
            return TF_ERROR_NOT_CONNECTED;
        }
        *range = static_cast<TfDepthRange>(internal.range);
        return TF_OK;
    });
}

int TFCM_SetDepthRange(TfDeviceHandle device, TfDepthRange range)
{
    return CallRestart(__func__, device, [&](BaseSession &s) -> int {
        return s.SetDepthRange(DepthRange{static_cast<uint32_t>(range)});
    });
}

int TFCM_SetRangeValue(TfDeviceHandle device, TfDepthRange range, int minimum, int maximum)
{
    return CallIgnore(__func__, device, [&](BaseSession &s) -> int {
        return s.SetRangeValue(static_cast<uint32_t>(range), minimum, maximum);
    });
}

int TFCM_GetDepthMeasuringRange(TfDeviceHandle device, TfMeasuringRange *range)
{
    if (range == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        MeasuringRange internal{};
        internal.mode = range->depthRange;
        int ret = s.GetMeasuringRangeInternal(internal);
        if (ret == 0) {
            range->depthMax[0] = internal.range0;
            range->depthMax[1] = 0;
            range->depthMax[2] = internal.range2;
        }
        return ret;
    });
}

int TFCM_SetDataMode(TfDeviceHandle device, TfDataMode mode)
{
    return CallRestart(__func__, device, [&](BaseSession &s) -> int {
        const auto dataMode = static_cast<uint8_t>(mode & 0xFF);
        int ret = s.SetDataMode(dataMode);
        if (ret == 0 && IsDualFrequencyMode(dataMode)) {
            DualFreqMode output{2, {5, 0, 0}};
            ret = s.SetDualFreqMode(output);
        }
        return ret;
    });
}

int TFCM_GetDataMode(TfDeviceHandle device, uint8_t *mode)
{
    if (mode == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int { return s.GetDataMode(mode); });
}

int TFCM_SetFrameRate(TfDeviceHandle device, uint8_t fps)
{
    return CallRestart(__func__, device, [&](BaseSession &s) -> int { return s.SetTofFrameRate(fps); });
}

int TFCM_GetFrameRate(TfDeviceHandle device, uint8_t *fps)
{
    if (fps == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int { return s.GetTofFrameRate(fps); });
}

int TFCM_SetWDROutputMode(TfDeviceHandle device, TfWDROutputMode *mode)
{
    if (mode == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        DualFreqMode internal{};
        CopyRecord(&internal, mode);
        const int ret = s.SetDualFreqMode(internal);
        CopyRecord(mode, &internal); // the session may normalise the record
        return ret;
    });
}

int TFCM_GetWDROutputMode(TfDeviceHandle device, TfWDROutputMode *mode)
{
    if (mode == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        DualFreqMode internal{};
        CopyRecord(&internal, mode);
        const int ret = s.GetDualFreqMode(&internal);
        CopyRecord(mode, &internal);
        return ret;
    });
}

int TFCM_SetWDRStyle(TfDeviceHandle device, uint32_t style)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetWDRStyle(static_cast<WDRStyle>(style)); });
}
