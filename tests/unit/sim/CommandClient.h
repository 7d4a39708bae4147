// SPDX-License-Identifier: Apache-2.0
// Test helpers: the host's side of the command and data connections, written with raw sockets and the
// frame layout spelled out byte by byte, independently of the simulator's codec.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim_test {

/// A blocking TCP client with bounded reads.
class TcpClient
{
public:
    TcpClient(const std::string &address, uint16_t port)
    {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
        m_connected =
            m_socket >= 0 && connect(m_socket, reinterpret_cast<sockaddr *>(&peer), sizeof peer) == 0;
    }
    ~TcpClient()
    {
        if (m_socket >= 0) {
            close(m_socket);
        }
    }
    TcpClient(const TcpClient &) = delete;
    TcpClient &operator=(const TcpClient &) = delete;

    bool Connected() const { return m_connected; }

    bool Send(const std::vector<uint8_t> &bytes)
    {
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t count = send(m_socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count <= 0) {
                return false;
            }
            sent += static_cast<size_t>(count);
        }
        return true;
    }

    /// Exactly `count` bytes, or nothing when the peer closes, fails or is silent for timeoutMs.
    std::optional<std::vector<uint8_t>> Receive(size_t count, unsigned timeoutMs)
    {
        std::vector<uint8_t> bytes(count);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (size_t received = 0; received < count;) {
            const ssize_t got = ReceiveBy(deadline, bytes.data() + received, count - received);
            if (got <= 0) {
                return std::nullopt;
            }
            received += static_cast<size_t>(got);
        }
        return bytes;
    }

    /// True when the peer closes the connection within timeoutMs (data still in flight is skipped).
    bool WaitForClose(unsigned timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        uint8_t scratch[256];
        ssize_t got = 0;
        while ((got = ReceiveBy(deadline, scratch, sizeof scratch)) > 0) {
        }
        return got == 0;
    }

private:
    /// What one recv returns, or -1 when nothing comes before the deadline.
    ssize_t ReceiveBy(std::chrono::steady_clock::time_point deadline, uint8_t *into, size_t size)
    {
        const auto leftMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        pollfd fd{m_socket, POLLIN, 0};
        if (leftMs <= 0 || poll(&fd, 1, static_cast<int>(leftMs)) != 1) {
            return -1;
        }
        const ssize_t got = recv(m_socket, into, size, 0);
        return got < 0 ? 0 : got; // a failed connection counts as closed
    }

    int m_socket = -1;
    bool m_connected = false;
};

inline uint32_t U32Le(const std::vector<uint8_t> &bytes, size_t at)
{
    return static_cast<uint32_t>(bytes.at(at)) | static_cast<uint32_t>(bytes.at(at + 1)) << 8 |
           static_cast<uint32_t>(bytes.at(at + 2)) << 16 | static_cast<uint32_t>(bytes.at(at + 3)) << 24;
}

/// The request frame a host sends: AA 00 00 00, n + 3 (u32 LE), AA, command, n, payload.
inline std::vector<uint8_t> RequestFrame(uint8_t command, const std::vector<uint8_t> &payload)
{
    const auto n = static_cast<uint8_t>(payload.size());
    std::vector<uint8_t> frame{0xAA, 0, 0, 0, static_cast<uint8_t>(n + 3), 0, 0, 0, 0xAA, command, n};
    for (uint8_t byte : payload) { // push_back, not insert: GCC 12 misreads insert's bounds here
        frame.push_back(byte);
    }
    return frame;
}

/// One reply frame as read off the wire.
struct Reply
{
    uint32_t marker = 0;
    std::vector<uint8_t> body; // N bytes: two bytes, the data length L, the data

    uint8_t DataLength() const { return body.at(2); }
    /// The data bytes actually carried (at most N - 3, whatever L says).
    std::vector<uint8_t> Data() const { return std::vector<uint8_t>(body.begin() + 3, body.end()); }
};

/// The host's command connection.
class CommandClient
{
public:
    CommandClient(const std::string &address, uint16_t port) : m_tcp(address, port) {}

    bool Connected() const { return m_tcp.Connected(); }
    bool Send(uint8_t command, const std::vector<uint8_t> &payload)
    {
        return m_tcp.Send(RequestFrame(command, payload));
    }
    bool SendRaw(const std::vector<uint8_t> &bytes) { return m_tcp.Send(bytes); }

    /// The next reply frame (header, then the N body bytes it announces).
    std::optional<Reply> ReadReply(unsigned timeoutMs = 5000)
    {
        const std::optional<std::vector<uint8_t>> header = m_tcp.Receive(8, timeoutMs);
        if (!header || U32Le(*header, 4) < 3 || U32Le(*header, 4) > 4096) {
            return std::nullopt;
        }
        std::optional<std::vector<uint8_t>> body = m_tcp.Receive(U32Le(*header, 4), timeoutMs);
        return body ? std::optional<Reply>(Reply{U32Le(*header, 0), std::move(*body)}) : std::nullopt;
    }

    /// Sends a query (bit 7 set by the caller) and returns its reply data, or nothing.
    std::optional<std::vector<uint8_t>> Query(uint8_t command, const std::vector<uint8_t> &payload)
    {
        const std::optional<Reply> reply = Send(command, payload) ? ReadReply() : std::nullopt;
        if (!reply || reply->marker != 0xAA || reply->DataLength() != reply->body.size() - 3) {
            return std::nullopt;
        }
        return reply->Data();
    }

    bool WaitForClose(unsigned timeoutMs = 5000) { return m_tcp.WaitForClose(timeoutMs); }

private:
    TcpClient m_tcp;
};

/// `bytes` zero-filled to `size`.
inline std::vector<uint8_t> Padded(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size, 0);
    return bytes;
}

/// `first`, then the characters of `text`.
inline std::vector<uint8_t> Text(uint8_t first, const std::string &text)
{
    std::vector<uint8_t> bytes{first};
    for (char c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    return bytes;
}

} // namespace sim_test
