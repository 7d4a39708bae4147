// SPDX-License-Identifier: Apache-2.0
// The announcement datagram a simulated camera sends to the discovery port, encoded as the camera does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// The fields of one announcement. Every field is a single byte or a NUL-padded character array, so
/// the datagram has no byte order.
struct Announcement
{
    static constexpr size_t kSizeBytes = 89;
    static constexpr uint8_t kHeader = 0x55;
    /// The device type this camera family announces.
    static constexpr uint8_t kDeviceType = 11;
    static constexpr size_t kIpChars = 16;
    static constexpr size_t kSerialChars = 30;
    static constexpr size_t kAliasChars = 20;

    uint8_t tof = 1;
    uint8_t rgb = 0;
    std::string ip;
    uint8_t deviceType = kDeviceType;
    std::string serial;
    uint8_t cameraState = 0;
    /// The address the announcement is sent to.
    std::string peerIp;
    std::string alias;

    /// The 89-byte datagram. Text fields are cut so that at least one NUL ends each of them, as the
    /// camera's firmware writes C strings; `bcc` is the xor of every other byte.
    std::vector<uint8_t> Encode() const;
};
