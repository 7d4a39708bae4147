// SPDX-License-Identifier: Apache-2.0
// SessionInfo: how to reach one sensor session of a camera (link kind, address, ports, capabilities).
#pragma once

#include <cstdint>
#include <vector>

/// Link kinds a session can describe; only network cameras are opened by the library.
enum SessionLinkType : uint32_t
{
    kLinkTypeUsb = 1,
    kLinkTypeNetwork = 2,
    kLinkTypeOther = 3,
};

/// One session (sensor channel) of one camera. Copying it copies the extra list deeply, and a
/// copy of a record with an unknown link kind is logged.
struct SessionInfo
{
    uint32_t linkType = 0;
    /// Network link: the camera's IPv4 address, first dotted byte in the lowest byte.
    uint32_t ip = 0;
    uint16_t cmdPort = 0;
    uint16_t dataPort = 0;
    /// Bit 0: the session carries the colour camera.
    uint32_t capabilityFlags = 0;
    /// Extra values of other link kinds; empty for network cameras (extraCount = its size).
    std::vector<int> extraList;
    uint32_t deviceType = 0;
    uint16_t reserved = 0;

    SessionInfo() = default;
    SessionInfo(const SessionInfo &other);
    SessionInfo &operator=(const SessionInfo &other);
    SessionInfo(SessionInfo &&) noexcept = default;
    SessionInfo &operator=(SessionInfo &&) noexcept = default;
    ~SessionInfo() = default;

    int ExtraCount() const { return static_cast<int>(extraList.size()); }
    /// The address as "a.b.c.d".
    void FormatIp(char *out, unsigned capacity) const;
};
