// SPDX-License-Identifier: Apache-2.0
// EnumSocketDevice: listens for camera announcements on UDP and merges them into the device list.
#pragma once

#include "runtime/Mutex.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "device/DeviceInfo.h"
#include "runtime/StoppableThread.h"

/// One camera announcement as it arrives on the discovery port.
struct Announcement
{
    uint8_t header = 0;
    uint8_t bcc = 0;
    uint8_t len = 0;
    uint8_t tof = 0; ///< ToF sessions of the camera
    uint8_t rgb = 0; ///< sessions that also carry the colour sensor
    char ip[17] = {};
    uint8_t deviceType = 0; ///< 11 for this camera family
    char sn[31] = {};
    uint8_t camerastate = 0;
    char peerip[17] = {};
    char alias[21] = {};
};

/// One announcing camera, refreshed by each of its datagrams.
struct SocKetDevice
{
    uint8_t tof = 0;
    uint8_t rgb = 0;
    char ip[17] = {};
    uint32_t deviceType = 0;
    char sn[31] = {};
    uint8_t camerastate = 0;
    char alias[21] = {};
    bool fresh = false; ///< a datagram arrived since the last merge
};

class EnumSocketDevice : public StoppableThread
{
public:
    static constexpr uint16_t kDiscoveryPort = 9007;
    static constexpr size_t kAnnouncementBytes = 89;
    /// The device type a camera of this family announces.
    static constexpr uint8_t kAnnouncedDeviceType = 11;

    /// Creates the socket; `port` is the UDP port to listen on.
    explicit EnumSocketDevice(uint16_t port = kDiscoveryPort);
    ~EnumSocketDevice() override;

    /// Merges the announcements received since the last call into `list`. Called once per manager
    /// round with the device-list mutex held.
    void UpdateDeviceListInfo(std::vector<std::unique_ptr<DeviceInfo>> &list);

    /// True when the serial number part of `uri` (after the model string and the colon) is `sn`.
    static bool CheckSNByURI(uint32_t type, const char *uri, const char *sn);

    /// Decodes one datagram; false (nothing logged) when it is shorter than an announcement.
    static bool ParseAnnouncement(const uint8_t *data, size_t size, Announcement &out);

    /// The four address bytes of dotted text, first byte in the lowest byte.
    static uint32_t ParseIpv4(const char *text);

    /// Handles one datagram as the receive loop does (also used by tests and the fuzz target).
    void HandleDatagram(const uint8_t *data, size_t size);

    bool IsBound() const { return m_bound.load(); }
    size_t RecordCount() const;

protected:
    void Run() override;

private:
    bool TryBind();
    void CloseSocket();
    /// Fills a new or revived entry's sessions from the camera's announcement.
    static void BuildSessions(DeviceInfo &entry, const SocKetDevice &record);
    static void Revive(DeviceInfo &entry);
    /// What a fresh announcement of a listed camera does to its entry, by one table.
    static void ApplyAnnouncedState(DeviceInfo &entry, uint8_t cameraState);

    uint16_t m_port;
    int m_socket = -1; // touched only by the discovery thread once it runs
    std::atomic<bool> m_bound{false};
    mutable Mutex m_mutex;
    std::vector<std::unique_ptr<SocKetDevice>> m_records GUARDED_BY(m_mutex);
};
