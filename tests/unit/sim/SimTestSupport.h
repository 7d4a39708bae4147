// SPDX-License-Identifier: Apache-2.0
// Test helpers: a discovery-side UDP receiver on an ephemeral port and an offset-based datagram reader.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim_test {

/// Where each field of an announcement lies, written down independently of the encoder.
namespace offset {
constexpr size_t kHeader = 0;
constexpr size_t kBcc = 1;
constexpr size_t kLen = 2;
constexpr size_t kTof = 3;
constexpr size_t kRgb = 4;
constexpr size_t kIp = 5;
constexpr size_t kDeviceType = 21;
constexpr size_t kSerial = 22;
constexpr size_t kState = 52;
constexpr size_t kPeerIp = 53;
constexpr size_t kAlias = 69;
constexpr size_t kEnd = 89;
} // namespace offset

/// The text of a NUL-padded field: the bytes before the first NUL.
inline std::string TextAt(const std::vector<uint8_t> &bytes, size_t start, size_t width)
{
    std::string text;
    for (size_t i = start; i < start + width && i < bytes.size() && bytes[i] != 0; ++i) {
        text += static_cast<char>(bytes[i]);
    }
    return text;
}

/// True when every byte of the field after its text is a NUL.
inline bool IsNulPadded(const std::vector<uint8_t> &bytes, size_t start, size_t width)
{
    const size_t textEnd = start + TextAt(bytes, start, width).size();
    for (size_t i = textEnd; i < start + width; ++i) {
        if (bytes.at(i) != 0) {
            return false;
        }
    }
    return true;
}

inline uint8_t XorOfAll(const std::vector<uint8_t> &bytes)
{
    uint8_t value = 0;
    for (uint8_t byte : bytes) {
        value ^= byte;
    }
    return value;
}

struct Datagram
{
    std::vector<uint8_t> bytes;
    std::string source; // dotted sender address

    uint8_t At(size_t index) const { return bytes.at(index); }
    std::string Ip() const { return TextAt(bytes, offset::kIp, 16); }
    std::string Serial() const { return TextAt(bytes, offset::kSerial, 30); }
    uint8_t State() const { return bytes.at(offset::kState); }
};

/// Plays the library's side: a UDP socket on 127.0.0.1 with a port of the kernel's choosing.
class DiscoveryReceiver
{
public:
    DiscoveryReceiver()
    {
        m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            throw std::runtime_error("cannot bind the test receiver");
        }
        m_port = ntohs(address.sin_port);
    }
    ~DiscoveryReceiver() { close(m_socket); }
    DiscoveryReceiver(const DiscoveryReceiver &) = delete;
    DiscoveryReceiver &operator=(const DiscoveryReceiver &) = delete;

    uint16_t Port() const { return m_port; }

    /// The next datagram, or nothing when none arrives within timeoutMs.
    std::optional<Datagram> Receive(unsigned timeoutMs)
    {
        pollfd fd{m_socket, POLLIN, 0};
        uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t size = poll(&fd, 1, static_cast<int>(timeoutMs)) != 1
                                 ? -1
                                 : recvfrom(m_socket, buffer, sizeof buffer, 0,
                                            reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (size < 0) {
            return std::nullopt;
        }
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return Datagram{std::vector<uint8_t>(buffer, buffer + size), text};
    }

    /// Receives until a datagram satisfies `match`, or nothing once timeoutMs have passed in all.
    std::optional<Datagram> ReceiveUntil(const std::function<bool(const Datagram &)> &match,
                                         unsigned timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto leftMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count();
            std::optional<Datagram> datagram =
                leftMs > 0 ? Receive(static_cast<unsigned>(leftMs)) : std::nullopt;
            if (leftMs <= 0 || (datagram && match(*datagram))) {
                return datagram;
            }
        }
    }

private:
    int m_socket = -1;
    uint16_t m_port = 0;
};

/// Generous bound for anything that should happen within a few periods.
constexpr unsigned kWaitMs = 5000;

} // namespace sim_test
