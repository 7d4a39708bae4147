// SPDX-License-Identifier: Apache-2.0
// DeviceInfo: copies of a listed camera and its public record.
#include "device/DeviceInfo.h"

#include <cstring>

#include "device/BaseDevice.h"
#include "runtime/LogCustom.h"

DeviceInfo::DeviceInfo(const DeviceInfo &other)
    : pSessionInfo(other.pSessionInfo), deviceType(other.deviceType), reserved2(other.reserved2),
      status(other.status), missCount(other.missCount), heartbeatMissCount(other.heartbeatMissCount),
      callBackStatus(other.callBackStatus), notifiedStatus(other.notifiedStatus)
{
    std::memcpy(uri, other.uri, sizeof(uri));
    std::memcpy(reserved1, other.reserved1, sizeof(reserved1));
    std::memcpy(alias, other.alias, sizeof(alias));
}

DeviceInfo &DeviceInfo::operator=(const DeviceInfo &other)
{
    if (this != &other) {
        pSessionInfo = other.pSessionInfo;
        deviceType = other.deviceType;
        std::memcpy(uri, other.uri, sizeof(uri));
        std::memcpy(reserved1, other.reserved1, sizeof(reserved1));
        reserved2 = other.reserved2;
        std::memcpy(alias, other.alias, sizeof(alias));
        status = other.status;
        missCount = other.missCount;
        heartbeatMissCount = other.heartbeatMissCount;
        callBackStatus = other.callBackStatus;
        notifiedStatus = other.notifiedStatus;
    }
    return *this;
}

DeviceInfo::~DeviceInfo() = default;

void DeviceInfo::Release()
{
    pDevice.reset();
    pSessionInfo.clear();
}

void DeviceInfo::InitNew(uint32_t type)
{
    deviceType = type;
    missCount = 0;
    heartbeatMissCount = 0;
    callBackStatus = kMessageNone;
    notifiedStatus = kMessageNone;
    pDevice.reset();
    if (IsKnownDeviceType(type)) {
        status = TF_CONNECT_AVAILABLE;
    } else {
        TFLOG("devicetype:%d is invalid", static_cast<int>(type));
        status = TF_CONNECT_LOST;
    }
}

TfDeviceInfo DeviceInfo::ToTfDeviceInfo() const
{
    TfDeviceInfo info;
    std::memset(&info, 0, sizeof(info));
    info.sessionCount = static_cast<uint32_t>(pSessionInfo.size());
    info.devicetype = deviceType;
    std::memcpy(info.uri, uri, sizeof(info.uri));
    info.uri[sizeof(info.uri) - 1] = '\0';
    std::memcpy(info.reserved1, reserved1, sizeof(info.reserved1));
    info.reserved2 = reserved2;
    std::memcpy(info.alias, alias, sizeof(info.alias));
    info.alias[sizeof(info.alias) - 1] = '\0';
    info.status = static_cast<uint32_t>(status);
    return info;
}
