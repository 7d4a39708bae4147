// SPDX-License-Identifier: Apache-2.0
// DeviceManager: the process-wide owner of the device list, the open cameras and the hot-plug callbacks.
#pragma once

#include "runtime/Mutex.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Orvane_api.h"
#include "device/DeviceInfo.h"
#include "runtime/StoppableThread.h"

class BaseDevice;
class EnumSocketDevice;

/// The device manager's upgrade job flag, as the exported functions set it: none, a firmware upgrade,
/// or a JSON configuration.
enum UpgradeJob : int
{
    kUpgradeIdle = 0,
    kUpgradeFirmware = 1,
    kUpgradeJson = 2,
};

class DeviceManager : public StoppableThread
{
public:
    static DeviceManager *GetInstance();
    /// Stops the manager and frees the list; open devices should have been closed by the application.
    static void Release();

    ~DeviceManager() override;

    /// Number of visible entries.
    int GetCameraCount();
    int GetDeviceInfoList(TfDeviceInfo *list, uint32_t capacity);
    int GetDeviceInfo(TfDeviceInfo *info, uint32_t index);
    int GetDeviceIP(const char *uri, char *ip);

    bool CheckDevicePtrVaild(BaseDevice *device);
    bool checkOpenedByURI(const char *uri);
    bool checkOpenedByAlias(const char *alias);

    BaseDevice *OpenDevice(const char *uri, int &ret);
    BaseDevice *OpenDeviceByAlias(const char *alias, int &ret);
    BaseDevice *OpenDeviceByIP(const char *ip, int &ret);
    void ReleaseDevice(BaseDevice *device);

    void SetHotPlugStatusCallback(TfHotPlugCallback callback);
    void SetHotPlugStatusCallback_(TfHotPlugCallbackEx callback, void *context);
    /// Flags a firmware upgrade (1) or a JSON configuration (2) of the camera with serial number
    /// `serial` (empty: whichever camera shows up), as the exported functions start them; 0 clears both.
    /// A flag is cleared by the manager's round once its worker is idle again.
    void SetUpgradeState(int state, const std::string &serial = std::string());
    /// 1 while a firmware upgrade is flagged, else 2 while a JSON configuration is, else 0.
    int GetUpgradeState() const;

    /// Appends an entry to the list (tests; discovery merges through its own call).
    void AddDeviceInfo(std::unique_ptr<DeviceInfo> entry);
    /// The enumerator merged at every round. With discovery port 0 it listens on no socket, and tests
    /// hand it announcements themselves.
    EnumSocketDevice &Discovery() { return *m_discovery; }

    /// Internal settings, read when the next manager is created (the port) or at the next round (the
    /// period). Tests shorten the round; the defaults are one second and UDP port 9007. Port 0 runs the
    /// manager without a discovery socket.
    static void SetRoundPeriodMs(unsigned periodMs);
    static unsigned GetRoundPeriodMs();
    static void SetDiscoveryPort(uint16_t port);

    /// Waits up to `timeoutMs` for hot-plug notifications still running on their threads; true when none is.
    static bool WaitForNotifications(unsigned timeoutMs);

protected:
    void Run() override;

private:
    DeviceManager();

    enum class MatchBy
    {
        Uri,
        Alias,
        Ip
    };
    BaseDevice *OpenMatching(MatchBy by, const char *key, int &ret);
    /// The listed, not removed entry that `key` names; null with `ret` -1 (only removed ones) or -15.
    DeviceInfo *FindOpenTargetLocked(MatchBy by, const char *key, int &ret) REQUIRES(m_listMutex);

    /// A camera seen in upgrade mode, to be handed to its worker once the list lock is released.
    struct HandOver
    {
        int job;
        SessionInfo info;
    };
    struct Notification
    {
        TfDeviceInfo info;
        int type;
    };
    /// One manager round over the list; collects the notifications to dispatch and the open cameras to
    /// probe once the lock is released.
    /// `revivals` are the removed cameras (handle still held) that announce but have not answered since
    /// their heartbeats failed.
    void ProcessEntriesLocked(std::vector<Notification> &notifications, std::vector<BaseDevice *> &probes,
                              std::vector<BaseDevice *> &revivals, std::vector<HandOver> &handOvers)
        REQUIRES(m_listMutex);
    /// Sends each camera its heartbeat without holding the list lock, so that a camera that does not answer
    /// (a probe waits up to five seconds) holds up no call for the others; counts failures in a row.
    void ProbeOpenCameras(const std::vector<BaseDevice *> &probes);
    /// Asks each removed camera that still announces whether it answers again, without the list lock;
    /// one that does is listed again (and reported added at the next round).
    void ProbeRemovedCameras(const std::vector<BaseDevice *> &revivals);
    /// The entry of `device` while it is open and watched (no upgrade running), else null.
    DeviceInfo *FindProbeTargetLocked(const BaseDevice *device) REQUIRES(m_listMutex);
    void Dispatch(const std::vector<Notification> &notifications);

    /// Clears the flags whose worker is idle again.
    void ClearEndedJobsLocked() REQUIRES(m_listMutex);
    /// The job (1 or 2) that `entry`'s camera is flagged for, else 0.
    int JobOfLocked(const DeviceInfo &entry) const REQUIRES(m_listMutex);
    void HandOverAll(const std::vector<HandOver> &handOvers);

    std::unique_ptr<EnumSocketDevice> m_discovery; // its thread runs only with a discovery port
    mutable Mutex m_listMutex;
    std::vector<std::unique_ptr<DeviceInfo>> m_list GUARDED_BY(m_listMutex);
    TfHotPlugCallback m_hotPlug GUARDED_BY(m_listMutex) = nullptr;
    TfHotPlugCallbackEx m_hotPlugEx GUARDED_BY(m_listMutex) = nullptr;
    void *m_hotPlugContext GUARDED_BY(m_listMutex) = nullptr;
    int m_iUpgradeFireOrJson GUARDED_BY(m_listMutex) = 0;
    /// The flagged jobs and the serial numbers of their cameras (empty: any camera).
    bool m_firmwareJob GUARDED_BY(m_listMutex) = false;
    bool m_jsonJob GUARDED_BY(m_listMutex) = false;
    std::string m_firmwareSerial GUARDED_BY(m_listMutex);
    std::string m_jsonSerial GUARDED_BY(m_listMutex);
    /// The camera being probed outside the list lock; whoever destroys it first waits for the probe to end.
    const BaseDevice *m_probing GUARDED_BY(m_listMutex) = nullptr;
    std::condition_variable m_probeEnded; // signalled under m_listMutex when m_probing is cleared
    /// Entries removed after failed heartbeats whose handle is still held: announcing is not answering,
    /// so they stay removed until a probe finds the camera answering (or the handle is released or
    /// opened again).
    std::set<const DeviceInfo *> m_unanswered GUARDED_BY(m_listMutex);
    /// Entries whose camera is being opened outside the list lock; a second open of one waits for it.
    std::set<const DeviceInfo *> m_opening GUARDED_BY(m_listMutex);
    std::condition_variable m_openEnded; // signalled under m_listMutex when an open ends
};
