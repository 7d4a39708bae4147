// SPDX-License-Identifier: Apache-2.0
// EnumSocketDevice: the discovery worker on UDP and the merge of its records into the device list.
#include "device/EnumSocketDevice.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "device/BaseDevice.h"
#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

namespace {
constexpr size_t kReceiveBytes = 1024;
/// Bound on one receive wait, so Stop takes effect promptly.
constexpr int kReceiveWaitMs = 100;
/// Pause between attempts to bind the discovery port while another socket holds it.
constexpr unsigned kBindRetryMs = 1000;
constexpr uint16_t kFirstCmdPort = 9008;
constexpr uint16_t kFirstDataPort = 9009;
constexpr uint16_t kPortStride = 10;
constexpr uint32_t kDiscoveredDeviceType = 520;

/// Camera states a camera announces (the library reacts to them, it does not interpret them further).
constexpr int kCameraAvailable = 0;
constexpr int kCameraUnchanged = 1;
constexpr int kCameraLeaving = 2;
constexpr int kCameraUpgrading = 3;
constexpr int kCameraState4 = 4;
/// Matches any camera state or entry status in the table below.
constexpr int kAny = -1;

/// What an announcement does to an entry that is already listed.
enum class AnnouncedAction
{
    Nothing,
    SetStatus,      ///< the row's new status
    Revive,         ///< available again, with an add notification when one is due
    WaitForRemoval, ///< an open camera announces itself available: it must be reported removed first
    Return,         ///< back before its removal was reported: available again; else revived
    RequestRemoval, ///< the camera asks to be removed
};

struct AnnouncedRow
{
    int cameraState; ///< announced state, or kAny
    int entryStatus; ///< the entry's TfConnectStatus, or kAny
    AnnouncedAction action;
    int newStatus; ///< for SetStatus
};

/// The first row that matches an announced state and the entry's status decides.
constexpr AnnouncedRow kAnnouncedRows[] = {
    {kCameraAvailable, TF_CONNECT_REMOVED, AnnouncedAction::Revive, 0},
    {kCameraAvailable, TF_CONNECT_OPENED, AnnouncedAction::WaitForRemoval, 0},
    {kCameraAvailable, TF_CONNECT_LOST, AnnouncedAction::Return, 0},
    {kCameraAvailable, kAny, AnnouncedAction::Revive, 0},
    {kCameraUnchanged, kAny, AnnouncedAction::Nothing, 0},
    {kCameraLeaving, TF_CONNECT_REMOVED, AnnouncedAction::Nothing, 0},
    {kCameraLeaving, kAny, AnnouncedAction::RequestRemoval, 0},
    {kCameraUpgrading, kAny, AnnouncedAction::SetStatus, TF_CONNECT_UPGRADING},
    {kCameraState4, kAny, AnnouncedAction::SetStatus, TF_CONNECT_STATE_4},
    {kAny, kAny, AnnouncedAction::SetStatus, TF_CONNECT_LOST},
};

const AnnouncedRow &FindAnnouncedRow(int cameraState, int entryStatus)
{
    for (const AnnouncedRow &row : kAnnouncedRows) {
        if ((row.cameraState == kAny || row.cameraState == cameraState) &&
            (row.entryStatus == kAny || row.entryStatus == entryStatus)) {
            return row;
        }
    }
    return kAnnouncedRows[sizeof(kAnnouncedRows) / sizeof(kAnnouncedRows[0]) - 1];
}

const char *ModelString(uint32_t type)
{
    switch (type) {
    case 520:
        return "KR52Lite";
    case 521:
        return "KR52CLite";
    case 523:
        return "KR52CPro";
    default:
        return nullptr;
    }
}

/// The same text over at most `width` characters.
bool SameText(const char *a, const char *b, size_t width)
{
    return std::strncmp(a, b, width) == 0;
}
} // namespace

EnumSocketDevice::EnumSocketDevice(uint16_t port) : StoppableThread("EnumSocketDevice"), m_port(port)
{
}

EnumSocketDevice::~EnumSocketDevice()
{
    Stop();
    Join();
    CloseSocket();
}

void EnumSocketDevice::CloseSocket()
{
    if (m_socket >= 0) {
        close(m_socket);
        m_socket = -1;
    }
    m_bound = false;
}

size_t EnumSocketDevice::RecordCount() const
{
    MutexLock lock(m_mutex);
    return m_records.size();
}

bool EnumSocketDevice::TryBind()
{
    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        TFLOG("socket() error, errno[%d], info: %s", errno, ErrnoText(errno).c_str());
        return false;
    }
    int reuse = 1;
    if (setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse)) != 0) {
        TFLOG("setsockopt() error, errno[%d], info: %s", errno, ErrnoText(errno).c_str());
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(m_port);
    if (bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        TFLOG("Error in BINDING:%d ,info: %s", errno, ErrnoText(errno).c_str());
        CloseSocket();
        return false;
    }
    m_bound = true;
    TFLOG("recvfrom");
    return true;
}

void EnumSocketDevice::Run()
{
    uint8_t buffer[kReceiveBytes];
    while (IsRunning()) {
        if (m_socket < 0 && !TryBind()) {
            // Another socket holds the port; try again later rather than giving up for good.
            WaitForStop(kBindRetryMs);
            continue;
        }
        pollfd fd{m_socket, POLLIN, 0};
        int ready = poll(&fd, 1, kReceiveWaitMs);
        if (ready <= 0 || (fd.revents & POLLIN) == 0) {
            continue;
        }
        ssize_t received = recvfrom(m_socket, buffer, sizeof(buffer), MSG_DONTWAIT, nullptr, nullptr);
        if (received > 0) {
            HandleDatagram(buffer, static_cast<size_t>(received));
        }
    }
    TFLOG("end");
}

bool EnumSocketDevice::ParseAnnouncement(const uint8_t *data, size_t size, Announcement &out)
{
    if (data == nullptr || size < kAnnouncementBytes) {
        return false;
    }
    ByteReader reader(data, kAnnouncementBytes);
    out.header = reader.ReadU8();
    out.bcc = reader.ReadU8();
    out.len = reader.ReadU8();
    out.tof = reader.ReadU8();
    out.rgb = reader.ReadU8();
    reader.ReadText(out.ip, sizeof(out.ip), 16);
    out.deviceType = reader.ReadU8();
    reader.ReadText(out.sn, sizeof(out.sn), 30);
    out.camerastate = reader.ReadU8();
    reader.ReadText(out.peerip, sizeof(out.peerip), 16);
    reader.ReadText(out.alias, sizeof(out.alias), 20);
    return reader.Ok();
}

void EnumSocketDevice::HandleDatagram(const uint8_t *data, size_t size)
{
    Announcement a;
    if (!ParseAnnouncement(data, size, a)) {
        return; // shorter than an announcement: not ours
    }
    if (a.deviceType != kAnnouncedDeviceType) {
        TFLOG("error header:0x%x, bcc:0x%x, len:%d, tof:%d, rgb:%d, ip:%s, deviceType:%d, sn:%s, "
              "camerastate:%d, "
              "peerip:%s, alias:%s",
              a.header, a.bcc, a.len, a.tof, a.rgb, a.ip, a.deviceType, a.sn, a.camerastate, a.peerip,
              a.alias);
        return;
    }
    MutexLock lock(m_mutex);
    for (auto &record : m_records) {
        if (!SameText(record->sn, a.sn, 30) || !SameText(record->ip, a.ip, 16)) {
            continue;
        }
        if (record->camerastate != a.camerastate) {
            TFLOG(" true header:0x%x, bcc:0x%x, len:%d, tof:%d, rgb:%d, ip:%s, deviceType:%d, sn:%s, "
                  "camerastate:%d, peerip:%s, alias:%s",
                  a.header, a.bcc, a.len, a.tof, a.rgb, a.ip, a.deviceType, a.sn, a.camerastate, a.peerip,
                  a.alias);
            record->camerastate = a.camerastate;
        }
        record->fresh = true;
        return;
    }
    TFLOG(
        " false header:0x%x, bcc:0x%x, len:%d, tof:%d, rgb:%d, ip:%s, deviceType:%d, sn:%s, camerastate:%d, "
        "peerip:%s,alias:%s",
        a.header, a.bcc, a.len, a.tof, a.rgb, a.ip, a.deviceType, a.sn, a.camerastate, a.peerip, a.alias);
    auto record = std::make_unique<SocKetDevice>();
    record->tof = a.tof;
    record->rgb = a.rgb;
    std::memcpy(record->ip, a.ip, sizeof(record->ip));
    record->deviceType = kDiscoveredDeviceType;
    std::memcpy(record->sn, a.sn, sizeof(record->sn));
    record->camerastate = a.camerastate;
    std::memcpy(record->alias, a.alias, sizeof(record->alias));
    record->fresh = true;
    m_records.push_back(std::move(record));
}

bool EnumSocketDevice::CheckSNByURI(uint32_t type, const char *uri, const char *sn)
{
    const char *model = ModelString(type);
    if (model == nullptr) {
        TFLOG("type:%d is invalid.", static_cast<int>(type));
        return false;
    }
    // A URI is the model string, a colon and the serial number.
    const size_t prefix = std::strlen(model) + 1;
    if (uri == nullptr || sn == nullptr || strnlen(uri, 256) < prefix) {
        return false;
    }
    // The whole serial number must match: a prefix match would merge "SN1" into "SN12".
    return std::strcmp(uri + prefix, sn) == 0;
}

uint32_t EnumSocketDevice::ParseIpv4(const char *text)
{
    uint32_t ip = 0;
    if (text == nullptr) {
        return ip;
    }
    char copy[17] = {};
    std::snprintf(copy, sizeof(copy), "%.16s", text);
    char *save = nullptr;
    int index = 0;
    for (char *part = strtok_r(copy, ".", &save); part != nullptr && index < 4;
         part = strtok_r(nullptr, ".", &save), ++index) {
        long value = std::strtol(part, nullptr, 10);
        ip |= static_cast<uint32_t>(static_cast<uint8_t>(value)) << (8 * index);
    }
    return ip;
}

void EnumSocketDevice::BuildSessions(DeviceInfo &entry, const SocKetDevice &record)
{
    entry.pSessionInfo.clear();
    uint32_t ip = ParseIpv4(record.ip);
    for (int i = 0; i < record.tof; ++i) {
        SessionInfo session;
        session.linkType = kLinkTypeNetwork;
        session.ip = ip;
        session.cmdPort = static_cast<uint16_t>(kFirstCmdPort + kPortStride * i);
        session.dataPort = static_cast<uint16_t>(kFirstDataPort + kPortStride * i);
        session.capabilityFlags = i < record.rgb ? 1u : 0u;
        session.deviceType = record.deviceType;
        session.reserved = 0xFFFF;
        entry.pSessionInfo.push_back(session);
    }
}

void EnumSocketDevice::Revive(DeviceInfo &entry)
{
    entry.status = TF_CONNECT_AVAILABLE;
    bool addPending = false;
    if (entry.pDevice) {
        addPending = entry.callBackStatus == kMessageNone && !entry.pDevice->GetRawBufferStatus();
    } else {
        addPending = entry.notifiedStatus == kMessageRemoved ||
                     (entry.callBackStatus == kMessageNone && entry.notifiedStatus == kMessageNone);
    }
    if (addPending) {
        TFLOG(" setCallBackStatus add %s", entry.alias);
        entry.callBackStatus = kMessageAdded;
    }
}

void EnumSocketDevice::ApplyAnnouncedState(DeviceInfo &entry, uint8_t cameraState)
{
    if (entry.status != TF_CONNECT_REMOVED) {
        entry.missCount = 0;
    }
    const AnnouncedRow &row = FindAnnouncedRow(cameraState, entry.status);
    switch (row.action) {
    case AnnouncedAction::Nothing:
        break;
    case AnnouncedAction::SetStatus:
        entry.status = row.newStatus;
        break;
    case AnnouncedAction::Revive:
        Revive(entry);
        break;
    case AnnouncedAction::WaitForRemoval:
        TFLOG(" wait for  remove first Opened %s", entry.alias);
        break;
    case AnnouncedAction::Return:
        if (entry.notifiedStatus == kMessageAdded) {
            entry.status = TF_CONNECT_AVAILABLE;
        } else {
            Revive(entry);
        }
        break;
    case AnnouncedAction::RequestRemoval:
        entry.status = TF_CONNECT_LOST;
        if (entry.notifiedStatus == kMessageAdded && entry.callBackStatus != kMessageRemoved) {
            TFLOG(" setCallBackStatus remove %s", entry.alias);
            entry.callBackStatus = kMessageRemoved;
        } else {
            TFLOG("%s %d %d ", entry.alias, entry.callBackStatus, entry.notifiedStatus);
        }
        break;
    }
}

void EnumSocketDevice::UpdateDeviceListInfo(std::vector<std::unique_ptr<DeviceInfo>> &list)
{
    MutexLock lock(m_mutex);
    for (auto it = m_records.begin(); it != m_records.end();) {
        SocKetDevice &record = **it;
        DeviceInfo *entry = nullptr;
        for (auto &candidate : list) {
            if (CheckSNByURI(candidate->deviceType, candidate->uri, record.sn)) {
                entry = candidate.get();
                break;
            }
        }

        if (entry == nullptr) {
            if (record.camerastate == kCameraAvailable || record.camerastate == kCameraUpgrading) {
                auto created = std::make_unique<DeviceInfo>();
                created->InitNew(record.deviceType);
                BuildSessions(*created, record);
                created->callBackStatus = record.tof > 0 ? kMessageAdded : kMessageNone;
                const char *model = ModelString(record.deviceType);
                if (model != nullptr) {
                    std::snprintf(created->uri, sizeof(created->uri), "%s:%s", model, record.sn);
                } else {
                    TFLOG("devicetype:%d is invalid. ", static_cast<int>(record.deviceType));
                }
                std::snprintf(created->alias, sizeof(created->alias), "%s",
                              record.alias[0] != '\0' ? record.alias : record.sn);
                record.fresh = false;
                list.push_back(std::move(created));
            }
            ++it;
            continue;
        }

        if (record.fresh) {
            uint32_t ip = ParseIpv4(record.ip);
            for (auto &session : entry->pSessionInfo) {
                session.ip = ip;
            }
            ApplyAnnouncedState(*entry, record.camerastate);
            record.fresh = false;
            ++it;
            continue;
        }

        if (entry->status == TF_CONNECT_OPENED) {
            if (entry->heartbeatMissCount > 2) {
                TFLOG("DeviceInfo->missCount %d  isdelete", entry->heartbeatMissCount);
                it = m_records.erase(it);
                continue;
            }
        } else if (entry->status != TF_CONNECT_REMOVED) {
            ++entry->missCount;
            if (entry->missCount > 3) {
                TFLOG("%s has no udp ", entry->alias);
                entry->callBackStatus = kMessageRemoved;
            }
        }
        ++it;
    }
}
