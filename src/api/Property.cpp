// SPDX-License-Identifier: Apache-2.0
// The property-key dispatch behind TFCM_SetProperty and TFCM_GetProperty: one table per direction,
// key -> required size and handler, read by one routine.
#include "api/Property.h"

#include <cstring>
#include <functional>
#include <iterator>
#include <type_traits>

#include "api/ApiCall.h"
#include "api/CopyRecord.h"
#include "api/RawRecordingHeader.h"
#include "device/DeviceManager.h"
#include "pipeline/Frame.h"
#include "pipeline/RawRecorder.h"
#include "protocol/PropertyKeys.h"

namespace {

using S = BaseSession; // keeps the tables' rows short

struct SetRequest
{
    TfDeviceHandle device;
    BaseSession &session;
    const void *value; ///< not null
    int32_t size;
};

struct GetRequest
{
    TfDeviceHandle device;
    BaseSession &session;
    void *value;   ///< not null
    int32_t *size; ///< not null
};

/// A handler returns the public status.
using SetHandler = int (*)(const SetRequest &);
using GetHandler = int (*)(const GetRequest &);

/// A set rule's size when the value may have any size.
constexpr int32_t kAnySize = -1;

struct SetRule
{
    int32_t key;
    int32_t requiredSize; ///< the exact size a value must have, or kAnySize
    SetHandler handler;
};

struct GetRule
{
    int32_t key;
    GetHandler handler;
};

/// How a session result reaches the caller of TFCM_SetProperty.
enum class SetResult
{
    kTranslated,
    kIgnored, ///< always 0, as these keys always answered
};

/// A key forwarded unchanged to a session key: the session's result is translated.
template <int32_t SessionKey> int ForwardSet(const SetRequest &r)
{
    // Only the addressed key is sent: writing the software version must not also rewrite the IP address.
    return InterRet2ExternRet(r.session.SetProperty(SessionKey, r.value, r.size));
}

template <int32_t SessionKey> int ForwardGet(const GetRequest &r)
{
    return InterRet2ExternRet(r.session.GetProperty(SessionKey, r.value, r.size));
}

/// A text value (serial number, PCBA) handed to the session with its size.
template <auto Set> int SetText(const SetRequest &r)
{
    return InterRet2ExternRet(std::invoke(Set, r.session, static_cast<const char *>(r.value), r.size));
}

template <auto Get> int GetText(const GetRequest &r)
{
    return InterRet2ExternRet(std::invoke(Get, r.session, static_cast<char *>(r.value), *r.size));
}

/// A record built from the caller's value: at most `size` bytes are read, the rest stays zero, so a
/// short value is never read past its end.
template <typename Record, auto Set, SetResult Result = SetResult::kTranslated>
int SetRecord(const SetRequest &r)
{
    Record record{};
    CopyRecord(&record, r.value, r.size > 0 ? static_cast<size_t>(r.size) : 0);
    const int ret = std::invoke(Set, r.session, record);
    if constexpr (Result == SetResult::kIgnored) {
        return 0;
    } else {
        return InterRet2ExternRet(ret);
    }
}

/// Whether a get record starts from the caller's bytes (the caller names what it asks for in them).
enum class Seed
{
    kZero,
    kCallerRecord,
};

/// A record the session fills (through a reference or a pointer), copied back with its size.
template <typename Record, auto Get, Seed Start = Seed::kZero> int GetRecord(const GetRequest &r)
{
    Record record{};
    if constexpr (Start == Seed::kCallerRecord) {
        CopyRecord(&record, static_cast<const void *>(r.value));
    }
    int ret = 0;
    if constexpr (std::is_invocable_v<decltype(Get), BaseSession &, Record &>) {
        ret = std::invoke(Get, r.session, record);
    } else {
        ret = std::invoke(Get, r.session, &record);
    }
    CopyRecord(r.value, &record);
    *r.size = static_cast<int32_t>(sizeof(Record));
    return InterRet2ExternRet(ret);
}

/// The calibration blocks of kKeyCameraParams, indexed by the record's selector.
struct CameraBlock
{
    int (*set)(BaseSession &, const double *);
    int (*get)(BaseSession &, double *);
};

// clang-format off
const CameraBlock kCameraBlocks[] = {
    {[](S &s, const double *v) { return s.SetCameraIntrinsic(kSensorTof, v); },
     [](S &s, double *v) { return s.GetCameraIntrinsic(kSensorTof, v); }},
    {[](S &s, const double *v) { return s.SetCameraDistortion(kSensorTof, v); },
     [](S &s, double *v) { return s.GetCameraDistortion(kSensorTof, v); }},
    {[](S &s, const double *v) { return s.SetCameraIntrinsic(kSensorColor, v); },
     [](S &s, double *v) { return s.GetCameraIntrinsic(kSensorColor, v); }},
    {[](S &s, const double *v) { return s.SetCameraDistortion(kSensorColor, v); },
     [](S &s, double *v) { return s.GetCameraDistortion(kSensorColor, v); }},
    {[](S &s, const double *v) { return s.SetCameraRotation(v); },
     [](S &s, double *v) { return s.GetCameraRotation(v); }},
    {[](S &s, const double *v) { return s.SetCameraTransfer(v); },
     [](S &s, double *v) { return s.GetCameraTransfer(v); }},
    {[](S &s, const double *v) { return s.SetCameraE(v); }, [](S &s, double *v) { return s.GetCameraE(v); }},
    {[](S &s, const double *v) { return s.SetCameraF(v); }, [](S &s, double *v) { return s.GetCameraF(v); }},
};
// clang-format on

/// The block a selector names; an unknown selector is logged and the request does nothing (result 0).
const CameraBlock *FindCameraBlock(uint32_t selector)
{
    if (selector < std::size(kCameraBlocks)) {
        return &kCameraBlocks[selector];
    }
    TFLOG("CameraParams is invalid!");
    return nullptr;
}

int SetCameraParams(BaseSession &s, const CameraParamsProperty &params)
{
    // The doubles of the packed record are misaligned; the session gets an aligned copy.
    double values[9];
    CopyRecord(&values, &params.values);
    const CameraBlock *block = FindCameraBlock(params.selector);
    return block == nullptr ? 0 : block->set(s, values);
}

/// Only the selector is read from the caller's value.
int GetCameraParams(const GetRequest &r)
{
    CameraParamsProperty params{};
    uint32_t selector = 0;
    CopyRecord(&selector, static_cast<const void *>(r.value));
    params.selector = selector;
    double values[9] = {};
    const CameraBlock *block = FindCameraBlock(selector);
    const int ret = block == nullptr ? 0 : block->get(r.session, values);
    CopyRecord(&params.values, &values);
    CopyRecord(r.value, &params);
    *r.size = static_cast<int32_t>(sizeof(params));
    return InterRet2ExternRet(ret);
}

/// Both data-mode keys go through TFCM_SetDataMode / TFCM_GetDataMode, whose results are public.
int SetDataModeByte(const SetRequest &r)
{
    return TFCM_SetDataMode(r.device, static_cast<const uint8_t *>(r.value)[0]);
}

int GetDataModeByte(const GetRequest &r)
{
    uint8_t mode = 3;
    const int ret = TFCM_GetDataMode(r.device, &mode);
    static_cast<uint8_t *>(r.value)[0] = mode;
    *r.size = 1;
    return ret;
}

int SetNothing(const SetRequest &)
{
    return 0;
}

/// The value is the upgrade status callback itself.
int EnterJsonMode(const SetRequest &r)
{
    const int ret = r.session.SetProperty(kSessionEnterJsonMode, r.value, r.size);
    if (ret == kStatusOk) {
        DeviceManager::GetInstance()->SetUpgradeState(kUpgradeJson, r.session.GetSerialNumber());
    }
    return InterRet2ExternRet(ret);
}

int GetTimeFilteredDepth(const GetRequest &r)
{
    Frame frame{};
    int32_t frameSize = static_cast<int32_t>(sizeof(Frame));
    const int ret = r.session.GetProperty(kSessionTimeFilteredDepth, &frame, &frameSize);
    const TfFrame out = ToTfFrame(frame);
    CopyRecord(r.value, &out);
    *r.size = static_cast<int32_t>(sizeof(out));
    return InterRet2ExternRet(ret);
}

int GetGmmGain(const GetRequest &r)
{
    return TFCM_GetIRGMMGain(r.device, static_cast<uint8_t *>(r.value));
}

int GetRgbExposure(const GetRequest &r)
{
    const float exposure = r.session.GetRGBExposuretime();
    CopyRecord(r.value, &exposure);
    *r.size = static_cast<int32_t>(sizeof(exposure));
    return 0;
}

/// The measuring status leaves the caller's size as it was.
int GetMeasuringStatus(const GetRequest &r)
{
    MeasuringStatusGet status{};
    const int ret = r.session.GetMeasuringStatus(&status);
    CopyRecord(r.value, &status);
    return InterRet2ExternRet(ret);
}

/// The drop counters of the opened handle; the session refuses a value too small for the record.
int GetDropCounters(const GetRequest &r)
{
    return InterRet2ExternRet(r.session.GetProperty(kKeyDropCounters, r.value, r.size));
}

/// A path (its length + 1 bytes, NUL last) starts a raw recording; the empty text (1 byte) stops it.
int SetRawRecording(const SetRequest &r)
{
    const auto *text = static_cast<const char *>(r.value);
    if (r.size < 1 || strnlen(text, static_cast<size_t>(r.size)) != static_cast<size_t>(r.size) - 1) {
        TFLOG("invalid param: the raw recording path is not a text of %d bytes with its NUL.", r.size);
        return TF_ERROR_INVALID_ARGUMENT;
    }
    RawRecordingRequest request;
    request.path.assign(text, static_cast<size_t>(r.size) - 1);
    if (!request.path.empty()) {
        request.headerJson = RawRecordingHeader::Build(r.device, r.session);
    }
    return InterRet2ExternRet(r.session.SetProperty(kKeyRawRecording, &request, r.size));
}

/// The raw recording's status; the session refuses a value too small for the record.
int GetRawRecording(const GetRequest &r)
{
    return InterRet2ExternRet(r.session.GetProperty(kKeyRawRecording, r.value, r.size));
}

/// The exact size of a record-valued key, for the set table.
template <typename Record> constexpr int32_t kSizeOf = static_cast<int32_t>(sizeof(Record));

// clang-format off
const SetRule kSetRules[] = {
    {kKeyModeList,              kAnySize, ForwardSet<kSessionModeList>},
    {kKeyRangeList,             kAnySize, ForwardSet<kSessionRangeList>},
    {kKey11,                    kAnySize, ForwardSet<kSession11>},
    {kKeyDeviceSn,              kAnySize, ForwardSet<kSessionDeviceSn>},
    {kKeyMacAddress,            kAnySize, ForwardSet<kSessionMacAddress>},
    {kKeySoftwareVersion,       kAnySize, ForwardSet<kSessionSoftwareVersion>},
    {kKeyIpAddress,             kAnySize, ForwardSet<kSessionIpAddress>},
    {kKeySubnetMask,            kAnySize, ForwardSet<kSessionSubnetMask>},
    {kKeyDspStatus,             kAnySize, ForwardSet<kSessionDspStatus>},
    {kKeyDspStatusAlt,          kAnySize, ForwardSet<kSessionDspStatus>},
    {kKey19,                    kAnySize, ForwardSet<kSession19>},
    {kSessionTalDelay,          kAnySize, ForwardSet<kSessionTalDelay>},
    {kSessionTemperatureOffset, kAnySize, ForwardSet<kSessionTemperatureOffset>},
    {kKeyStartJsonUpgrade,      kAnySize, ForwardSet<kSessionStartJsonUpgrade>},
    {kKeyEnterJsonMode,         kAnySize, EnterJsonMode},
    {kKeyNop,                   kAnySize, SetNothing},
    {kKeyDataMode,              1,        SetDataModeByte},
    {kKeyDataModeAlt,           1,        SetDataModeByte},
    {kKeySerialNumber,          kAnySize, SetText<&S::SetSN>},
    {kKeyPcba,                  kAnySize, SetText<&S::SetPCBA>},
    {kKeyMeasuringRange,  kSizeOf<MeasuringRange>,       SetRecord<MeasuringRange, &S::SetMeasuringRange>},
    {kKeyCameraParams,    kSizeOf<CameraParamsProperty>, SetRecord<CameraParamsProperty, SetCameraParams>},
    {kKeyLdEnable,        kSizeOf<LDEnable>,             SetRecord<LDEnable, &S::SetLDEnable>},
    {kKeyWorkMode,        kAnySize, SetRecord<WorkMode, &S::SetWorkMode>},
    {kKeyGmmGain,         kAnySize, SetRecord<uint8_t, &S::SetGMMGain>},
    {kKeyAccSensitivity,  kAnySize, SetRecord<IMUSensitivity, &S::SetACCSensitivity, SetResult::kIgnored>},
    {kKeyGyroSensitivity, kAnySize, SetRecord<IMUSensitivity, &S::SetGyroSensitivity>},
    {kKeyImuDataMode,     kAnySize, SetRecord<IMUDataMode, &S::SetImuDataMode>},
    {kKeyLens,            kAnySize, SetRecord<LensConfig, &S::SetLens>},
    {kKeyAccOffset,       kAnySize, SetRecord<IMUOffset, &S::SetACCOffset>},
    {kKeyGyroOffset,      kAnySize, SetRecord<IMUOffset, &S::SetGyroOffset>},
    {kKeyAccOffsetTemp,   kAnySize, SetRecord<IMUOffsetTemp, &S::SetACCOffsetTemp>},
    {kKeyGyroOffsetTemp,  kAnySize, SetRecord<IMUOffsetTemp, &S::SetGyroOffsetTemp, SetResult::kIgnored>},
    {kKeyMeasuringStatus, kAnySize, SetRecord<MeasuringStatusSet, &S::SetMeasuringStatus>},
    {kKeyRawRecording,    kAnySize, SetRawRecording},
};

const GetRule kGetRules[] = {
    {kKeyModeList,              ForwardGet<kSessionModeList>},
    {kKeyRangeList,             ForwardGet<kSessionRangeList>},
    {kKey11,                    ForwardGet<kSession11>},
    {kKeyDeviceSn,              ForwardGet<kSessionDeviceSn>},
    {kKeyMacAddress,            ForwardGet<kSessionMacAddress>},
    {kKeySoftwareVersion,       ForwardGet<kSessionSoftwareVersion>},
    {kKeyIpAddress,             ForwardGet<kSessionIpAddress>},
    {kKeySubnetMask,            ForwardGet<kSessionSubnetMask>},
    {kKeyDspStatus,             ForwardGet<kSessionDspStatus>},
    {kKeyDspStatusAlt,          ForwardGet<kSessionDspStatus>},
    {kKey18,                    ForwardGet<kSession18>},
    {kKey19,                    ForwardGet<kSession19>},
    {kSessionStatus,            ForwardGet<kSessionStatus>},
    {kSessionTalDelay,          ForwardGet<kSessionTalDelay>},
    {kSessionTimeFilteredDepth, GetTimeFilteredDepth},
    {kKeyDataMode,              GetDataModeByte},
    {kKeyDataModeAlt,           GetDataModeByte},
    {kKeySerialNumber,          GetText<&S::GetSN>},
    {kKeyFirmwareVersion,       GetText<&S::GetFWVer>},
    {kKeyHardwareVersion,       GetText<&S::GetHWVer>},
    {kKeyPcba,                  GetText<&S::GetPCBA>},
    {kKeyFlashType,             GetText<&S::GetFlashType>},
    {kKeyMeasuringRange,        GetRecord<MeasuringRange, &S::GetMeasuringRange, Seed::kCallerRecord>},
    {kKeyCameraParams,          GetCameraParams},
    {kKeyLdEnable,              GetRecord<LDEnable, &S::GetLDEnable>},
    {kKeyWorkMode,              GetRecord<WorkMode, &S::GetWorkMode, Seed::kCallerRecord>},
    {kKeyGmmGain,               GetGmmGain},
    {kKeyAccSensitivity,        GetRecord<IMUSensitivity, &S::GetACCSensitivity>},
    {kKeyGyroSensitivity,       GetRecord<IMUSensitivity, &S::GetGyroSensitivity>},
    {kKeyRgbExposure,           GetRgbExposure},
    {kKeyLens,                  GetRecord<LensConfig, &S::GetLens, Seed::kCallerRecord>},
    {kKeyAccOffset,             GetRecord<IMUOffset, &S::GetACCOffset>},
    {kKeyGyroOffset,            GetRecord<IMUOffset, &S::GetGyroOffset>},
    {kKeyAccOffsetTemp,         GetRecord<IMUOffsetTemp, &S::GetACCOffsetTemp>},
    {kKeyGyroOffsetTemp,        GetRecord<IMUOffsetTemp, &S::GetGyroOffsetTemp>},
    {kKeyMeasuringStatus,       GetMeasuringStatus},
    {kKeyDropCounters,          GetDropCounters},
    {kKeyRawRecording,          GetRawRecording},
};
// clang-format on

template <typename Rule, size_t N> const Rule *FindRule(const Rule (&rules)[N], int32_t key)
{
    for (const Rule &rule : rules) {
        if (rule.key == key) {
            return &rule;
        }
    }
    return nullptr;
}

/// The camera's debug registers: forwarded in both directions under their own keys.
bool IsDebugKey(int32_t key)
{
    return key >= kSessionDebugFirst && key <= kSessionDebugLast;
}
} // namespace

int DispatchSetProperty(TfDeviceHandle device, BaseSession &s, int32_t key, const void *value, int32_t size)
{
    if (IsDebugKey(key)) {
        return InterRet2ExternRet(s.SetProperty(key, value, size));
    }
    const SetRule *rule = FindRule(kSetRules, key);
    if (rule == nullptr) {
        TFLOG("key:0x%x is invalid.", static_cast<unsigned>(key));
        return TF_ERROR_SET_PROPERTY_KEY;
    }
    if (rule->requiredSize != kAnySize && size != rule->requiredSize) {
        TFLOG("key:0x%x size:%d is invalid, %d is required.", static_cast<unsigned>(key), size,
              rule->requiredSize);
        return TF_ERROR_INVALID_ARGUMENT;
    }
    return rule->handler(SetRequest{device, s, value, size});
}

int DispatchGetProperty(TfDeviceHandle device, BaseSession &s, int32_t key, void *value, int32_t *size)
{
    if (IsDebugKey(key)) {
        return InterRet2ExternRet(s.GetProperty(key, value, size));
    }
    const GetRule *rule = FindRule(kGetRules, key);
    if (rule == nullptr) {
        TFLOG("key:0x%x is invalid.", static_cast<unsigned>(key));
        return TF_ERROR_GET_PROPERTY_KEY;
    }
    return rule->handler(GetRequest{device, s, value, size});
}
