// SPDX-License-Identifier: Apache-2.0
// Helpers for the net tests: loopback listeners on ephemeral ports, the camera's end of a connection and
// command frames as a camera writes and reads them.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "net/SocketCtl.h"

namespace orvtest {

/// 127.0.0.1 with the first dotted byte lowest.
constexpr IPAddr_ kLoopback = 0x0100007F;
/// Bound of every wait of the camera's end, so a broken library fails a test instead of hanging it.
constexpr int kPeerWaitMs = 5000;

/// The camera's end of one connection: owns the descriptor.
class Peer
{
public:
    explicit Peer(int fd = -1) : m_fd(fd) {}
    ~Peer() { Close(); }
    Peer(Peer &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Peer &operator=(Peer &&other) noexcept
    {
        if (this != &other) {
            Close();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    bool Valid() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

    bool Send(const std::vector<uint8_t> &bytes) const
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t r = send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (r <= 0) {
                return false;
            }
            sent += static_cast<size_t>(r);
        }
        return true;
    }

    /// Reads exactly `count` bytes; fewer when the connection closes or nothing comes within the bound.
    std::vector<uint8_t> Read(size_t count, int waitMs = kPeerWaitMs) const
    {
        std::vector<uint8_t> bytes(count);
        size_t got = 0;
        while (got < count) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, waitMs) <= 0) {
                break;
            }
            const ssize_t r = recv(m_fd, bytes.data() + got, count - got, 0);
            if (r <= 0) {
                break;
            }
            got += static_cast<size_t>(r);
        }
        bytes.resize(got);
        return bytes;
    }

    /// Whether anything (or a close) arrives within `waitMs`.
    bool Readable(int waitMs) const
    {
        pollfd p{m_fd, POLLIN, 0};
        return poll(&p, 1, waitMs) > 0;
    }

private:
    int m_fd;
};

/// A listening socket on 127.0.0.1 with a port the system chose.
class Listener
{
public:
    Listener()
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
        listen(m_fd, 8);
        socklen_t length = sizeof(address);
        getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~Listener() { Close(); }
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;

    uint16_t Port() const { return m_port; }
    void Close()
    {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    /// The next connection, or an invalid peer when none comes within `waitMs`.
    Peer Accept(int waitMs = kPeerWaitMs) const
    {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) {
            return Peer();
        }
        return Peer(accept(m_fd, nullptr, nullptr));
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

inline void PutU32(std::vector<uint8_t> &bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

/// A reply frame as a camera writes it: marker, body length, two body bytes, data length, data.
inline std::vector<uint8_t> ReplyFrame(const std::vector<uint8_t> &data, uint32_t marker = 0xAA)
{
    std::vector<uint8_t> frame;
    PutU32(frame, marker);
    PutU32(frame, static_cast<uint32_t>(data.size() + 3));
    frame.push_back(0xAA);
    frame.push_back(0x00);
    frame.push_back(static_cast<uint8_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

/// One request as the camera reads it.
struct Request
{
    std::vector<uint8_t> header; ///< the 11 bytes before the payload
    std::vector<uint8_t> payload;
    int Command() const { return header.size() == 11 ? header[9] : -1; }
};

/// Reads one request frame; an empty header when none arrives in time.
inline Request ReadRequest(const Peer &peer, int waitMs = kPeerWaitMs)
{
    Request request;
    request.header = peer.Read(11, waitMs);
    if (request.header.size() == 11) {
        request.payload = peer.Read(request.header[10], waitMs);
    }
    return request;
}

/// A stream buffer header: type and payload length.
inline std::vector<uint8_t> StreamHeader(uint32_t type, uint32_t length)
{
    std::vector<uint8_t> header;
    PutU32(header, type);
    PutU32(header, length);
    return header;
}

} // namespace orvtest
