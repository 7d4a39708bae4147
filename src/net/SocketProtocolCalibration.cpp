// SPDX-License-Identifier: Apache-2.0
// SocketProtocol: camera and inertial sensor calibration, device information and identity strings, mode and
// range lists, DSP functions and the upgrade and JSON configuration states.
#include "net/SocketProtocol.h"
#include "net/WireBytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "net/ProtocolChecks.h"
#include "runtime/LogCustom.h"

namespace {

constexpr int kCmdCalibration = 0x10;
constexpr int kCmdDeviceInfo = 0x13;
constexpr int kCmdIdentity = 0x18;
constexpr int kCmdDsp = 0x19;
constexpr int kCmdUpgrade = 0x1D;

constexpr uint8_t kInfoPcba = 1;
constexpr uint8_t kInfoSn = 2;
constexpr uint8_t kInfoFwVer = 3;
constexpr uint8_t kInfoHwVer = 4;
constexpr uint8_t kInfoDepthRangeList = 6;
constexpr uint8_t kInfoOutModeList = 7;
constexpr uint8_t kInfoAlias = 23;

constexpr uint8_t kIdentitySn = 2;
constexpr uint8_t kIdentityMac = 3;
constexpr uint8_t kIdentitySoftVer = 4;
constexpr uint8_t kIdentityIp = 5;
constexpr uint8_t kIdentitySubnetMask = 6;
/// A query of an identity item uses its setting's sub-id plus this.
constexpr uint8_t kIdentityGetOffset = 0x10;
constexpr uint8_t kJsonConfigQuery = 0x17;

constexpr uint8_t kUpgradeSelector = 1;
constexpr uint8_t kUpgradeSupportSelector = 2;
constexpr uint8_t kJsonSelector = 3;

constexpr int kFullPayloadBytes = 64;
/// Room for any request payload and any reply data (the data length is one byte).
constexpr int kPayloadBytes = 256;
constexpr int kMaxTextBytes = kFullPayloadBytes - 1;
constexpr int kPeerIpBytes = 16;

/// Doubles travel as little-endian IEEE-754 binary64.
void PutDouble(uint8_t *p, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

double GetDouble(const uint8_t *p)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | p[i];
    }
    double value = 0;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

/// The sub-ids of a sensor's intrinsics and distortion; nullptr for an unknown sensor.
const uint8_t *IntrinsicSubIds(SensorType sensor)
{
    static const uint8_t tof[] = {0, 1};
    static const uint8_t color[] = {4, 5};
    return sensor == kSensorTof ? tof : sensor == kSensorColor ? color : nullptr;
}

const uint8_t *DistortionSubIds(SensorType sensor)
{
    static const uint8_t tof[] = {2, 3};
    static const uint8_t color[] = {6, 7};
    return sensor == kSensorTof ? tof : sensor == kSensorColor ? color : nullptr;
}

constexpr int kMatrixParts[] = {4, 5};
constexpr int kDistortionParts[] = {4, 4};
constexpr int kTranslationParts[] = {3};
constexpr uint8_t kRotationSubIds[] = {8, 9};
constexpr uint8_t kTranslationSubIds[] = {10};
constexpr uint8_t kESubIds[] = {11, 12};
constexpr uint8_t kFSubIds[] = {13, 14};

/// Where each DSP function sits in the 0x19 payload.
struct DspRow
{
    uint8_t setSelector; ///< [1] of a setting; a query adds 0x80
    uint8_t group;       ///< [2]
    uint8_t subId;       ///< [3] for functions whose enable sits at [4]; 0 for those with enable at [3]
    int enableAt;
    bool hasThreshold; ///< threshold at [5]
};

constexpr DspRow kDspRows[] = {
    {1, 1, 0, 3, false}, {1, 2, 0, 3, false}, {1, 3, 0, 3, false}, {2, 1, 2, 4, false}, {2, 1, 3, 4, false},
    {2, 1, 4, 4, true},  {2, 1, 1, 4, false}, {2, 1, 5, 4, false}, {2, 3, 1, 4, false}, {2, 2, 1, 4, false},
    {2, 1, 6, 4, false}, {2, 1, 7, 4, false}, {2, 1, 8, 4, true},
};
constexpr uint32_t kDspRowCount = sizeof(kDspRows) / sizeof(kDspRows[0]);
constexpr uint32_t kDspConfigTbd = 10;
constexpr uint8_t kDspQuery = 0x80;
constexpr uint8_t kConfidenceSubId = 6;

/// A printable copy of a text of `length` bytes that need not end in a NUL.
std::string Shown(const char *text, int length)
{
    if (text == nullptr || length <= 0) {
        return std::string();
    }
    return std::string(text, strnlen(text, static_cast<size_t>(length)));
}

std::string FormatDoubles(const double *values, int count)
{
    std::string text;
    char one[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(one, sizeof(one), i == 0 ? "%08.6f" : " %08.6f", values[i]);
        text += one;
    }
    return text;
}

} // namespace

int SocketProtocol::SetCalibration(const char *name, const uint8_t *subIds, const int *counts, int parts,
                                   const double *values)
{
    TF_RETURN_IF_NULL(values);
    int offset = 0;
    for (int part = 0; part < parts; ++part) {
        uint8_t payload[kPayloadBytes] = {subIds[part]};
        for (int i = 0; i < counts[part]; ++i) {
            PutDouble(payload + 1 + 8 * i, values[offset + i]);
        }
        const int ret = Transact(kCmdCalibration, payload, 0, 1 + 8 * counts[part], kKindSet);
        if (ret != 0) {
            TFLOG("%s ret:%d is failed.", name, ret);
            return ret;
        }
        offset += counts[part];
    }
    return 0;
}

int SocketProtocol::GetCalibration(const char *name, const uint8_t *subIds, const int *counts, int parts,
                                   double *values)
{
    TF_RETURN_IF_NULL(values);
    int offset = 0;
    for (int part = 0; part < parts; ++part) {
        uint8_t payload[kPayloadBytes] = {subIds[part]};
        const int ret = Transact(kCmdCalibration, payload, 1 + 8 * counts[part], 1, kKindGet);
        if (ret != 0) {
            TFLOG("%s ret:%d is failed.", name, ret);
            return ret;
        }
        for (int i = 0; i < counts[part]; ++i) {
            values[offset + i] = GetDouble(payload + 1 + 8 * i);
        }
        offset += counts[part];
    }
    TFLOG("%s:%s", name, FormatDoubles(values, offset).c_str());
    return 0;
}

int SocketProtocol::SetCameraIntrinsic(SensorType sensor, const double *values)
{
    const uint8_t *subIds = IntrinsicSubIds(sensor);
    if (subIds == nullptr) {
        TFLOG("cameraType:%d is invaild", static_cast<int>(sensor));
        return 0;
    }
    return SetCalibration("Intrinsic", subIds, kMatrixParts, 2, values);
}

int SocketProtocol::GetCameraIntrinsic(SensorType sensor, double *values)
{
    const uint8_t *subIds = IntrinsicSubIds(sensor);
    if (subIds == nullptr) {
        TFLOG("cameraType:%d is invaild", static_cast<int>(sensor));
        return 0;
    }
    return GetCalibration("Intrinsic", subIds, kMatrixParts, 2, values);
}

int SocketProtocol::SetCameraDistortion(SensorType sensor, const double *values)
{
    const uint8_t *subIds = DistortionSubIds(sensor);
    if (subIds == nullptr) {
        TFLOG("cameraType:%d is invaild", static_cast<int>(sensor));
        return 0;
    }
    return SetCalibration("Distortion", subIds, kDistortionParts, 2, values);
}

int SocketProtocol::GetCameraDistortion(SensorType sensor, double *values)
{
    const uint8_t *subIds = DistortionSubIds(sensor);
    if (subIds == nullptr) {
        TFLOG("cameraType:%d is invaild", static_cast<int>(sensor));
        return 0;
    }
    return GetCalibration("Distortion", subIds, kDistortionParts, 2, values);
}

int SocketProtocol::SetCameraRotation(const double *values)
{
    return SetCalibration("Rotation", kRotationSubIds, kMatrixParts, 2, values);
}

int SocketProtocol::GetCameraRotation(double *values)
{
    return GetCalibration("Rotation", kRotationSubIds, kMatrixParts, 2, values);
}

int SocketProtocol::SetCameraTransfer(const double *values)
{
    return SetCalibration("Transfer", kTranslationSubIds, kTranslationParts, 1, values);
}

int SocketProtocol::GetCameraTransfer(double *values)
{
    return GetCalibration("Transfer", kTranslationSubIds, kTranslationParts, 1, values);
}

int SocketProtocol::SetCameraE(const double *values)
{
    return SetCalibration("E", kESubIds, kMatrixParts, 2, values);
}

int SocketProtocol::GetCameraE(double *values)
{
    return GetCalibration("E", kESubIds, kMatrixParts, 2, values);
}

int SocketProtocol::SetCameraF(const double *values)
{
    return SetCalibration("F", kFSubIds, kMatrixParts, 2, values);
}

int SocketProtocol::GetCameraF(double *values)
{
    return GetCalibration("F", kFSubIds, kMatrixParts, 2, values);
}

// Inertial sensor calibration stays on the camera: settings are logged and accepted.

int SocketProtocol::SetACCSensitivity(const IMUSensitivity &value)
{
    const float *v = value.values;
    TFLOG("sensitivity:%08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f", v[0], v[1], v[2],
          v[3], v[4], v[5], v[6], v[7], v[8]);
    return 0;
}

int SocketProtocol::GetACCSensitivity(IMUSensitivity &)
{
    return 0;
}

int SocketProtocol::SetACCOffset(const IMUOffset &value)
{
    TFLOG("offset:%d %d %d %08.6f %08.6f %08.6f", value.flags[0], value.flags[1], value.flags[2],
          static_cast<double>(value.offsets[0]), static_cast<double>(value.offsets[1]),
          static_cast<double>(value.offsets[2]));
    return 0;
}

int SocketProtocol::GetACCOffset(IMUOffset &)
{
    return 0;
}

int SocketProtocol::SetACCOffsetTemp(const IMUOffsetTemp &value)
{
    TFLOG("offsetTemp:%d", value.values[0]);
    return 0;
}

int SocketProtocol::GetACCOffsetTemp(IMUOffsetTemp &)
{
    return 0;
}

int SocketProtocol::SetGyroSensitivity(const IMUSensitivity &value)
{
    const float *v = value.values;
    TFLOG("sensitivity:%08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f", v[0], v[1], v[2],
          v[3], v[4], v[5], v[6], v[7], v[8]);
    return 0;
}

int SocketProtocol::GetGyroSensitivity(IMUSensitivity &)
{
    return 0;
}

int SocketProtocol::SetGyroOffset(const IMUOffset &value)
{
    TFLOG("offset:%d %d %d %08.6f %08.6f %08.6f", value.flags[0], value.flags[1], value.flags[2],
          static_cast<double>(value.offsets[0]), static_cast<double>(value.offsets[1]),
          static_cast<double>(value.offsets[2]));
    return 0;
}

int SocketProtocol::GetGyroOffset(IMUOffset &)
{
    return 0;
}

int SocketProtocol::SetGyroOffsetTemp(const IMUOffsetTemp &value)
{
    TFLOG("offsetTemp:%d", value.values[0]);
    return 0;
}

int SocketProtocol::GetGyroOffsetTemp(IMUOffsetTemp &)
{
    return 0;
}

int SocketProtocol::SetImuDataMode(const IMUDataMode &mode)
{
    TFLOG("datamode:%d", mode.mode);
    return 0;
}

int SocketProtocol::GetImuDataMode(IMUDataMode &)
{
    return 0;
}

int SocketProtocol::SetInfoString(int cmd, uint8_t subId, const char *text, int length)
{
    if (text == nullptr || length < 0) {
        TFLOG("invalid param: len:%d", length);
        return -1;
    }
    // The sub-id and at most 63 text bytes fill the 64-byte payload.
    const int textBytes = std::min(length, kMaxTextBytes);
    uint8_t payload[kPayloadBytes] = {subId};
    std::memcpy(payload + 1, text, static_cast<size_t>(textBytes));
    TF_RETURN_IF_FAILED(Transact(cmd, payload, 0, 1 + textBytes, kKindSet));
    return 0;
}

int SocketProtocol::GetInfoString(int cmd, uint8_t subId, char *text, int length)
{
    if (text == nullptr || length <= 0) {
        TFLOG("invalid param: len:%d", length);
        return -1;
    }
    // Reply data are at most 255 bytes, the first of them the echoed sub-id.
    const int cap = std::min(length + 1, kPayloadBytes - 1);
    uint8_t payload[kPayloadBytes] = {subId};
    TF_RETURN_IF_FAILED(Transact(cmd, payload, cap, 1, kKindGet));
    std::memset(text, 0, static_cast<size_t>(length));
    std::memcpy(text, payload + 1, static_cast<size_t>(cap - 1));
    return 0;
}

int SocketProtocol::GetPCBA(char *text, int length)
{
    TFLOG("No implement!");
    return GetInfoString(kCmdDeviceInfo, kInfoPcba, text, length);
}

int SocketProtocol::SetSN(const char *text, int length)
{
    TFLOG("sn:%s.", Shown(text, length).c_str());
    return SetInfoString(kCmdDeviceInfo, kInfoSn, text, length);
}

int SocketProtocol::GetSN(char *text, int length)
{
    const int ret = GetInfoString(kCmdDeviceInfo, kInfoSn, text, length);
    if (ret == 0) {
        TFLOG("sn:%s.", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::GetFWVer(char *text, int length)
{
    const int ret = GetInfoString(kCmdDeviceInfo, kInfoFwVer, text, length);
    if (ret == 0) {
        TFLOG("fwVer:%s", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::GetHWVer(char *text, int length)
{
    return GetInfoString(kCmdDeviceInfo, kInfoHwVer, text, length);
}

int SocketProtocol::GetAlias(char *text, int length)
{
    const int ret = GetInfoString(kCmdDeviceInfo, kInfoAlias, text, length);
    if (ret == 0) {
        const std::string alias = Shown(text, length);
        TFLOG("alias:%s %d %d", alias.c_str(), length, static_cast<int>(alias.size()));
    }
    return ret;
}

int SocketProtocol::SetList(uint8_t subId, uint8_t count, const uint8_t *entries)
{
    if (count > kMaxListEntries) {
        TFLOG("list count:%d is cut to %d", count, kMaxListEntries);
        count = kMaxListEntries;
    }
    uint8_t payload[kPayloadBytes] = {subId, count};
    std::memcpy(payload + 2, entries, count);
    TF_RETURN_IF_FAILED(Transact(kCmdDeviceInfo, payload, 0, kFullPayloadBytes, kKindSet));
    return 0;
}

int SocketProtocol::GetList(uint8_t subId, uint8_t &count, uint8_t *entries)
{
    uint8_t payload[kPayloadBytes] = {subId};
    TF_RETURN_IF_FAILED(Transact(kCmdDeviceInfo, payload, kFullPayloadBytes, 1, kKindGet));
    if (payload[0] != subId) {
        TFLOG("buf[0]:%d", payload[0]);
        return -1;
    }
    count = payload[1];
    if (count > kMaxListEntries) {
        TFLOG("list count:%d is cut to %d", count, kMaxListEntries);
        count = kMaxListEntries;
    }
    std::memcpy(entries, payload + 2, count);
    return 0;
}

int SocketProtocol::SetOutModeList(DataModeList &list)
{
    return SetList(kInfoOutModeList, list.count, list.modes);
}

int SocketProtocol::GetOutModeList(DataModeList &list)
{
    return GetList(kInfoOutModeList, list.count, list.modes);
}

int SocketProtocol::SetDepthRangeList(DepthRangeList &list)
{
    return SetList(kInfoDepthRangeList, list.count, list.ranges);
}

int SocketProtocol::GetDepthRangeList(DepthRangeList &list)
{
    return GetList(kInfoDepthRangeList, list.count, list.ranges);
}

int SocketProtocol::SetDeviceSN(const char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("deviceSn:%s", Shown(text, length).c_str());
    return SetInfoString(kCmdIdentity, kIdentitySn, text, length);
}

int SocketProtocol::GetDeviceSN(char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    const int ret = GetInfoString(kCmdIdentity, kIdentitySn + kIdentityGetOffset, text, length);
    if (ret == 0) {
        TFLOG("deviceSn:%s", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::SetDeviceMACAddr(const char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("macAddr:%s", Shown(text, length).c_str());
    return SetInfoString(kCmdIdentity, kIdentityMac, text, length);
}

int SocketProtocol::GetDeviceMACAddr(char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    const int ret = GetInfoString(kCmdIdentity, kIdentityMac + kIdentityGetOffset, text, length);
    if (ret == 0) {
        TFLOG("macAddr:%s", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::SetDeviceSoftVer(const char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("softVer:%s", Shown(text, length).c_str());
    return SetInfoString(kCmdIdentity, kIdentitySoftVer, text, length);
}

int SocketProtocol::GetDeviceSoftVer(char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    const int ret = GetInfoString(kCmdIdentity, kIdentitySoftVer + kIdentityGetOffset, text, length);
    if (ret == 0) {
        TFLOG("softVer:%s", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::SetDeviceIPAddr(const char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("ipAddr:%s", Shown(text, length).c_str());
    return SetInfoString(kCmdIdentity, kIdentityIp, text, length);
}

int SocketProtocol::GetDeviceIPAddr(char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    if (text == nullptr || length <= 0) {
        TFLOG("invalid param: len:%d", length);
        return -1;
    }
    // The connection knows the address it was opened with; the camera is asked only without one.
    char peer[kPeerIpBytes] = {};
    if (m_socketCtl->GetPeerIP(peer) == 0) {
        std::memset(text, 0, static_cast<size_t>(length));
        std::memcpy(text, peer, static_cast<size_t>(std::min(length, kPeerIpBytes)));
        TFLOG("ipAddr:%s", peer);
        return 0;
    }
    const int ret = GetInfoString(kCmdIdentity, kIdentityIp + kIdentityGetOffset, text, length);
    if (ret == 0) {
        TFLOG("ipAddr:%s", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::SetDeviceSubnetMask(const char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("subnetMask:%s", Shown(text, length).c_str());
    return SetInfoString(kCmdIdentity, kIdentitySubnetMask, text, length);
}

int SocketProtocol::GetDeviceSubnetMask(char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    const int ret = GetInfoString(kCmdIdentity, kIdentitySubnetMask + kIdentityGetOffset, text, length);
    if (ret == 0) {
        TFLOG("subnetMask:%s", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::IsSupportJSONConfig()
{
    uint8_t payload[kPayloadBytes] = {kJsonConfigQuery, 0};
    const int ret = Transact(kCmdIdentity, payload, kFullPayloadBytes, 2, kKindGet);
    if (ret != 0 || payload[0] != kJsonConfigQuery || payload[1] != 1) {
        TFLOG("ret:%d is failed.", -1);
        return -1;
    }
    return 0;
}

int SocketProtocol::SetDspStatus(const DSPParameters &params)
{
    TFLOG("option:%d  DSPConfig:%d  enable:%d threshold:%d", params.option, static_cast<int>(params.config),
          params.enable, params.threshold);
    uint8_t payload[kPayloadBytes] = {params.option};
    if (params.config < kDspRowCount) {
        const DspRow &row = kDspRows[params.config];
        if (params.config == kDspConfigTbd) {
            TFLOG("TBD");
        }
        payload[1] = row.setSelector;
        payload[2] = row.group;
        if (row.enableAt == 4) {
            payload[3] = row.subId;
        }
        payload[row.enableAt] = params.enable;
        if (row.hasThreshold) {
            payload[5] = params.threshold;
        }
    } else {
        TFLOG("type:%d is invalid.", static_cast<int>(params.config));
    }
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, 0, kFullPayloadBytes, kKindSet));
    return 0;
}

int SocketProtocol::GetDspStatus(DSPParameters &params)
{
    uint8_t payload[kPayloadBytes] = {params.option};
    const bool known = params.config < kDspRowCount;
    if (known) {
        const DspRow &row = kDspRows[params.config];
        payload[1] = static_cast<uint8_t>(row.setSelector | kDspQuery);
        payload[2] = row.group;
        if (row.enableAt == 4) {
            payload[3] = row.subId;
        }
    }
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, kFullPayloadBytes, kFullPayloadBytes, kKindGet));
    if (known) {
        const DspRow &row = kDspRows[params.config];
        params.enable = payload[row.enableAt];
        if (row.hasThreshold) {
            params.threshold = payload[5];
        }
    }
    TFLOG("option:%d  DSPConfig:%d  enable:%d threshold:%d", params.option, static_cast<int>(params.config),
          params.enable, params.threshold);
    return 0;
}

int SocketProtocol::SetConfidenceFilterParams(const ConfidenceFilterParams &params)
{
    TFLOG("params:%d %d %d", params.enable, static_cast<int>(params.threshold),
          static_cast<int>(params.value));
    uint8_t payload[kPayloadBytes] = {0, 2, 1, kConfidenceSubId, params.enable};
    PutU16(payload + 5, params.threshold);
    PutU16(payload + 7, params.value);
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, 0, kFullPayloadBytes, kKindSet));
    return 0;
}

int SocketProtocol::GetConfidenceFilterParams(ConfidenceFilterParams &params)
{
    uint8_t payload[kPayloadBytes] = {0, 2 | kDspQuery, 1, kConfidenceSubId};
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, kFullPayloadBytes, kFullPayloadBytes, kKindGet));
    if (payload[3] != kConfidenceSubId) {
        return 0;
    }
    params.enable = static_cast<uint8_t>(payload[4] != 0);
    params.reserved = 0;
    params.threshold = GetU16(payload + 5);
    params.value = GetU16(payload + 7);
    TFLOG("params:%d %d %d", params.enable, static_cast<int>(params.threshold),
          static_cast<int>(params.value));
    return 0;
}

int SocketProtocol::GetUpgradeIsSupported(uint8_t &supported)
{
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {kUpgradeSupportSelector, 1};
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, kFullPayloadBytes, kFullPayloadBytes, kKindGet));
    supported = payload[2];
    return 0;
}

int SocketProtocol::GetJsonIsSupported(uint8_t &supported)
{
    uint8_t payload[kPayloadBytes] = {kJsonSelector, 1};
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, kFullPayloadBytes, kFullPayloadBytes, kKindGet));
    supported = payload[2];
    return 0;
}

int SocketProtocol::SetUpgradeState(UpgradeState state)
{
    TFLOG("param:%d 0x%0x %d", static_cast<int>(state.state), state.param1, static_cast<int>(state.param2));
    uint8_t payload[kPayloadBytes] = {kUpgradeSelector, static_cast<uint8_t>(state.state)};
    PutU32(payload + 2, state.param1);
    PutU32(payload + 6, state.param2);
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, 0, 10, kKindSet));
    return 0;
}

int SocketProtocol::GetUpgradeState(UpgradeState &state)
{
    uint8_t payload[kPayloadBytes] = {kUpgradeSelector};
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, 10, 10, kKindGet));
    state.state = payload[1];
    state.param1 = payload[2];
    state.param2 = payload[3];
    return 0;
}

int SocketProtocol::SetJsonState(JsonState state)
{
    TFLOG("param:%d 0x%0x %d", static_cast<int>(state.state), state.param1, static_cast<int>(state.param2));
    uint8_t payload[kPayloadBytes] = {kJsonSelector, static_cast<uint8_t>(state.state)};
    PutU32(payload + 2, state.param1);
    PutU32(payload + 6, state.param2);
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, 0, 10, kKindSet));
    return 0;
}

int SocketProtocol::GetJsonState(JsonState &state)
{
    uint8_t payload[kPayloadBytes] = {kJsonSelector, 2};
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, 10, 10, kKindGet));
    state.state = payload[2];
    state.param1 = payload[3];
    state.param2 = payload[4];
    return 0;
}
