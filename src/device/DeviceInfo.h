// SPDX-License-Identifier: Apache-2.0
// DeviceInfo: one camera of the device list, with its sessions, state and notification bookkeeping.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Orvane_api.h"
#include "protocol/SessionInfo.h"

class BaseDevice;

/// Notifications the device manager passes to open cameras and to hot-plug callbacks.
enum MessageType
{
    kMessageAdded = 0,
    kMessageRemoved = 1,
};
/// No notification pending, or none delivered yet (DeviceInfo::callBackStatus, notifiedStatus).
constexpr int32_t kMessageNone = -1;

/// One listed camera. The device manager owns it; its members are guarded by the device-list mutex.
class DeviceInfo
{
public:
    DeviceInfo() = default;
    /// Copies everything but the open device (the copy has none).
    DeviceInfo(const DeviceInfo &other);
    DeviceInfo &operator=(const DeviceInfo &other);
    virtual ~DeviceInfo();

    /// Frees the sessions and the open device.
    void Release();

    /// A new entry of `type`: available when the type is a known camera model, else logged and state 0.
    void InitNew(uint32_t type);

    /// The public record of this entry.
    TfDeviceInfo ToTfDeviceInfo() const;

    /// Listed to the application: not removed, and its add notification has gone out.
    bool IsVisible() const { return status != TF_CONNECT_REMOVED && callBackStatus == kMessageNone; }

    static bool IsKnownDeviceType(uint32_t type) { return type >= 520 && type <= 523; }

    std::vector<SessionInfo> pSessionInfo; ///< one per ToF session; sessionCount = its size
    uint32_t deviceType = 0;
    char uri[256] = {};
    char reserved1[48] = {};
    uint16_t reserved2 = 0;
    char alias[64] = {};
    int32_t status = TF_CONNECT_LOST;    ///< TfConnectStatus
    std::unique_ptr<BaseDevice> pDevice; ///< the open camera, or null
    int32_t missCount = 0;               ///< missed announcements in a row
    /// Failed heartbeats in a row while open. Kept apart from missCount, which every announcement
    /// resets: a camera that still announces but no longer answers must still be reported removed.
    int32_t heartbeatMissCount = 0;
    int32_t callBackStatus = kMessageNone; ///< pending notification: none, add or remove
    int32_t notifiedStatus = kMessageNone; ///< last delivered notification: none, added or removed

    int SessionCount() const { return static_cast<int>(pSessionInfo.size()); }
};
