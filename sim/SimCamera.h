// SPDX-License-Identifier: Apache-2.0
// One simulated network camera: its identity, its announced state, its announcement socket and its
// ToF sessions (settings model, command and data connections).
#pragma once

#include "Announcement.h"
#include "CommandFrame.h"
#include "SimPowerCycle.h"
#include "SimSession.h"
#include "SimSettings.h"
#include "SimTransfers.h"
#include "SimUpgradeModel.h"
#include "SimUpgradeOptions.h"

#include <netinet/in.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/// What a simulated camera is and announces.
struct SimCameraConfig
{
    std::string serial;                // e.g. "SN0001"
    std::string alias;                 // may be empty
    std::string address = "127.0.0.2"; // the camera's loopback address; datagrams are sent from it
    uint8_t tofSessions = 1;
    uint8_t colorSessions = 0;
    uint8_t state = 0; // announced camerastate, 0..4 for a well-behaved camera
    /// Whether the sessions keep sending their status record while the stream is stopped
    /// (SimStreamer::SetStatusWhileStopped changes it later).
    bool statusWhileStopped = false;
    /// Whether frame timestamps are wall-clock time (SimStreamer::SetWallClockTimestamps).
    bool wallClockTimestamps = false;
};

/// Announcements a camera can send on demand that a receiver must reject.
enum class MalformedKind
{
    Short,          // the well-formed datagram less its last byte (88 bytes)
    WrongDeviceType // a full datagram announcing device type 10
};

/// A camera as seen from the network. Every method may be called from any thread.
///
/// The camera has one settings model per ToF session (at least one, so that a camera without ToF
/// sessions still has settings to read) and serves the connections of each of its `tofSessions`
/// sessions between StartServing and StopServing. Methods taking a `session` index throw
/// std::out_of_range for a session the camera does not have.
class SimCamera
{
public:
    /// For SetCommandFault and SetReplyDelayMs: every session of the camera.
    static constexpr size_t kAllSessions = std::numeric_limits<size_t>::max();

    /// The camera announces itself to discoveryAddress:discoveryPort (a dotted IPv4 address).
    SimCamera(const SimCameraConfig &config, const std::string &discoveryAddress, uint16_t discoveryPort);
    ~SimCamera();
    SimCamera(const SimCamera &) = delete;
    SimCamera &operator=(const SimCamera &) = delete;

    void SetState(uint8_t state);
    /// Stops or resumes the periodic announcements; AnnounceNow and SendMalformed still send.
    void SetAnnouncing(bool on);
    bool IsAnnouncing() const;
    /// Later announcements carry the new address and come from a socket bound to it; a serving camera
    /// moves its listeners there too, and the sessions' IP address setting follows.
    void SetAddress(const std::string &address);

    /// Sends one well-formed announcement right away; false (and a diagnostic) when it cannot be sent.
    bool AnnounceNow();
    /// Sends one malformed announcement right away; it does not count as an announcement.
    bool SendMalformed(MalformedKind kind);
    /// Sends one well-formed announcement when periodic announcements are on (the simulator's tick).
    bool AnnounceIfEnabled();

    SimCameraConfig Config() const;
    /// Well-formed datagrams sent so far.
    uint64_t AnnouncementsSent() const;
    /// Malformed datagrams sent so far.
    uint64_t MalformedSent() const;
    /// The last failure to send an announcement, else the last failure to serve the connections, or an
    /// empty text.
    std::string LastError() const;
    /// Waits until at least `count` well-formed announcements have been sent; false on time-out.
    bool WaitForAnnouncements(uint64_t count, unsigned timeoutMs) const;

    /// Starts serving every ToF session on the camera's address; true when already serving. False
    /// (LastError() and a log line) when a session cannot listen; the others still serve.
    bool StartServing();
    /// Closes every connection of every session and joins their threads.
    void StopServing();
    /// True when every ToF session serves its connections.
    bool IsServing() const;
    /// Settings models (at least 1); the first `tofSessions` of them serve connections.
    size_t SessionCount() const;
    static uint16_t CommandPort(size_t session) { return SimSession::CommandPort(session); }
    static uint16_t DataPort(size_t session) { return SimSession::DataPort(session); }

    SimSettings Settings(size_t session = 0) const;
    /// Runs `update` on the session's settings under its lock; queries answer the new values at once.
    void UpdateSettings(const std::function<void(SimSettings &)> &update, size_t session = 0);

    /// Faults in answering queries: count -1 until cleared, n for the next n queries (per session).
    void SetCommandFault(CommandFault fault, int count = -1, size_t session = kAllSessions);
    /// Delays each answer by delayMs (0: answer at once).
    void SetReplyDelayMs(unsigned delayMs, size_t session = kAllSessions);
    /// Off: the camera stops answering heartbeats and still serves everything else and announces.
    void SetHeartbeatAnswered(bool answered, size_t session = kAllSessions);

    /// Every request frame of every session goes through `hook` first (before the upgrade and transfer
    /// models); set it before the camera serves.
    void SetCommandHook(SimCommandHook hook) { m_commandHook = std::move(hook); }

    /// The request frames a session received, oldest first.
    std::vector<RecordedFrame> RecordedFrames(size_t session = 0) const;
    /// Forgets the recorded frames of every session.
    void ClearRecordedFrames();
    bool WaitForFrames(size_t count, unsigned timeoutMs, size_t session = 0) const;
    /// Reply frames the session has written to its command connection so far.
    uint64_t RepliesSent(size_t session = 0) const;
    /// Command clients a session accepted so far.
    uint64_t CommandClientsAccepted(size_t session = 0) const;

    bool WaitForDataClient(unsigned timeoutMs, size_t session = 0);
    /// Ends the session's data connection from the camera's side; the host may connect again.
    void DropDataConnection(size_t session = 0);
    /// Writes raw bytes to the session's data client; false when none is connected or it is gone.
    bool SendData(const std::vector<uint8_t> &bytes, size_t session = 0);
    /// The stream of a session (scene, encoder options, status delay, faults, frames sent, ground truth).
    SimStreamer &Streamer(size_t session = 0) const;
    /// A stream buffer: type (u32 LE), payload length (u32 LE), payload.
    static std::vector<uint8_t> StreamBuffer(uint32_t type, const std::vector<uint8_t> &payload);

    // Upgrades, JSON configuration and file transfers (SimUpgradeModel and SimTransfers say what the
    // camera answers). Options and faults apply from the next step the camera takes.

    /// Timing, the host's server port and the calibration files; see SimUpgradeOptions.
    void SetUpgradeOptions(const SimUpgradeOptions &options);
    SimUpgradeOptions UpgradeOptions() const;
    /// The port of the host's HTTP server the camera fetches from and uploads to (default 8080).
    void SetServerPort(uint16_t port);
    /// Faults on demand, all off by default; SimUpgradeFaults{} clears them.
    void SetUpgradeFaults(const SimUpgradeFaults &faults);
    SimCameraMode Mode() const;
    /// Waits until the camera has fetched a whole file (firmware image or JSON) of `bytes` bytes.
    bool WaitForFetched(uint64_t bytes, unsigned timeoutMs) const;
    /// The last firmware image or JSON file fetched whole.
    std::vector<uint8_t> FetchedFile() const;
    /// Waits until the camera is back from a reboot in upgrade mode (or in JSON mode, or normal mode).
    bool WaitForMode(SimCameraMode mode, unsigned timeoutMs) const;
    /// Reboots completed (back, or silent for good); WaitForBoots waits for `count` of them.
    uint64_t Boots() const;
    bool WaitForBoots(uint64_t count, unsigned timeoutMs) const;
    /// Waits until the camera answers GetFWVer with `version` (e.g. after the final reboot).
    bool WaitForFirmwareVersion(const std::string &version, unsigned timeoutMs) const;
    /// Files the host sent to the camera, oldest first.
    std::vector<SimReceivedFile> ReceivedFiles() const;
    /// How the host answered each chunk of the camera's last upload.
    std::vector<SimUploadResponse> UploadResponses() const;
    /// Waits until `count` transfers (either direction) have ended.
    bool WaitForTransfers(uint64_t count, unsigned timeoutMs) const;

    /// Loses power: silent at once (no connections, no announcements, whatever job it played ends),
    /// back after downMs in the normal mode with the settings it had and the stream off. Returns at once.
    void PowerCycle(unsigned downMs);
    /// Waits until `count` power cycles have ended with the camera back.
    bool WaitForPowerCycles(uint64_t count, unsigned timeoutMs) const;

private:
    SimCameraLink MakeLink();
    bool IsDown() const;
    void GoDown();
    void ComeUp(uint8_t state, const std::string &address, bool serve);
    SimSession &Session(size_t session) const;
    bool StartServingLocked();
    Announcement MakeAnnouncementLocked() const;
    bool AnnounceLocked();
    bool SendLocked(const std::vector<uint8_t> &datagram);
    bool OpenSocketLocked();
    void CloseSocketLocked();
    void FailLocked(const std::string &message);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_sentChanged; // signalled under m_mutex when m_announcementsSent grows
    SimCameraConfig m_config;                      // guarded by m_mutex
    bool m_announcing = true;                      // guarded by m_mutex
    int m_socket = -1;                             // guarded by m_mutex; bound to m_config.address
    uint64_t m_announcementsSent = 0;              // guarded by m_mutex
    uint64_t m_malformedSent = 0;                  // guarded by m_mutex
    std::string m_lastError;                       // guarded by m_mutex; the last announcement failure
    std::string m_serveError;                      // guarded by m_mutex; the last StartServing failure
    const std::string m_discoveryAddress;
    sockaddr_in m_discoveryTarget{};
    bool m_discoveryTargetValid = false;

    // Serialises StartServing, StopServing and the listener move of SetAddress; taken before m_mutex.
    mutable std::mutex m_serveMutex;
    bool m_serving = false;                              // guarded by m_serveMutex
    std::vector<std::unique_ptr<SimSession>> m_sessions; // fixed at construction

    SimUpgradeOptions m_upgradeOptions; // guarded by m_mutex
    SimUpgradeFaults m_upgradeFaults;   // guarded by m_mutex
    bool m_down = false;                // guarded by m_mutex; rebooting: neither serving nor announcing
    // Their threads call back through the link; stopped first in the destructor.
    std::unique_ptr<SimUpgradeModel> m_upgrade;
    std::unique_ptr<SimTransfers> m_transfers;
    std::unique_ptr<SimPowerCycle> m_powerCycle;
    SimCommandHook m_commandHook; // set before serving, then read by the serving threads only
};
