// SPDX-License-Identifier: Apache-2.0
// One simulated network camera: its identity, its announced state and its announcement socket.
#pragma once

#include "Announcement.h"

#include <netinet/in.h>

#include <condition_variable>
#include <cstdint>
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
};

/// Announcements a camera can send on demand that a receiver must reject.
enum class MalformedKind
{
    Short,          // the well-formed datagram less its last byte (88 bytes)
    WrongDeviceType // a full datagram announcing device type 10
};

/// A camera as seen from the network. Every method may be called from any thread.
class SimCamera
{
public:
    /// The camera announces itself to discoveryAddress:discoveryPort (a dotted IPv4 address).
    SimCamera(const SimCameraConfig &config, const std::string &discoveryAddress, uint16_t discoveryPort);
    ~SimCamera();
    SimCamera(const SimCamera &) = delete;
    SimCamera &operator=(const SimCamera &) = delete;

    void SetState(uint8_t state);
    /// Stops or resumes the periodic announcements; AnnounceNow and SendMalformed still send.
    void SetAnnouncing(bool on);
    bool IsAnnouncing() const;
    /// Later announcements carry the new address and come from a socket bound to it.
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
    /// The last failure to send, or an empty text when the last send succeeded.
    std::string LastError() const;
    /// Waits until at least `count` well-formed announcements have been sent; false on time-out.
    bool WaitForAnnouncements(uint64_t count, unsigned timeoutMs) const;

private:
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
    std::string m_lastError;                       // guarded by m_mutex
    const std::string m_discoveryAddress;
    sockaddr_in m_discoveryTarget{};
    bool m_discoveryTargetValid = false;
};
