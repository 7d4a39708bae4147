// SPDX-License-Identifier: Apache-2.0
// The 105 exported TFCM_ functions: argument checks, then one call to the device manager or session 0.
#include <atomic>
#include <cstring>
#include <memory>

#include "Orvane_api.h"
#include "api/ApiCall.h"
#include "api/DeviceHandle.h"
#include "api/PointCloud.h"
#include "api/Property.h"
#include "device/BaseDevice.h"
#include "device/DeviceManager.h"
#include "runtime/Config.h"
#include "runtime/LogCustom.h"

namespace {
const char *const VERSION = "1.0.2";
const char *const LOGPREFIX = "OrvaneSDK";
constexpr size_t kVersionChars = 5;

/// Set by TFCM_Initialize, cleared by TFCM_Shutdown (both called from one thread).
std::atomic<bool> g_hasInitialized{false};

constexpr size_t kMaxFirmwarePathChars = 260;
constexpr int kPropertySerialNumber = 5;
constexpr int kPropertyFirmwareVersion = 6;
constexpr int kPropertyMacAddress = 13;
constexpr int kPropertyDspStatus = 17;

constexpr int kUpgradeIdle = 0;
constexpr int kUpgradeFirmware = 1;

bool IsDualFrequencyMode(uint8_t mode)
{
    return mode == 9 || mode == 10;
}
bool HasTwoExposureSlots(uint8_t mode)
{
    return mode == 5 || mode == 7 || mode == 9 || mode == 10;
}

/// Opens through one of the device manager's open calls and hands the application a handle cell.
template <typename Open> int OpenWithCell(TfDeviceHandle *device, Open &&open)
{
    int ret = 0;
    auto cell = std::make_unique<Device>();
    cell->pDevice = open(ret);
    if (cell->pDevice == nullptr) {
        *device = nullptr;
    } else {
        *device = cell.release(); // freed by TFCM_CloseDevice
    }
    return InterRet2ExternRet(ret);
}

void CopyFrame(const Frame &frame, TfFrame &out)
{
    out.frameIndex = frame.frameIndex;
    out.frameType = frame.frameType;
    out.pixelFormat = frame.pixelFormat;
    out.imuFrameNo = frame.imuFrameNo;
    out.pFrameData = frame.pFrameData;
    out.dataLen = frame.dataLen;
    out.exposureTime = frame.exposureTime;
    out.depthRange = frame.depthRange;
    out.width = frame.width;
    out.height = frame.height;
    out.timestamp = frame.timestamp;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Lifecycle
// ---------------------------------------------------------------------------------------------

int TFCM_Initialize(void)
{
    return GuardedCall(__func__, []() -> int {
        if (g_hasInitialized) {
            TFLOG("ReInitialized,do not call TFCM_Shutdown");
            return TF_ERROR_ALREADY_INITIALIZED;
        }
        LogCustom::Initance(LOGPREFIX, LOGPREFIX, Config::GetInstance()->logToConsole);
        TFLOG("-----------------------------------------------------");
        TFLOG("Version: %s", VERSION);
        DeviceManager::GetInstance()->Start();
        g_hasInitialized = true;
        return TF_OK;
    });
}

int TFCM_Shutdown(void)
{
    return GuardedCall(__func__, []() -> int {
        if (!g_hasInitialized) {
            TFLOG("do not call TFCM_Initialize");
            return TF_ERROR_NOT_INITIALIZED;
        }
        DeviceManager *manager = DeviceManager::GetInstance();
        manager->Stop();
        manager->Join();
        DeviceManager::Release();
        TFLOG("=====================================================");
        LogCustom::Release();
        Config::Release();
        g_hasInitialized = false;
        return TF_OK;
    });
}

int TFCM_GetSDKVersion(char *version)
{
    if (version == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    std::memcpy(version, VERSION, kVersionChars); // no terminating NUL, as documented
    return TF_OK;
}

// ---------------------------------------------------------------------------------------------
// Device manager
// ---------------------------------------------------------------------------------------------

int TFCM_GetDeviceCount(uint32_t *count)
{
    if (count == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        *count = static_cast<uint32_t>(DeviceManager::GetInstance()->GetCameraCount());
        return TF_OK;
    });
}

int TFCM_GetDeviceListInfo(TfDeviceInfo *list, uint32_t count)
{
    if (list == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        return InterRet2ExternRet(DeviceManager::GetInstance()->GetDeviceInfoList(list, count));
    });
}

int TFCM_GetDeviceInfo(TfDeviceInfo *info, uint32_t index)
{
    if (info == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        return InterRet2ExternRet(DeviceManager::GetInstance()->GetDeviceInfo(info, index));
    });
}

int TFCM_OpenDevice(const char *uri, TfDeviceHandle *device)
{
    if (uri == nullptr || device == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager *manager = DeviceManager::GetInstance();
        if (manager->checkOpenedByURI(uri)) {
            return TF_ERROR_ALREADY_OPENED;
        }
        return OpenWithCell(device, [&](int &ret) { return manager->OpenDevice(uri, ret); });
    });
}

int TFCM_OpenDeviceByAlias(const char *alias, TfDeviceHandle *device)
{
    if (alias == nullptr || device == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager *manager = DeviceManager::GetInstance();
        if (manager->checkOpenedByAlias(alias)) {
            return TF_ERROR_ALREADY_OPENED;
        }
        return OpenWithCell(device, [&](int &ret) { return manager->OpenDeviceByAlias(alias, ret); });
    });
}

int TFCM_OpenDeviceByIP(const char *ip, TfDeviceHandle *device)
{
    if (ip == nullptr || device == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager *manager = DeviceManager::GetInstance();
        return OpenWithCell(device, [&](int &ret) { return manager->OpenDeviceByIP(ip, ret); });
    });
}

int TFCM_CloseDevice(TfDeviceHandle *device)
{
    if (device == nullptr || *device == nullptr) {
        return TF_ERROR_INVALID_HANDLE;
    }
    return GuardedCall(__func__, [&]() -> int {
        std::unique_ptr<Device> cell(*device);
        *device = nullptr;
        DeviceManager::GetInstance()->ReleaseDevice(cell->pDevice);
        return TF_OK;
    });
}

int TFCM_SetHotPlugStatusCallback(TfHotPlugCallback callback)
{
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager::GetInstance()->SetHotPlugStatusCallback(callback);
        return TF_OK;
    });
}

int TFCM_SetHotPlugStatusCallback_(TfHotPlugCallbackEx callback, void *context)
{
    if (context == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager::GetInstance()->SetHotPlugStatusCallback_(callback, context);
        return TF_OK;
    });
}

int TFCM_GetDeviceIP(const char *uri, char *ip)
{
    if (ip == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        return InterRet2ExternRet(DeviceManager::GetInstance()->GetDeviceIP(uri, ip));
    });
}

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
        int ret = s.PrepareNextFrame(&internal);
        static_assert(sizeof(internal) == sizeof(*ready), "FrameReady mirrors TfFrameReady");
        std::memcpy(ready, &internal, sizeof(*ready));
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
        int ret = s.GetFrame(static_cast<FrameType>(type), &internal);
        CopyFrame(internal, *frame);
        return ret;
    });
}

int TFCM_GetFrameMode(TfDeviceHandle device, TfFrameType type, TfFrameMode *mode)
{
    if (mode == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
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
            (void)s->GetColorPixelFormat(&color);
            pixelFormat = static_cast<uint32_t>(color);
            break;
        }
        default:
            return TF_ERROR_NO_FRAME_MODE;
        }
        FrameMode internal{};
        (void)s->GetFrameMode(static_cast<FrameType>(type), &internal);
        mode->pixelFormat = pixelFormat;
        mode->resolutionWidth = internal.width;
        mode->resolutionHeight = internal.height;
        mode->fps = internal.fps;
        return TF_OK;
    });
}

// ---------------------------------------------------------------------------------------------
// Depth range, data mode, frame rate, dual frequency
// ---------------------------------------------------------------------------------------------

int TFCM_GetDepthRange(TfDeviceHandle device, TfDepthRange *range)
{
    if (range == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        DepthRange internal{};
        if (s->GetDepthRange(internal) != 0) {
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
        std::memcpy(&internal, mode, sizeof(internal));
        int ret = s.SetDualFreqMode(internal);
        std::memcpy(mode, &internal, sizeof(internal)); // the session may normalise the record
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
        std::memcpy(&internal, mode, sizeof(internal));
        int ret = s.GetDualFreqMode(&internal);
        std::memcpy(mode, &internal, sizeof(internal));
        return ret;
    });
}

int TFCM_SetWDRStyle(TfDeviceHandle device, uint32_t style)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetWDRStyle(static_cast<WDRStyle>(style)); });
}

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
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        ret = s->SetExposureTime(ExposureTime{0, exposureTime});
        if (ret != 0) {
            return InterRet2ExternRet(ret);
        }
        uint8_t mode = 0;
        ret = s->GetDataMode(&mode);
        if (ret != 0) {
            return InterRet2ExternRet(ret);
        }
        if (HasTwoExposureSlots(mode)) {
            return InterRet2ExternRet(s->SetExposureTime(ExposureTime{1, exposureTime}));
        }
        return TF_OK;
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
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        ExposureTime first{0, 0};
        ExposureTime second{1, 0};
        ret = s->GetExposureTime(&first);
        // Only the modes with two exposure slots use the second one (TFCM_SetToFExposureTime sets it
        // only there): in the others it says nothing about the exposure and is not compared.
        uint8_t mode = 0;
        const bool twoSlots = ret == 0 && s->GetDataMode(&mode) == 0 && HasTwoExposureSlots(mode);
        if (ret == 0 && twoSlots) {
            ret = s->GetExposureTime(&second);
        }
        if (ret != 0) {
            *exposureTime = 0;
            return InterRet2ExternRet(ret);
        }
        if (twoSlots && first.exposureTime != second.exposureTime) {
            TFLOG("The exposureTime %d != %d is different in dualfreq mode.",
                  static_cast<int>(first.exposureTime), static_cast<int>(second.exposureTime));
            return InterRet2ExternRet(BaseSession::kNotSupported);
        }
        *exposureTime = first.exposureTime;
        return TF_OK;
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
        int ret = s.GetLens(lens);
        if (ret != 0) {
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
            return static_cast<int>(TF_ERROR_INVALID_ARGUMENT);
        }
        return s.SetColorPixelFormat(static_cast<PixelFormat>(format));
    });
}

int TFCM_SetIRPixelFormat(TfDeviceHandle device, TfPixelFormat format)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        if (format != TF_PIXEL_GRAY16 && format != TF_PIXEL_GRAY8) {
            return static_cast<int>(TF_ERROR_INVALID_ARGUMENT);
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
        std::memcpy(&internal, &params, sizeof(internal));
        return s.SetConfidenceFilterParams(internal);
    });
}

int TFCM_SetFlyingPixelFilterParams(TfDeviceHandle device, TfFlyingPixelFilterParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        FlyingPixelFilterParams internal{};
        std::memcpy(&internal, &params, sizeof(internal));
        return s.SetFlyingPixelFilterParams(internal);
    });
}

int TFCM_SetFillHoleFilterParams(TfDeviceHandle device, TfFillHoleFilterParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        FillHoleFilterParams internal{};
        std::memcpy(&internal, &params, sizeof(internal));
        return s.SetFillHoleFilterParams(internal);
    });
}

int TFCM_SetSpatialFilterParams(TfDeviceHandle device, TfSpatialFilterParams params)
{
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        SpatialFilterParams internal{};
        std::memcpy(&internal, &params, sizeof(internal));
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
        int ret = s.GetConfidenceFilterParams(internal);
        std::memcpy(params, &internal, sizeof(internal));
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
        int ret = s.GetFlyingPixelFilterParams(internal);
        std::memcpy(params, &internal, sizeof(internal));
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
        int ret = s.GetFillHoleFilterParams(internal);
        std::memcpy(params, &internal, sizeof(internal));
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
        int ret = s.GetSpatialFilterParams(internal);
        std::memcpy(params, &internal, sizeof(internal));
        return ret;
    });
}

int TFCM_SetRawDepthCut(TfDeviceHandle device, bool enabled)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int { return s.SetRawDepthCut(enabled); });
}

int TFCM_SetWaitTimeOfReadNextFrame(TfDeviceHandle device, uint16_t waitTimeMs)
{
    return CallBoolean(__func__, device, [&](BaseSession &s) -> int { return s.SetWaitTime(waitTimeMs); });
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
        std::memcpy(internal.values, params->values, sizeof(internal.values));
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
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        if (sensorType != TF_SENSOR_TOF && sensorType != TF_SENSOR_COLOR) {
            return TF_ERROR_SENSOR_TYPE;
        }
        const auto sensor = static_cast<SensorType>(sensorType);
        double k[9] = {};
        ret = s->GetCameraIntrinsic(sensor, k);
        TFLOG("sensorType:%d Intrinsic:%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f",
              static_cast<int>(sensorType), k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8]);
        if (ret != 0) {
            return InterRet2ExternRet(ret);
        }
        double d[8] = {};
        ret = s->GetCameraDistortion(sensor, d);
        TFLOG("sensorType:%d distortion:%8.6f %8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f %8.6f",
              static_cast<int>(sensorType), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
        if (ret != 0) {
            return InterRet2ExternRet(ret);
        }
        TfCameraParameters out{};
        out.fx = k[0];
        out.fy = k[4];
        out.cx = k[2];
        out.cy = k[5];
        if (sensorType == TF_SENSOR_COLOR) {
            uint32_t resolution = TF_COLOR_1920X1080;
            if (TFCM_GetColorResolution(device, &resolution) == TF_OK) {
                ScaleColorIntrinsics(resolution, out);
            }
        }
        out.k1 = d[0];
        out.k2 = d[1];
        out.p1 = d[2];
        out.p2 = d[3];
        out.k3 = d[4];
        out.k4 = d[5];
        out.k5 = d[6];
        out.k6 = d[7];
        *params = out;
        return TF_OK;
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

int TFCM_ConvertDepthFrameToPointCloudVector(TfDeviceHandle device, const TfFrame *depthFrame,
                                             TfVector3f *worldVectors)
{
    if (depthFrame == nullptr || worldVectors == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    if (depthFrame->pFrameData == nullptr) {
        return TF_ERROR_NO_FRAME_DATA;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        const DepthWorldRay *table = s->GetDepthFrame2WorldTab();
        if (table == nullptr) {
            TFLOG("the depth-to-world table is not ready.");
            return TF_ERROR_INVALID_ARGUMENT;
        }
        return ConvertDepthFrame(*depthFrame, table, worldVectors);
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
    ConvertDepthToPoints(depthVectors, worldVectors, count, *parameters);
    return TF_OK;
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
    ConvertPointsToDepth(worldVectors, depthVectors, count, *parameters);
    return TF_OK;
}

// ---------------------------------------------------------------------------------------------
// Device information through properties
// ---------------------------------------------------------------------------------------------

int TFCM_SetDSPEnabled(TfDeviceHandle device, bool enabled)
{
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        DSPParameters params{};
        params.enable = enabled ? 1 : 0;
        return TFCM_SetProperty(device, kPropertyDspStatus, &params, sizeof(params));
    });
}

int TFCM_GetDSPEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        DSPParameters params{};
        int32_t size = sizeof(params);
        ret = TFCM_GetProperty(device, kPropertyDspStatus, &params, &size);
        *enabled = ret == 0 && params.enable == 1;
        return ret;
    });
}

int TFCM_GetSerialNumber(TfDeviceHandle device, char *buffer, int size)
{
    if (buffer == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        int32_t length = size;
        return TFCM_GetProperty(device, kPropertySerialNumber, buffer, &length);
    });
}

int TFCM_GetFirmwareVersionNumber(TfDeviceHandle device, char *buffer, int size)
{
    if (buffer == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        int32_t length = size;
        return TFCM_GetProperty(device, kPropertyFirmwareVersion, buffer, &length);
    });
}

int TFCM_GetDeviceMAC(TfDeviceHandle device, char *buffer)
{
    if (buffer == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        int32_t length = 1;
        return TFCM_GetProperty(device, kPropertyMacAddress, buffer, &length);
    });
}

// ---------------------------------------------------------------------------------------------
// Firmware upgrade and file transfer
// ---------------------------------------------------------------------------------------------

int TFCM_StartUpgradeFirmWare(TfDeviceHandle device, const char *path)
{
    if (path == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    if (strnlen(path, kMaxFirmwarePathChars + 1) > kMaxFirmwarePathChars) {
        return TF_ERROR_UPGRADE_PATH_TOO_LONG;
    }
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        ret = s->StartUpgradeFirmWare(path);
        DeviceManager *manager = DeviceManager::GetInstance();
        if (ret == 0 || ret == 1) {
            manager->SetUpgradeState(kUpgradeFirmware);
            return TF_OK;
        }
        manager->SetUpgradeState(kUpgradeIdle);
        switch (ret) {
        case -4:
            return TF_ERROR_UPGRADE_NO_CALLBACK;
        case -2:
            return TF_ERROR_UPGRADE_FILE;
        case -1:
            return TF_ERROR_UPGRADE_REJECTED;
        default:
            return TF_ERROR_OTHER;
        }
    });
}

int TFCM_SetUpgradeStatusCallback(TfDeviceHandle device, TfUpgradeStatusCallback callback)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetUpgradeStatusCallback(callback); });
}

int TFCM_TransferFile(TfDeviceHandle device, TfFileTransferParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        constexpr size_t kNameChars = sizeof(params->name);
        // The name must end inside its field: the camera session treats it as a C string.
        if (strnlen(params->name, kNameChars) == kNameChars) {
            char shown[kNameChars + 1] = {};
            std::memcpy(shown, params->name, kNameChars);
            TFLOG("The length of fileTransferParams->name:%s is too large than %d.", shown,
                  static_cast<int>(kNameChars));
            return static_cast<int>(TF_ERROR_INVALID_ARGUMENT);
        }
        FileTransferParams internal{};
        internal.type = params->type;
        std::memcpy(internal.name, params->name, kNameChars);
        internal.direction = params->direction;
        internal.index = params->index;
        internal.callback = params->callback;
        internal.userData = params->userData;
        return s.TransferFile(internal);
    });
}

// ---------------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------------

int TFCM_SetProperty(TfDeviceHandle device, int32_t key, const void *value, int32_t size)
{
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        if (value == nullptr) {
            return TF_ERROR_PROPERTY_NULL;
        }
        return DispatchSetProperty(device, *s, key, value, size);
    });
}

int TFCM_GetProperty(TfDeviceHandle device, int32_t key, void *value, int32_t *size)
{
    return GuardedCall(__func__, [&]() -> int {
        BaseSession *s = nullptr;
        int ret = checkSessionValid(device, &s);
        if (ret != 0) {
            return ret;
        }
        if (value == nullptr || size == nullptr) {
            return TF_ERROR_PROPERTY_NULL;
        }
        return DispatchGetProperty(device, *s, key, value, size);
    });
}
