// SPDX-License-Identifier: Apache-2.0
// The property-key dispatch behind TFCM_SetProperty and TFCM_GetProperty.
#include "api/Property.h"

#include <algorithm>
#include <cstring>

#include "api/ApiCall.h"
#include "device/DeviceManager.h"
#include "protocol/PropertyKeys.h"

namespace {

// Camera-parameter selectors of kKeyCameraParams.
enum CameraParamsSelector : uint32_t
{
    kSelTofIntrinsic = 0,
    kSelTofDistortion = 1,
    kSelColorIntrinsic = 2,
    kSelColorDistortion = 3,
    kSelRotation = 4,
    kSelTranslation = 5,
    kSelE = 6,
    kSelF = 7,
};

constexpr int kUpgradeIdle = 0;
constexpr int kUpgradeJson = 2;

/// A record built from the caller's value: at most `size` bytes are read, the rest stays zero, so a
/// short value is never read past its end.
template <typename Record> Record CopyIn(const void *value, int32_t size)
{
    Record record{};
    const size_t available = size > 0 ? static_cast<size_t>(size) : 0;
    std::memcpy(&record, value, std::min(available, sizeof(Record)));
    return record;
}

template <typename Record> void CopyOut(void *value, int32_t *size, const Record &record)
{
    std::memcpy(value, &record, sizeof(Record));
    *size = static_cast<int32_t>(sizeof(Record));
}

int RequireSize(int32_t key, int32_t size, int32_t required)
{
    if (size != required) {
        TFLOG("key:0x%x size:%d is invalid, %d is required.", static_cast<unsigned>(key), size, required);
        return TF_ERROR_INVALID_ARGUMENT;
    }
    return 0;
}

int SetCameraParams(BaseSession &s, const CameraParamsProperty &params)
{
    // The doubles of the packed record are misaligned; the session gets an aligned copy.
    double values[9];
    std::memcpy(values, params.values, sizeof(values));
    switch (params.selector) {
    case kSelTofIntrinsic:
        return s.SetCameraIntrinsic(kSensorTof, values);
    case kSelTofDistortion:
        return s.SetCameraDistortion(kSensorTof, values);
    case kSelColorIntrinsic:
        return s.SetCameraIntrinsic(kSensorColor, values);
    case kSelColorDistortion:
        return s.SetCameraDistortion(kSensorColor, values);
    case kSelRotation:
        return s.SetCameraRotation(values);
    case kSelTranslation:
        return s.SetCameraTransfer(values);
    case kSelE:
        return s.SetCameraE(values);
    case kSelF:
        return s.SetCameraF(values);
    default:
        TFLOG("CameraParams is invalid!");
        return 0;
    }
}

int QueryCameraParams(BaseSession &s, uint32_t selector, double *values)
{
    switch (selector) {
    case kSelTofIntrinsic:
        return s.GetCameraIntrinsic(kSensorTof, values);
    case kSelTofDistortion:
        return s.GetCameraDistortion(kSensorTof, values);
    case kSelColorIntrinsic:
        return s.GetCameraIntrinsic(kSensorColor, values);
    case kSelColorDistortion:
        return s.GetCameraDistortion(kSensorColor, values);
    case kSelRotation:
        return s.GetCameraRotation(values);
    case kSelTranslation:
        return s.GetCameraTransfer(values);
    case kSelE:
        return s.GetCameraE(values);
    case kSelF:
        return s.GetCameraF(values);
    default:
        TFLOG("CameraParams is invalid!");
        return 0;
    }
}

int GetCameraParams(BaseSession &s, CameraParamsProperty &params)
{
    double values[9] = {};
    const int ret = QueryCameraParams(s, params.selector, values);
    std::memcpy(params.values, values, sizeof(values));
    return ret;
}

/// The session key a public key is forwarded to unchanged, or 0.
int32_t ForwardedSetKey(int32_t key)
{
    switch (key) {
    case kKeyModeList:
        return kSessionModeList;
    case kKeyRangeList:
        return kSessionRangeList;
    case kKey11:
        return kSession11;
    case kKeyDeviceSn:
        return kSessionDeviceSn;
    case kKeyMacAddress:
        return kSessionMacAddress;
    case kKeySoftwareVersion:
        return kSessionSoftwareVersion;
    case kKeyIpAddress:
        return kSessionIpAddress;
    case kKeySubnetMask:
        return kSessionSubnetMask;
    case kKeyDspStatus:
    case kKeyDspStatusAlt:
        return kSessionDspStatus;
    case kKey19:
        return kSession19;
    case kSessionTalDelay:
        return kSessionTalDelay;
    case kSessionTemperatureOffset:
        return kSessionTemperatureOffset;
    default:
        if (key >= kSessionDebugFirst && key <= kSessionDebugLast) {
            return key;
        }
        return 0;
    }
}

int32_t ForwardedGetKey(int32_t key)
{
    switch (key) {
    case kKey18:
        return kSession18;
    case kSessionStatus:
        return kSessionStatus;
    case kSessionTemperatureOffset:
        return 0;
    default:
        return ForwardedSetKey(key);
    }
}
} // namespace

int DispatchSetProperty(TfDeviceHandle device, BaseSession &s, int32_t key, const void *value, int32_t size)
{
    const auto *bytes = static_cast<const uint8_t *>(value);
    const int32_t sessionKey = ForwardedSetKey(key);
    if (sessionKey != 0) {
        // Writing the software version must not also rewrite the camera's IP address: only the
        // addressed key is sent.
        return InterRet2ExternRet(s.SetProperty(sessionKey, value, size));
    }
    int ret = 0;
    switch (key) {
    case kKeySerialNumber:
        return InterRet2ExternRet(s.SetSN(static_cast<const char *>(value), size));
    case kKeyDataMode:
    case kKeyDataModeAlt:
        if ((ret = RequireSize(key, size, 1)) != 0) {
            return ret;
        }
        return TFCM_SetDataMode(device, bytes[0]);
    case kKeyNop:
        return 0;
    case kKeyEnterJsonMode:
        // The value is the status callback itself.
        ret = s.SetProperty(kSessionEnterJsonMode, value, size);
        DeviceManager::GetInstance()->SetUpgradeState(ret == 0 ? kUpgradeJson : kUpgradeIdle);
        return InterRet2ExternRet(ret);
    case kKeyStartJsonUpgrade:
        return InterRet2ExternRet(s.SetProperty(kSessionStartJsonUpgrade, value, size));
    case kKeyMeasuringRange:
        if ((ret = RequireSize(key, size, sizeof(MeasuringRange))) != 0) {
            return ret;
        }
        return InterRet2ExternRet(s.SetMeasuringRange(CopyIn<MeasuringRange>(value, size)));
    case kKeyCameraParams:
        if ((ret = RequireSize(key, size, sizeof(CameraParamsProperty))) != 0) {
            return ret;
        }
        return InterRet2ExternRet(SetCameraParams(s, CopyIn<CameraParamsProperty>(value, size)));
    case kKeyLdEnable:
        if ((ret = RequireSize(key, size, sizeof(LDEnable))) != 0) {
            return ret;
        }
        return InterRet2ExternRet(s.SetLDEnable(CopyIn<LDEnable>(value, size)));
    case kKeyPcba:
        return InterRet2ExternRet(s.SetPCBA(static_cast<const char *>(value), size));
    case kKeyWorkMode:
        return InterRet2ExternRet(s.SetWorkMode(CopyIn<WorkMode>(value, size)));
    case kKeyGmmGain:
        return InterRet2ExternRet(s.SetGMMGain(CopyIn<uint8_t>(value, size)));
    case kKeyAccSensitivity:
        (void)s.SetACCSensitivity(CopyIn<IMUSensitivity>(value, size));
        return 0;
    case kKeyGyroSensitivity:
        return InterRet2ExternRet(s.SetGyroSensitivity(CopyIn<IMUSensitivity>(value, size)));
    case kKeyImuDataMode:
        return InterRet2ExternRet(s.SetImuDataMode(CopyIn<IMUDataMode>(value, size)));
    case kKeyLens:
        return InterRet2ExternRet(s.SetLens(CopyIn<LensConfig>(value, size)));
    case kKeyAccOffset:
        return InterRet2ExternRet(s.SetACCOffset(CopyIn<IMUOffset>(value, size)));
    case kKeyGyroOffset:
        return InterRet2ExternRet(s.SetGyroOffset(CopyIn<IMUOffset>(value, size)));
    case kKeyAccOffsetTemp:
        return InterRet2ExternRet(s.SetACCOffsetTemp(CopyIn<IMUOffsetTemp>(value, size)));
    case kKeyGyroOffsetTemp:
        (void)s.SetGyroOffsetTemp(CopyIn<IMUOffsetTemp>(value, size));
        return 0;
    case kKeyMeasuringStatus:
        return InterRet2ExternRet(s.SetMeasuringStatus(CopyIn<MeasuringStatusSet>(value, size)));
    default:
        TFLOG("key:0x%x is invalid.", static_cast<unsigned>(key));
        return TF_ERROR_SET_PROPERTY_KEY;
    }
}

int DispatchGetProperty(TfDeviceHandle device, BaseSession &s, int32_t key, void *value, int32_t *size)
{
    auto *bytes = static_cast<uint8_t *>(value);
    const int32_t sessionKey = ForwardedGetKey(key);
    if (sessionKey != 0) {
        return InterRet2ExternRet(s.GetProperty(sessionKey, value, size));
    }
    int ret = 0;
    switch (key) {
    case kKeySerialNumber:
        return InterRet2ExternRet(s.GetSN(static_cast<char *>(value), *size));
    case kKeyFirmwareVersion:
        return InterRet2ExternRet(s.GetFWVer(static_cast<char *>(value), *size));
    case kKeyHardwareVersion:
        return InterRet2ExternRet(s.GetHWVer(static_cast<char *>(value), *size));
    case kKeyDataMode:
    case kKeyDataModeAlt: {
        uint8_t mode = 3;
        ret = TFCM_GetDataMode(device, &mode);
        bytes[0] = mode;
        *size = 1;
        return ret;
    }
    case kSessionTimeFilteredDepth: {
        Frame frame{};
        int32_t frameSize = static_cast<int32_t>(sizeof(Frame));
        ret = s.GetProperty(kSessionTimeFilteredDepth, &frame, &frameSize);
        const TfFrame out{frame.frameIndex, frame.frameType, frame.pixelFormat,  frame.imuFrameNo,
                          frame.pFrameData, frame.dataLen,   frame.exposureTime, frame.depthRange,
                          frame.width,      frame.height,    frame.timestamp};
        CopyOut(value, size, out);
        return InterRet2ExternRet(ret);
    }
    case kKeyMeasuringRange: {
        // The caller names the range in the record's first byte.
        MeasuringRange range = CopyIn<MeasuringRange>(value, sizeof(MeasuringRange));
        ret = s.GetMeasuringRange(range);
        CopyOut(value, size, range);
        return InterRet2ExternRet(ret);
    }
    case kKeyCameraParams: {
        CameraParamsProperty params{};
        std::memcpy(&params.selector, value, sizeof(params.selector));
        ret = GetCameraParams(s, params);
        CopyOut(value, size, params);
        return InterRet2ExternRet(ret);
    }
    case kKeyLdEnable: {
        LDEnable enable{};
        ret = s.GetLDEnable(enable);
        CopyOut(value, size, enable);
        return InterRet2ExternRet(ret);
    }
    case kKeyPcba:
        return InterRet2ExternRet(s.GetPCBA(static_cast<char *>(value), *size));
    case kKeyWorkMode: {
        WorkMode mode = CopyIn<WorkMode>(value, sizeof(WorkMode));
        ret = s.GetWorkMode(&mode);
        CopyOut(value, size, mode);
        return InterRet2ExternRet(ret);
    }
    case kKeyGmmGain:
        return TFCM_GetIRGMMGain(device, bytes);
    case kKeyAccSensitivity:
    case kKeyGyroSensitivity: {
        IMUSensitivity sensitivity{};
        ret =
            key == kKeyAccSensitivity ? s.GetACCSensitivity(sensitivity) : s.GetGyroSensitivity(sensitivity);
        CopyOut(value, size, sensitivity);
        return InterRet2ExternRet(ret);
    }
    case kKeyRgbExposure: {
        const float exposure = s.GetRGBExposuretime();
        CopyOut(value, size, exposure);
        return 0;
    }
    case kKeyLens: {
        LensConfig lens = CopyIn<LensConfig>(value, sizeof(LensConfig));
        ret = s.GetLens(lens);
        CopyOut(value, size, lens);
        return InterRet2ExternRet(ret);
    }
    case kKeyAccOffset:
    case kKeyGyroOffset: {
        IMUOffset offset{};
        ret = key == kKeyAccOffset ? s.GetACCOffset(offset) : s.GetGyroOffset(offset);
        CopyOut(value, size, offset);
        return InterRet2ExternRet(ret);
    }
    case kKeyAccOffsetTemp:
    case kKeyGyroOffsetTemp: {
        IMUOffsetTemp offset{};
        ret = key == kKeyAccOffsetTemp ? s.GetACCOffsetTemp(offset) : s.GetGyroOffsetTemp(offset);
        CopyOut(value, size, offset);
        return InterRet2ExternRet(ret);
    }
    case kKeyFlashType:
        return InterRet2ExternRet(s.GetFlashType(static_cast<char *>(value), *size));
    case kKeyMeasuringStatus: {
        MeasuringStatusGet status{};
        ret = s.GetMeasuringStatus(&status);
        std::memcpy(value, &status, sizeof(status));
        return InterRet2ExternRet(ret);
    }
    default:
        TFLOG("key:0x%x is invalid.", static_cast<unsigned>(key));
        return TF_ERROR_GET_PROPERTY_KEY;
    }
}
