// SPDX-License-Identifier: Apache-2.0
// One simulated network camera: announcement encoding and sending from the camera's own address.
#include "SimCamera.h"

#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

/// A camera of another family; receivers for this family must drop its announcements.
constexpr uint8_t kOtherFamilyDeviceType = 10;

bool ParseAddress(const std::string &text, uint16_t port, sockaddr_in &out)
{
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, text.c_str(), &out.sin_addr) == 1;
}

/// The settings a session starts with: the model's defaults with the camera's identity.
SimSettings InitialSettings(const SimCameraConfig &config, size_t session)
{
    SimSettings settings;
    settings.serial = config.serial;
    settings.deviceSerial = config.serial;
    settings.alias = config.alias;
    settings.ipAddress = config.address;
    in_addr address{};
    uint8_t host = 0;
    if (inet_pton(AF_INET, config.address.c_str(), &address) == 1) {
        host = static_cast<uint8_t>(ntohl(address.s_addr) & 0xFF);
    }
    char mac[24];
    std::snprintf(mac, sizeof mac, "02:4b:52:00:%02x:%02x", static_cast<unsigned>(session & 0xFF), host);
    settings.macAddress = mac;
    return settings;
}

} // namespace

SimCamera::SimCamera(const SimCameraConfig &config, const std::string &discoveryAddress,
                     uint16_t discoveryPort)
    : m_config(config), m_discoveryAddress(discoveryAddress)
{
    m_discoveryTargetValid = ParseAddress(discoveryAddress, discoveryPort, m_discoveryTarget);
    const size_t models = config.tofSessions > 0 ? config.tofSessions : 1;
    for (size_t i = 0; i < models; ++i) {
        m_sessions.push_back(std::make_unique<SimSession>(i, InitialSettings(config, i)));
    }
    m_upgrade = std::make_unique<SimUpgradeModel>(MakeLink());
    m_transfers = std::make_unique<SimTransfers>(MakeLink());
    m_powerCycle = std::make_unique<SimPowerCycle>(MakeLink());
    for (const auto &session : m_sessions) {
        session->Streamer().SetStatusWhileStopped(config.statusWhileStopped);
        session->Streamer().SetWallClockTimestamps(config.wallClockTimestamps);
        session->SetCommandHook([this](const RecordedFrame &frame) {
            SimHookResult result = m_commandHook ? m_commandHook(frame) : SimHookResult{};
            if (result.kind != SimHookResult::Kind::Pass) {
                return result;
            }
            result = m_upgrade->Handle(frame);
            return result.kind == SimHookResult::Kind::Pass ? m_transfers->Handle(frame) : result;
        });
    }
}

SimCamera::~SimCamera()
{
    m_powerCycle->Stop();
    m_upgrade->Stop();
    m_transfers->Stop();
    StopServing();
    std::lock_guard<std::mutex> lock(m_mutex);
    CloseSocketLocked();
}

void SimCamera::SetState(uint8_t state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config.state = state;
}

void SimCamera::SetAnnouncing(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_announcing = on;
}

bool SimCamera::IsAnnouncing() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_announcing;
}

void SimCamera::SetAddress(const std::string &address)
{
    std::lock_guard<std::mutex> serve(m_serveMutex);
    std::string oldAddress;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (address == m_config.address) {
            return;
        }
        oldAddress = m_config.address;
        CloseSocketLocked();
        m_config.address = address;
        m_lastError.clear();
    }
    for (const auto &session : m_sessions) {
        session->UpdateSettings([&](SimSettings &s) {
            if (s.ipAddress == oldAddress) {
                s.ipAddress = address;
            }
        });
    }
    if (m_serving) {
        for (const auto &session : m_sessions) {
            session->StopServing();
        }
        StartServingLocked();
    }
}

bool SimCamera::AnnounceNow()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return AnnounceLocked();
}

bool SimCamera::AnnounceIfEnabled()
{
    // Checked under the same lock as the send, so no periodic datagram leaves after SetAnnouncing(false).
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_announcing && !m_down && AnnounceLocked();
}

bool SimCamera::SendMalformed(MalformedKind kind)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Announcement announcement = MakeAnnouncementLocked();
    std::vector<uint8_t> datagram;
    switch (kind) {
    case MalformedKind::Short:
        datagram = announcement.Encode();
        datagram.pop_back();
        break;
    case MalformedKind::WrongDeviceType:
        announcement.deviceType = kOtherFamilyDeviceType;
        datagram = announcement.Encode();
        break;
    }
    if (!SendLocked(datagram)) {
        return false;
    }
    ++m_malformedSent;
    return true;
}

SimCameraConfig SimCamera::Config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

uint64_t SimCamera::AnnouncementsSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_announcementsSent;
}

uint64_t SimCamera::MalformedSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_malformedSent;
}

std::string SimCamera::LastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError.empty() ? m_serveError : m_lastError;
}

bool SimCamera::WaitForAnnouncements(uint64_t count, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_sentChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_announcementsSent >= count; });
}

Announcement SimCamera::MakeAnnouncementLocked() const
{
    Announcement announcement;
    announcement.tof = m_config.tofSessions;
    announcement.rgb = m_config.colorSessions;
    announcement.ip = m_config.address;
    announcement.serial = m_config.serial;
    announcement.cameraState = m_config.state;
    announcement.peerIp = m_discoveryAddress;
    announcement.alias = m_config.alias;
    return announcement;
}

bool SimCamera::AnnounceLocked()
{
    if (!SendLocked(MakeAnnouncementLocked().Encode())) {
        return false;
    }
    ++m_announcementsSent;
    m_sentChanged.notify_all();
    return true;
}

bool SimCamera::SendLocked(const std::vector<uint8_t> &datagram)
{
    if (!m_discoveryTargetValid) {
        FailLocked("camera " + m_config.serial + ": invalid discovery address '" + m_discoveryAddress + "'");
        return false;
    }
    if (!OpenSocketLocked()) {
        return false;
    }
    const ssize_t sent =
        sendto(m_socket, datagram.data(), datagram.size(), MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr *>(&m_discoveryTarget), sizeof m_discoveryTarget);
    if (sent != static_cast<ssize_t>(datagram.size())) {
        const int error = errno;
        FailLocked("camera " + m_config.serial + ": sending the announcement from " + m_config.address +
                   " failed: " + (sent < 0 ? ErrnoText(error) : "short send"));
        return false;
    }
    m_lastError.clear();
    return true;
}

bool SimCamera::OpenSocketLocked()
{
    if (m_socket >= 0) {
        return true;
    }
    sockaddr_in local{};
    if (!ParseAddress(m_config.address, 0, local)) {
        FailLocked("camera " + m_config.serial + ": invalid camera address '" + m_config.address + "'");
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        const int error = errno;
        FailLocked("camera " + m_config.serial + ": cannot create a UDP socket: " + ErrnoText(error));
        return false;
    }
    // Bound to the camera's own address so that receivers see the camera as the datagram's source.
    if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        const int error = errno;
        close(fd);
        FailLocked("camera " + m_config.serial + ": cannot bind to " + m_config.address + ": " +
                   ErrnoText(error));
        return false;
    }
    m_socket = fd;
    return true;
}

void SimCamera::CloseSocketLocked()
{
    if (m_socket >= 0) {
        close(m_socket);
        m_socket = -1;
    }
}

void SimCamera::FailLocked(const std::string &message)
{
    // A persistent fault (an address that is not local) is reported once, not once per period.
    if (message != m_lastError) {
        TFLOG("%s", message.c_str());
        std::fprintf(stderr, "%s\n", message.c_str());
    }
    m_lastError = message;
}

bool SimCamera::StartServing()
{
    std::lock_guard<std::mutex> serve(m_serveMutex);
    m_serving = true;
    return StartServingLocked();
}

bool SimCamera::StartServingLocked()
{
    const SimCameraConfig config = Config();
    if (IsDown()) {
        return true; // it serves again when it is back from its reboot
    }
    std::string error;
    for (size_t i = 0; i < config.tofSessions && i < m_sessions.size(); ++i) {
        if (!m_sessions[i]->StartServing(config.address) && error.empty()) {
            error = "camera " + config.serial + ": " + m_sessions[i]->LastError();
            std::fprintf(stderr, "%s\n", error.c_str());
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_serveError = error;
    return error.empty();
}

void SimCamera::StopServing()
{
    std::lock_guard<std::mutex> serve(m_serveMutex);
    m_serving = false;
    for (const auto &session : m_sessions) {
        session->StopServing();
    }
}

bool SimCamera::IsServing() const
{
    std::lock_guard<std::mutex> serve(m_serveMutex);
    const size_t tofSessions = Config().tofSessions;
    if (!m_serving || tofSessions == 0) {
        return false;
    }
    for (size_t i = 0; i < tofSessions && i < m_sessions.size(); ++i) {
        if (!m_sessions[i]->IsServing()) {
            return false;
        }
    }
    return true;
}

size_t SimCamera::SessionCount() const
{
    return m_sessions.size();
}

SimSession &SimCamera::Session(size_t session) const
{
    if (session >= m_sessions.size()) {
        throw std::out_of_range("no session " + std::to_string(session) + " on camera " + Config().serial);
    }
    return *m_sessions[session];
}

SimSettings SimCamera::Settings(size_t session) const
{
    return Session(session).Settings();
}

void SimCamera::UpdateSettings(const std::function<void(SimSettings &)> &update, size_t session)
{
    Session(session).UpdateSettings(update);
}

void SimCamera::SetCommandFault(CommandFault fault, int count, size_t session)
{
    if (session != kAllSessions) {
        Session(session).SetCommandFault(fault, count);
        return;
    }
    for (const auto &each : m_sessions) {
        each->SetCommandFault(fault, count);
    }
}

void SimCamera::SetReplyDelayMs(unsigned delayMs, size_t session)
{
    if (session != kAllSessions) {
        Session(session).SetReplyDelayMs(delayMs);
        return;
    }
    for (const auto &each : m_sessions) {
        each->SetReplyDelayMs(delayMs);
    }
}

void SimCamera::SetHeartbeatAnswered(bool answered, size_t session)
{
    if (session != kAllSessions) {
        Session(session).SetHeartbeatAnswered(answered);
        return;
    }
    for (const auto &each : m_sessions) {
        each->SetHeartbeatAnswered(answered);
    }
}

uint64_t SimCamera::RepliesSent(size_t session) const
{
    return Session(session).RepliesSent();
}

std::vector<RecordedFrame> SimCamera::RecordedFrames(size_t session) const
{
    return Session(session).RecordedFrames();
}

void SimCamera::ClearRecordedFrames()
{
    for (const auto &session : m_sessions) {
        session->ClearRecordedFrames();
    }
}

bool SimCamera::WaitForFrames(size_t count, unsigned timeoutMs, size_t session) const
{
    return Session(session).WaitForFrames(count, timeoutMs);
}

uint64_t SimCamera::CommandClientsAccepted(size_t session) const
{
    return Session(session).CommandClientsAccepted();
}

bool SimCamera::WaitForDataClient(unsigned timeoutMs, size_t session)
{
    return Session(session).WaitForDataClient(timeoutMs);
}

bool SimCamera::SendData(const std::vector<uint8_t> &bytes, size_t session)
{
    return Session(session).SendData(bytes);
}

SimStreamer &SimCamera::Streamer(size_t session) const
{
    return Session(session).Streamer();
}

std::vector<uint8_t> SimCamera::StreamBuffer(uint32_t type, const std::vector<uint8_t> &payload)
{
    ByteWriter writer;
    writer.WriteU32Le(type);
    writer.WriteU32Le(static_cast<uint32_t>(payload.size()));
    writer.WriteBytes(payload.data(), payload.size());
    return writer.Bytes();
}

SimCameraLink SimCamera::MakeLink()
{
    SimCameraLink link;
    link.address = [this] { return Config().address; };
    link.serial = [this] { return Config().serial; };
    link.goDown = [this] { GoDown(); };
    link.comeUp = [this](uint8_t state, const std::string &address, bool serve) {
        ComeUp(state, address, serve);
    };
    link.setFirmwareVersion = [this](const std::string &version) {
        for (const auto &session : m_sessions) {
            session->UpdateSettings([&](SimSettings &s) { s.firmwareVersion = version; });
        }
    };
    link.options = [this] { return UpgradeOptions(); };
    link.faults = [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_upgradeFaults;
    };
    return link;
}

bool SimCamera::IsDown() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_down;
}

void SimCamera::GoDown()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_down = true;
    }
    std::lock_guard<std::mutex> serve(m_serveMutex);
    for (const auto &session : m_sessions) {
        session->StopServing();
        session->UpdateSettings([](SimSettings &s) { s.streaming = false; });
    }
}

void SimCamera::ComeUp(uint8_t state, const std::string &address, bool serve)
{
    std::lock_guard<std::mutex> serving(m_serveMutex);
    std::string oldAddress;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_down = false;
        m_config.state = state;
        if (address != m_config.address) {
            oldAddress = m_config.address;
            CloseSocketLocked();
            m_config.address = address;
        }
    }
    for (const auto &session : m_sessions) {
        session->UpdateSettings([&](SimSettings &s) {
            if (!oldAddress.empty() && s.ipAddress == oldAddress) {
                s.ipAddress = address;
            }
        });
    }
    if (m_serving && serve) {
        StartServingLocked();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_announcing) {
        AnnounceLocked();
    }
}

void SimCamera::SetUpgradeOptions(const SimUpgradeOptions &options)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_upgradeOptions = options;
}

SimUpgradeOptions SimCamera::UpgradeOptions() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_upgradeOptions;
}

void SimCamera::SetServerPort(uint16_t port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_upgradeOptions.serverPort = port;
}

void SimCamera::SetUpgradeFaults(const SimUpgradeFaults &faults)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_upgradeFaults = faults;
}

SimCameraMode SimCamera::Mode() const
{
    return m_upgrade->Mode();
}

bool SimCamera::WaitForFetched(uint64_t bytes, unsigned timeoutMs) const
{
    return m_upgrade->WaitForFetched(bytes, timeoutMs);
}

std::vector<uint8_t> SimCamera::FetchedFile() const
{
    return m_upgrade->FetchedFile();
}

bool SimCamera::WaitForMode(SimCameraMode mode, unsigned timeoutMs) const
{
    return m_upgrade->WaitForMode(mode, timeoutMs);
}

uint64_t SimCamera::Boots() const
{
    return m_upgrade->Boots();
}

bool SimCamera::WaitForBoots(uint64_t count, unsigned timeoutMs) const
{
    return m_upgrade->WaitForBoots(count, timeoutMs);
}

bool SimCamera::WaitForFirmwareVersion(const std::string &version, unsigned timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!IsDown() && Settings().firmwareVersion == version) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<SimReceivedFile> SimCamera::ReceivedFiles() const
{
    return m_transfers->ReceivedFiles();
}

std::vector<SimUploadResponse> SimCamera::UploadResponses() const
{
    return m_transfers->UploadResponses();
}

bool SimCamera::WaitForTransfers(uint64_t count, unsigned timeoutMs) const
{
    return m_transfers->WaitForTransfers(count, timeoutMs);
}

void SimCamera::DropDataConnection(size_t session)
{
    Session(session).CloseDataClient();
}

void SimCamera::PowerCycle(unsigned downMs)
{
    m_upgrade->PowerLost();
    m_powerCycle->Start(downMs);
}

bool SimCamera::WaitForPowerCycles(uint64_t count, unsigned timeoutMs) const
{
    return m_powerCycle->WaitForCycles(count, timeoutMs);
}
