// SPDX-License-Identifier: Apache-2.0
// The exported TFCM_ functions of the camera's settings: gain and exposure, the colour camera, power,
// trigger, test mode and registers.
#include "Orvane_api.h"
#include "api/ApiCall.h"
#include "api/CopyRecord.h"
#include "api/DeviceHandle.h"
#include "protocol/DataModes.h"

// ---------------------------------------------------------------------------------------------
// Gain and exposure
// ---------------------------------------------------------------------------------------------

int TFCM_SetIRGMMGain(TfDeviceHandle device, uint8_t gain)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int { return s.SetGMMGain(gain); });
}

int TFCM_GetIRGMMGain(TfDeviceHandle device, uint8_t *gain)
{
    if (gain == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int { return s.GetGMMGain(gain); });
}

int TFCM_SetToFExposureTime(TfDeviceHandle device, uint32_t exposureTime)
{
    // The multi-range modes (dual frequency included) take the exposure at two slots, the others at one.
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        int ret = s.SetExposureTime(ExposureTime{0, exposureTime});
        if (ret != kStatusOk) {
            return ret;
        }
        uint8_t mode = 0;
        ret = s.GetDataMode(&mode);
        if (ret != kStatusOk || !IsMultiRangeMode(mode)) {
            return ret;
        }
        return s.SetExposureTime(ExposureTime{1, exposureTime});
    });
}

int TFCM_SetToFExposureTime_(TfDeviceHandle device, TfExposureTimeParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        return s.SetExposureTime(ExposureTime{params.index, params.exposureTime});
    });
}

int TFCM_GetToFExposureTime(TfDeviceHandle device, uint32_t *exposureTime)
{
    if (exposureTime == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        ExposureTime first{0, 0};
        ExposureTime second{1, 0};
        int ret = s.GetExposureTime(&first);
        // Only the multi-range modes use the second slot (TFCM_SetToFExposureTime sets it only there):
        // in the others it says nothing about the exposure and is not compared.
        uint8_t mode = 0;
        const bool twoSlots = ret == kStatusOk && s.GetDataMode(&mode) == kStatusOk && IsMultiRangeMode(mode);
        if (twoSlots) {
            ret = s.GetExposureTime(&second);
        }
        if (ret != kStatusOk) {
            *exposureTime = 0;
            return ret;
        }
        if (twoSlots && first.exposureTime != second.exposureTime) {
            TFLOG("The exposureTime %d != %d is different in dualfreq mode.",
                  static_cast<int>(first.exposureTime), static_cast<int>(second.exposureTime));
            return kStatusNotSupported;
        }
        *exposureTime = first.exposureTime;
        return kStatusOk;
    });
}

int TFCM_GetToFExposureTime_(TfDeviceHandle device, TfExposureTimeParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        ExposureTime internal{params->index, 0};
        int ret = s.GetExposureTime(&internal);
        if (ret == 0) {
            params->exposureTime = internal.exposureTime;
        }
        return ret;
    });
}

// ---------------------------------------------------------------------------------------------
// Colour camera
// ---------------------------------------------------------------------------------------------

int TFCM_SetColorResolution(TfDeviceHandle device, uint32_t resolution)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        LensConfig lens{2, 1, 640, 480, 25, 2};
        switch (resolution) {
        case TF_COLOR_640X480:
            break;
        case TF_COLOR_1600X1200:
            lens.width = 1600;
            lens.height = 1200;
            break;
        case TF_COLOR_800X600:
            lens.width = 800;
            lens.height = 600;
            break;
        default:
            TFLOG("resolution:%d is invalid. use default values", static_cast<int>(resolution));
            break;
        }
        return s.SetLens(lens);
    });
}

int TFCM_GetColorResolution(TfDeviceHandle device, uint32_t *resolution)
{
    if (resolution == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        LensConfig lens{};
        lens.type = 2;
        const int ret = s.GetLens(lens);
        if (ret != kStatusOk) {
            return ret;
        }
        // The whole 32-bit value is written so no stale upper bytes survive in the caller's variable.
        if (lens.width == 1920 && lens.height == 1080) {
            *resolution = TF_COLOR_1920X1080;
        } else if (lens.width == 1280 && lens.height == 720) {
            *resolution = TF_COLOR_1280X720;
        } else if (lens.width == 640 && lens.height == 480) {
            *resolution = TF_COLOR_640X480;
        } else if (lens.width == 640 && lens.height == 360) {
            *resolution = TF_COLOR_640X360;
        }
        return ret;
    });
}

int TFCM_SetColorPixelFormat(TfDeviceHandle device, TfPixelFormat format)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        if (format != TF_PIXEL_RGB888 && format != TF_PIXEL_BGR888) {
            return kStatusInvalidArgument;
        }
        return s.SetColorPixelFormat(static_cast<PixelFormat>(format));
    });
}

int TFCM_SetIRPixelFormat(TfDeviceHandle device, TfPixelFormat format)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        if (format != TF_PIXEL_GRAY16 && format != TF_PIXEL_GRAY8) {
            return kStatusInvalidArgument;
        }
        return s.SetIRPixelFormat(static_cast<PixelFormat>(format));
    });
}

int TFCM_SetRgbExplosureTimeAndGain(TfDeviceHandle device, float exposureTime, float gain)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        return s.SetRgbExplosureTimeAndGain(exposureTime, gain);
    });
}

int TFCM_GetRgbExplosureTimeAndGain(TfDeviceHandle device, float *exposureTime, float *gain)
{
    if (exposureTime == nullptr || gain == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        return s.GetRgbExplosureTimeAndGain(exposureTime, gain);
    });
}

// ---------------------------------------------------------------------------------------------
// Power, trigger, test and registers
// ---------------------------------------------------------------------------------------------

int TFCM_SetLowPowerModeEnabled(TfDeviceHandle device, bool enabled)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetLowPowerModeEnabled(enabled); });
}

int TFCM_SetStandByEnabled(TfDeviceHandle device, bool enabled)
{
    return TFCM_SetLowPowerModeEnabled(device, enabled);
}

int TFCM_SetSlaveModeStatus(TfDeviceHandle device, bool mode)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetSlaveMode(mode ? 1 : 0); });
}

int TFCM_SetSoftwareSlaveTrigger(TfDeviceHandle device)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetSoftwareSlaveTrigger(); });
}

int TFCM_SetTestModeState(TfDeviceHandle device, uint32_t mode, TfTestModeParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        TestModeParams internal{};
        CopyRecord(&internal, params);
        return s.SetTestModeState(static_cast<TestMode>(mode), internal);
    });
}

int TFCM_SetRegVal(TfDeviceHandle device, uint16_t *addresses, uint16_t *values, uint8_t count)
{
    if (addresses == nullptr || values == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetRegVal(addresses, values, count); });
}

int TFCM_GetRegVal(TfDeviceHandle device, uint16_t *addresses, uint16_t *values, uint8_t count)
{
    if (addresses == nullptr || values == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.GetRegVal(addresses, values, count); });
}
