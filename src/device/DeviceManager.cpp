// SPDX-License-Identifier: Apache-2.0
// DeviceManager: the device list, its queries, opening and closing cameras, and the manager thread.
#include "device/DeviceManager.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "device/BaseDevice.h"
#include "device/EnumSocketDevice.h"
#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"
#include "upgrade/JsonCtl.h"
#include "upgrade/Upgrade.h"

namespace {
Mutex g_instanceMutex;
DeviceManager *g_instance = nullptr; // guarded by g_instanceMutex

std::atomic<unsigned> g_roundPeriodMs{1000};
std::atomic<uint16_t> g_discoveryPort{EnumSocketDevice::kDiscoveryPort};

/// Hot-plug notification threads still running, so shutdown can let them finish.
Mutex g_notifyMutex;
std::condition_variable g_notifyDone;
int g_notifyRunning = 0; // guarded by g_notifyMutex

/// How long Release lets running hot-plug callbacks finish before the manager goes away.
constexpr unsigned kNotificationDrainMs = 2000;

/// Runs on its own detached thread: the callbacks see the entry as it was when the event happened.
void HotplugCallback(TfDeviceInfo info, int type, TfHotPlugCallback callback, TfHotPlugCallbackEx callbackEx,
                     void *context)
{
    TFLOG("%d %s %s  threadid:%d ", type, info.alias, info.uri, static_cast<int>(syscall(SYS_gettid)));
    if (callback != nullptr) {
        callback(&info, type);
    }
    if (callbackEx != nullptr) {
        callbackEx(&info, type, context);
    }
    MutexLock lock(g_notifyMutex);
    --g_notifyRunning;
    g_notifyDone.notify_all();
}
} // namespace

void DeviceManager::SetRoundPeriodMs(unsigned periodMs)
{
    g_roundPeriodMs = periodMs == 0 ? 1 : periodMs;
}

unsigned DeviceManager::GetRoundPeriodMs()
{
    return g_roundPeriodMs;
}

void DeviceManager::SetDiscoveryPort(uint16_t port)
{
    g_discoveryPort = port;
}

bool DeviceManager::WaitForNotifications(unsigned timeoutMs)
{
    MutexLock lock(g_notifyMutex);
    return g_notifyDone.wait_for(lock.Native(), std::chrono::milliseconds(timeoutMs),
                                 [] { return g_notifyRunning == 0; });
}

DeviceManager *DeviceManager::GetInstance()
{
    MutexLock lock(g_instanceMutex);
    if (g_instance == nullptr) {
        g_instance = new DeviceManager();
    }
    return g_instance;
}

void DeviceManager::Release()
{
    // The workers go first: a job of a camera of this manager ends before the list does.
    Upgrade::Release();
    JsonCtl::Release();
    DeviceManager *instance = nullptr;
    {
        MutexLock lock(g_instanceMutex);
        instance = g_instance;
        g_instance = nullptr;
    }
    delete instance;
}

DeviceManager::DeviceManager() : StoppableThread("DeviceManager")
{
    uint16_t port = g_discoveryPort;
    m_discovery = std::make_unique<EnumSocketDevice>(port);
    if (port != 0) {
        m_discovery->Start();
    }
}

DeviceManager::~DeviceManager()
{
    Stop();
    Join();
    m_discovery->Stop();
    m_discovery->Join();
    if (!WaitForNotifications(kNotificationDrainMs)) {
        TFLOG("hot-plug callbacks still running after %u ms", kNotificationDrainMs);
    }
    MutexLock lock(m_listMutex);
    for (auto &entry : m_list) {
        entry->Release();
    }
    m_list.clear();
    m_discovery.reset();
}

void DeviceManager::Run()
{
    while (IsRunning()) {
        std::vector<Notification> notifications;
        std::vector<BaseDevice *> probes;
        std::vector<BaseDevice *> revivals;
        std::vector<HandOver> handOvers;
        {
            MutexLock lock(m_listMutex);
            m_discovery->UpdateDeviceListInfo(m_list);
            ClearEndedJobsLocked();
            ProcessEntriesLocked(notifications, probes, revivals, handOvers);
        }
        // The workers are reached without the list lock: their callbacks may call the API.
        HandOverAll(handOvers);
        Dispatch(notifications);
        ProbeOpenCameras(probes);
        ProbeRemovedCameras(revivals);
        WaitForStop(g_roundPeriodMs);
    }
}

void DeviceManager::ProcessEntriesLocked(std::vector<Notification> &notifications,
                                         std::vector<BaseDevice *> &probes,
                                         std::vector<BaseDevice *> &revivals,
                                         std::vector<HandOver> &handOvers)
{
    auto notify = [&notifications](const DeviceInfo &entry, int type) {
        notifications.push_back(Notification{entry.ToTfDeviceInfo(), type});
    };
    auto markRemoved = [&notify](DeviceInfo &entry) {
        entry.status = TF_CONNECT_REMOVED;
        entry.missCount = 0;
        entry.heartbeatMissCount = 0;
        entry.callBackStatus = kMessageNone;
        entry.notifiedStatus = kMessageRemoved;
        notify(entry, kMessageRemoved);
    };
    for (auto &entryPtr : m_list) {
        DeviceInfo &entry = *entryPtr;
        if (!DeviceInfo::IsKnownDeviceType(entry.deviceType)) {
            TFLOG("devicetype:%d is invalid.", static_cast<int>(entry.deviceType));
            continue;
        }
        switch (entry.status) {
        case TF_CONNECT_LOST:
            if (entry.pDevice) {
                TFLOG(" socket remove  %d %s", entry.status, entry.uri);
                entry.pDevice->OnMessage(kMessageRemoved);
                markRemoved(entry);
            } else if (entry.callBackStatus == kMessageRemoved) {
                // The camera asked to be removed: report it now, not when it next announces.
                TFLOG(" socket remove  %d %s", entry.status, entry.uri);
                markRemoved(entry);
            } else {
                TFLOG("do nothing: %s %s %d,%d,%d", entry.uri, entry.alias, entry.status,
                      entry.callBackStatus, entry.notifiedStatus);
            }
            break;
        case TF_CONNECT_REMOVED:
            break;
        case TF_CONNECT_AVAILABLE:
            if (m_unanswered.count(&entry) != 0) {
                // Listed again by its announcements, but it has not answered since its heartbeats
                // failed: it stays removed, unseen, until a probe finds it answering.
                entry.status = TF_CONNECT_REMOVED;
                entry.callBackStatus = kMessageNone;
                if (entry.pDevice) {
                    revivals.push_back(entry.pDevice.get());
                }
            } else if (entry.callBackStatus == kMessageRemoved && entry.notifiedStatus != kMessageRemoved) {
                TFLOG(" socket need remove first %s %s", entry.uri, entry.alias);
                if (entry.pDevice) {
                    entry.pDevice->OnMessage(kMessageRemoved);
                }
                int missCount = entry.missCount;
                markRemoved(entry);
                entry.missCount = missCount;
            } else if (entry.callBackStatus == kMessageAdded && entry.notifiedStatus != kMessageAdded) {
                TFLOG(" socket add %s %s %d,%d,%d", entry.uri, entry.alias, entry.status,
                      entry.callBackStatus, entry.notifiedStatus);
                entry.callBackStatus = kMessageNone;
                entry.notifiedStatus = kMessageAdded;
                notify(entry, kMessageAdded);
            }
            break;
        case TF_CONNECT_OPENED:
            // Only the camera being upgraded is left alone: its reboots are not removals.
            if (JobOfLocked(entry) != kUpgradeIdle || !entry.pDevice) {
                TFLOG(" do nothing: pDeviceHandle:%p m_iUpgradeFireOrJson:%d %s %s %d,%d,%d",
                      static_cast<void *>(entry.pDevice.get()), m_iUpgradeFireOrJson, entry.uri, entry.alias,
                      entry.status, entry.callBackStatus, entry.notifiedStatus);
            } else if (entry.heartbeatMissCount > 2) {
                TFLOG(" socket remove ");
                entry.pDevice->OnMessage(kMessageRemoved);
                entry.pDevice->Close();
                markRemoved(entry);
                m_unanswered.insert(&entry);
            } else {
                probes.push_back(entry.pDevice.get());
            }
            break;
        case TF_CONNECT_UPGRADING:
            // The camera came back in upgrade mode: its job's worker takes it over.
            if (const int job = JobOfLocked(entry); job != kUpgradeIdle && !entry.pSessionInfo.empty()) {
                handOvers.push_back(HandOver{job, entry.pSessionInfo.front()});
                break;
            }
            TFLOG(" do nothing: %s %s %d,%d,%d", entry.uri, entry.alias, entry.status, entry.callBackStatus,
                  entry.notifiedStatus);
            break;
        case TF_CONNECT_STATE_4:
            TFLOG(" do nothing: %s %s %d,%d,%d", entry.uri, entry.alias, entry.status, entry.callBackStatus,
                  entry.notifiedStatus);
            break;
        default:
            break;
        }
    }
}

void DeviceManager::ClearEndedJobsLocked()
{
    // The API flags a job only after its worker has been given it, so an idle worker means it ended.
    if (m_firmwareJob && Upgrade::GetInstance()->Status() == 0) {
        TFLOG("firmware upgrade of %s ended", m_firmwareSerial.c_str());
        m_firmwareJob = false;
    }
    if (m_jsonJob && JsonCtl::GetInstance()->Status() == 0) {
        TFLOG("JSON configuration of %s ended", m_jsonSerial.c_str());
        m_jsonJob = false;
    }
    m_iUpgradeFireOrJson = m_firmwareJob ? kUpgradeFirmware : m_jsonJob ? kUpgradeJson : kUpgradeIdle;
}

int DeviceManager::JobOfLocked(const DeviceInfo &entry) const
{
    auto matches = [&entry](const std::string &serial) {
        return serial.empty() || EnumSocketDevice::CheckSNByURI(entry.deviceType, entry.uri, serial.c_str());
    };
    if (m_firmwareJob && matches(m_firmwareSerial)) {
        return kUpgradeFirmware;
    }
    if (m_jsonJob && matches(m_jsonSerial)) {
        return kUpgradeJson;
    }
    return kUpgradeIdle;
}

void DeviceManager::HandOverAll(const std::vector<HandOver> &handOvers)
{
    for (const HandOver &h : handOvers) {
        SessionInfo info = h.info;
        if (h.job == kUpgradeFirmware) {
            Upgrade::GetInstance()->SetDetectParams_P(info);
        } else {
            JsonCtl::GetInstance()->SetDetectParams_P(info);
        }
    }
}

DeviceInfo *DeviceManager::FindProbeTargetLocked(const BaseDevice *device)
{
    for (auto &entry : m_list) {
        if (entry->pDevice.get() == device && entry->status == TF_CONNECT_OPENED &&
            JobOfLocked(*entry) == kUpgradeIdle) {
            return entry.get();
        }
    }
    return nullptr;
}

void DeviceManager::ProbeOpenCameras(const std::vector<BaseDevice *> &probes)
{
    for (BaseDevice *device : probes) {
        if (!IsRunning()) {
            return;
        }
        {
            // The camera may have been closed since the round listed it.
            MutexLock lock(m_listMutex);
            if (FindProbeTargetLocked(device) == nullptr) {
                continue;
            }
            m_probing = device;
        }
        char serial[64] = {};
        const int result = device->GetSN(serial, sizeof(serial) - 1);
        MutexLock lock(m_listMutex);
        m_probing = nullptr;
        m_probeEnded.notify_all();
        DeviceInfo *entry = FindProbeTargetLocked(device);
        if (entry == nullptr) {
            continue;
        }
        if (result != kStatusOk) {
            ++entry->heartbeatMissCount;
            TFLOG(" pDeviceInfo->missCount %d  ", entry->heartbeatMissCount);
        } else {
            // Only failures in a row count: a camera that answers again is not removed.
            entry->heartbeatMissCount = 0;
        }
    }
}

void DeviceManager::ProbeRemovedCameras(const std::vector<BaseDevice *> &revivals)
{
    auto findLocked = [this](const BaseDevice *device) REQUIRES(m_listMutex) -> DeviceInfo * {
        for (auto &entry : m_list) {
            if (entry->pDevice.get() == device && entry->status == TF_CONNECT_REMOVED &&
                m_unanswered.count(entry.get()) != 0) {
                return entry.get();
            }
        }
        return nullptr;
    };
    for (BaseDevice *device : revivals) {
        if (!IsRunning()) {
            return;
        }
        {
            MutexLock lock(m_listMutex);
            if (findLocked(device) == nullptr) {
                continue; // released or opened again since the round
            }
            m_probing = device;
        }
        BaseSession *session = device->GetSession(0);
        const int result = session != nullptr ? session->ProbeWhileClosed() : kStatusNotConnected;
        MutexLock lock(m_listMutex);
        m_probing = nullptr;
        m_probeEnded.notify_all();
        DeviceInfo *entry = findLocked(device);
        if (entry == nullptr || result != kStatusOk) {
            continue;
        }
        TFLOG("%s answers again", entry->uri);
        m_unanswered.erase(entry);
        entry->status = TF_CONNECT_AVAILABLE;
        entry->callBackStatus = kMessageAdded;
    }
}

void DeviceManager::Dispatch(const std::vector<Notification> &notifications)
{
    if (notifications.empty()) {
        return;
    }
    TfHotPlugCallback callback = nullptr;
    TfHotPlugCallbackEx callbackEx = nullptr;
    void *context = nullptr;
    {
        MutexLock lock(m_listMutex);
        callback = m_hotPlug;
        callbackEx = m_hotPlugEx;
        context = m_hotPlugContext;
    }
    for (const Notification &n : notifications) {
        {
            MutexLock lock(g_notifyMutex);
            ++g_notifyRunning;
        }
        try {
            std::thread(HotplugCallback, n.info, n.type, callback, callbackEx, context).detach();
        } catch (const std::system_error &e) {
            TFLOG("hot-plug thread failed: %s", e.what());
            MutexLock lock(g_notifyMutex);
            --g_notifyRunning;
            g_notifyDone.notify_all();
        }
    }
}

void DeviceManager::AddDeviceInfo(std::unique_ptr<DeviceInfo> entry)
{
    if (!entry) {
        return;
    }
    MutexLock lock(m_listMutex);
    m_list.push_back(std::move(entry));
}

int DeviceManager::GetCameraCount()
{
    MutexLock lock(m_listMutex);
    int count = 0;
    for (size_t i = 0; i < m_list.size(); ++i) {
        const DeviceInfo &entry = *m_list[i];
        TFLOG("%d uir:%s status:%d - %d.", static_cast<int>(i), entry.uri, entry.status,
              entry.callBackStatus);
        if (entry.IsVisible()) {
            ++count;
        }
    }
    return count;
}

int DeviceManager::GetDeviceInfoList(TfDeviceInfo *list, uint32_t capacity)
{
    if (list == nullptr) {
        TFLOG("pDevicesList is NULL.");
        return kStatusNullPointer;
    }
    MutexLock lock(m_listMutex);
    uint32_t written = 0;
    for (const auto &entry : m_list) {
        if (written >= capacity) {
            break;
        }
        if (entry->IsVisible()) {
            list[written++] = entry->ToTfDeviceInfo();
        }
    }
    return kStatusOk;
}

int DeviceManager::GetDeviceInfo(TfDeviceInfo *info, uint32_t index)
{
    if (info == nullptr) {
        TFLOG("pDevices is NULL.");
        return kStatusNullPointer;
    }
    MutexLock lock(m_listMutex);
    if (index >= m_list.size()) {
        TFLOG("deviceCount:%d is invalid.", static_cast<int>(index));
        return kStatusInvalidArgument;
    }
    *info = m_list[index]->ToTfDeviceInfo();
    uint32_t visible = 0;
    for (const auto &entry : m_list) {
        if (!entry->IsVisible()) {
            continue;
        }
        if (visible == index) {
            *info = entry->ToTfDeviceInfo();
            break;
        }
        ++visible;
    }
    return kStatusOk;
}

int DeviceManager::GetDeviceIP(const char *uri, char *ip)
{
    if (uri == nullptr) {
        TFLOG("uri:%s is invalid.", "(null)");
        return kStatusDeviceNotFound;
    }
    MutexLock lock(m_listMutex);
    TFLOG("%d  %s", static_cast<int>(m_list.size()), uri);
    for (const auto &entry : m_list) {
        TFLOG("%d %d %d %s %s", entry->status, entry->callBackStatus, entry->notifiedStatus, entry->uri,
              entry->alias);
        if (std::strncmp(entry->uri, uri, sizeof(entry->uri)) != 0 ||
            !DeviceInfo::IsKnownDeviceType(entry->deviceType) || entry->pSessionInfo.empty()) {
            continue;
        }
        entry->pSessionInfo[0].FormatIp(ip, 16);
        return kStatusOk;
    }
    return kStatusDeviceNotFound;
}

bool DeviceManager::CheckDevicePtrVaild(BaseDevice *device)
{
    if (device == nullptr) {
        return false;
    }
    MutexLock lock(m_listMutex);
    for (const auto &entry : m_list) {
        if (entry->pDevice.get() == device) {
            return true;
        }
    }
    return false;
}

bool DeviceManager::checkOpenedByURI(const char *uri)
{
    if (uri == nullptr) {
        TFLOG("uri:%s is invalid.", "(null)");
        return false;
    }
    MutexLock lock(m_listMutex);
    for (const auto &entry : m_list) {
        if (std::strncmp(entry->uri, uri, sizeof(entry->uri)) == 0 && entry->status == TF_CONNECT_OPENED) {
            TFLOG("uri:%s is found in the device list.%d %d %d ", uri, static_cast<int>(TF_CONNECT_OPENED),
                  entry->callBackStatus, entry->notifiedStatus);
            return true;
        }
    }
    return false;
}

bool DeviceManager::checkOpenedByAlias(const char *alias)
{
    if (alias == nullptr) {
        TFLOG("alias:%s is invalid.", "(null)");
        return false;
    }
    MutexLock lock(m_listMutex);
    for (const auto &entry : m_list) {
        if (std::strncmp(entry->alias, alias, sizeof(entry->alias)) == 0 &&
            entry->status == TF_CONNECT_OPENED) {
            TFLOG("alias:%s is found in the device list.%d %d %d ", alias,
                  static_cast<int>(TF_CONNECT_OPENED), entry->callBackStatus, entry->notifiedStatus);
            return true;
        }
    }
    return false;
}

BaseDevice *DeviceManager::OpenDevice(const char *uri, int &ret)
{
    if (uri == nullptr) {
        TFLOG("uri:%s is invalid.", "(null)");
        return nullptr;
    }
    return OpenMatching(MatchBy::Uri, uri, ret);
}

BaseDevice *DeviceManager::OpenDeviceByAlias(const char *alias, int &ret)
{
    if (alias == nullptr) {
        TFLOG("alias:%s is invalid.", "(null)");
        return nullptr;
    }
    return OpenMatching(MatchBy::Alias, alias, ret);
}

BaseDevice *DeviceManager::OpenDeviceByIP(const char *ip, int &ret)
{
    if (ip == nullptr) {
        TFLOG("ip:%s is invalid.", "(null)");
        return nullptr;
    }
    return OpenMatching(MatchBy::Ip, ip, ret);
}

DeviceInfo *DeviceManager::FindOpenTargetLocked(MatchBy by, const char *key, int &ret)
{
    DeviceInfo *match = nullptr;
    if (m_list.empty()) {
        ret = kStatusInvalidArgument;
    } else {
        bool removedSeen = false;
        for (auto &entry : m_list) {
            TFLOG("%d %d %d %s %s", entry->status, entry->callBackStatus, entry->notifiedStatus, entry->uri,
                  entry->alias);
            bool same = false;
            switch (by) {
            case MatchBy::Uri:
                same = std::strncmp(entry->uri, key, sizeof(entry->uri)) == 0;
                break;
            case MatchBy::Alias:
                same = std::strncmp(entry->alias, key, sizeof(entry->alias)) == 0;
                break;
            case MatchBy::Ip: {
                if (!DeviceInfo::IsKnownDeviceType(entry->deviceType) || entry->pSessionInfo.empty()) {
                    continue;
                }
                char ip[16] = {};
                entry->pSessionInfo[0].FormatIp(ip, sizeof(ip));
                same = std::strncmp(ip, key, sizeof(ip)) == 0;
                break;
            }
            }
            if (!same) {
                continue;
            }
            if (entry->status > TF_CONNECT_REMOVED) {
                match = entry.get();
                break;
            }
            TFLOG(" ---- %d   %d   %d", entry->status, entry->callBackStatus, entry->notifiedStatus);
            removedSeen = true;
        }
        if (match == nullptr) {
            ret = removedSeen ? kStatusDeviceNotFound : kStatusInvalidArgument;
        }
    }

    return match;
}

BaseDevice *DeviceManager::OpenMatching(MatchBy by, const char *key, int &ret)
{
    MutexLock lock(m_listMutex);
    TFLOG("%d  %s", static_cast<int>(m_list.size()), key);
    DeviceInfo *match = FindOpenTargetLocked(by, key, ret);
    while (match != nullptr && m_opening.count(match) != 0) {
        // Another caller is opening this camera: take its result instead of opening it twice.
        m_openEnded.wait(lock.Native());
        match = FindOpenTargetLocked(by, key, ret);
    }

    if (match != nullptr) {
        if (!match->pDevice) {
            auto device = std::make_unique<BaseDevice>(*match, true);
            // The open talks to the camera for up to about a second (connection, calibration block,
            // first queries): calls for other cameras go on meanwhile. Entries are never erased, so
            // `match` stays valid; no handle to the new device exists before it is listed.
            m_opening.insert(match);
            lock.Unlock();
            try {
                ret = device->Open(false);
            } catch (...) {
                // Reported by the API layer; the camera must not stay marked as being opened.
                lock.Lock();
                m_opening.erase(match);
                m_openEnded.notify_all();
                throw;
            }
            lock.Lock();
            m_opening.erase(match);
            m_openEnded.notify_all();
            if (ret == kStatusOk) {
                match->pDevice = std::move(device);
                match->status = TF_CONNECT_OPENED;
                match->heartbeatMissCount = 0;
                if (by == MatchBy::Alias) {
                    TFLOG("alias:%s is found in the device list.", key);
                }
                return match->pDevice.get();
            }
            TFLOG("open failed delete %d %d %d %s %s", match->status, match->callBackStatus,
                  match->notifiedStatus, match->uri, match->alias);
        } else {
            TFLOG("--- %d %d %d %s %s", match->status, match->callBackStatus, match->notifiedStatus,
                  match->uri, match->alias);
            if (match->status == TF_CONNECT_OPENED) {
                return match->pDevice.get();
            }
            ret = match->pDevice->Open(false);
            if (ret == kStatusOk) {
                m_unanswered.erase(match);
                match->status = TF_CONNECT_OPENED;
                match->heartbeatMissCount = 0;
                return match->pDevice.get();
            }
            match->pDevice->Close();
        }
    }

    switch (by) {
    case MatchBy::Uri:
        TFLOG("uri:%s open failed.", key);
        break;
    case MatchBy::Alias:
        TFLOG("alias:%s is not found in the device list.", key);
        break;
    case MatchBy::Ip:
        TFLOG("ip:%s is not found in the device list.", key);
        break;
    }
    for (const auto &entry : m_list) {
        TFLOG("in the device list ---- %s %s   %d   %d   %d", entry->uri, entry->alias, entry->status,
              entry->callBackStatus, entry->notifiedStatus);
    }
    return nullptr;
}

void DeviceManager::ReleaseDevice(BaseDevice *device)
{
    if (device == nullptr) {
        return;
    }
    std::unique_ptr<BaseDevice> released;
    int job = kUpgradeIdle;
    {
        MutexLock lock(m_listMutex);
        for (auto &entry : m_list) {
            if (entry->pDevice.get() != device) {
                continue;
            }
            TFLOG("-- %d %d %d %s %s", entry->status, entry->callBackStatus, entry->notifiedStatus,
                  entry->uri, entry->alias);
            job = JobOfLocked(*entry);
            entry->status =
                (entry->notifiedStatus == kMessageRemoved || entry->callBackStatus == kMessageRemoved)
                    ? TF_CONNECT_REMOVED
                    : TF_CONNECT_AVAILABLE;
            released = std::move(entry->pDevice);
            m_unanswered.erase(entry.get());
            TFLOG("++ %d %d %d %s %s", entry->status, entry->callBackStatus, entry->notifiedStatus,
                  entry->uri, entry->alias);
            // A heartbeat in flight to this camera ends first (the wait lets other calls go on); the
            // camera is then destroyed under the lock, so no query sees a half-closed camera.
            m_probeEnded.wait(lock.Native(),
                              [this, device]() REQUIRES(m_listMutex) { return m_probing != device; });
            released.reset();
            break;
        }
    }
    // Only this camera's job ends, outside the list lock (the worker may be reporting into the API);
    // a camera writing its firmware or applying its configuration is left to finish.
    if (job == kUpgradeFirmware) {
        Upgrade::GetInstance()->RebootAndrm_();
    } else if (job == kUpgradeJson) {
        JsonCtl::GetInstance()->RebootAndrm_();
    }
}

void DeviceManager::SetHotPlugStatusCallback(TfHotPlugCallback callback)
{
    TFLOG("pCallback:%p", reinterpret_cast<void *>(callback));
    MutexLock lock(m_listMutex);
    m_hotPlug = callback;
}

void DeviceManager::SetHotPlugStatusCallback_(TfHotPlugCallbackEx callback, void *context)
{
    TFLOG("pCallback:%p pContex:%p", reinterpret_cast<void *>(callback), context);
    MutexLock lock(m_listMutex);
    m_hotPlugEx = callback;
    m_hotPlugContext = context;
}

void DeviceManager::SetUpgradeState(int state, const std::string &serial)
{
    MutexLock lock(m_listMutex);
    if (state == kUpgradeFirmware) {
        m_firmwareJob = true;
        m_firmwareSerial = serial;
    } else if (state == kUpgradeJson) {
        m_jsonJob = true;
        m_jsonSerial = serial;
    } else {
        m_firmwareJob = m_jsonJob = false;
    }
    m_iUpgradeFireOrJson = m_firmwareJob ? kUpgradeFirmware : m_jsonJob ? kUpgradeJson : kUpgradeIdle;
}

int DeviceManager::GetUpgradeState() const
{
    MutexLock lock(m_listMutex);
    return m_iUpgradeFireOrJson;
}
