// SPDX-License-Identifier: Apache-2.0
// FuzzCamera: opening the protocol against loopback listeners, then swapping its descriptors.
#include "FuzzCamera.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "CommandFrame.h"
#include "FuzzInput.h"
#include "PeerSockets.h"
#include "protocol/SessionInfo.h"

namespace {

constexpr unsigned kBoundMs = 2000; // the end of stream always comes first; this bounds a hang

uint16_t Port(int fd, bool peer)
{
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    const int ret = peer ? getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length)
                         : getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    return ret == 0 && address.sin_family == AF_INET ? ntohs(address.sin_port) : 0;
}

/// The descriptor of this process whose local port is the peer port of the connection `listener` accepts.
int FindClientEnd(const orvtest::Listener &listener)
{
    const orvtest::Peer accepted = listener.Accept();
    Require(accepted.Valid());
    const uint16_t clientPort = Port(accepted.Fd(), true);
    for (int fd = 3; fd < 4096; ++fd) {
        if (fd != accepted.Fd() && Port(fd, false) == clientPort) {
            return fd;
        }
    }
    abort();
}

/// Puts one end of a fresh socket pair at `target`; returns the other end.
int Swap(int target, int oldPeer)
{
    if (oldPeer >= 0) {
        close(oldPeer);
    }
    int pair[2];
    Require(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
    Require(dup2(pair[0], target) == target);
    close(pair[0]);
    const timeval bound{kBoundMs / 1000, 0};
    setsockopt(target, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof(bound));
    setsockopt(target, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof(bound));
    fcntl(pair[1], F_SETFL, O_NONBLOCK);
    return pair[1];
}

void Fill(int peer, const uint8_t *bytes, size_t size)
{
    // What does not fit the pair's buffer is cut: the library would only read on into it.
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = send(peer, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<size_t>(n);
    }
    shutdown(peer, SHUT_WR);
}

} // namespace

FuzzCamera::FuzzCamera()
{
    SocketCtl::SetReceiveTimeoutMs(kBoundMs);
    const orvtest::Listener command;
    const orvtest::Listener stream;
    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = orvtest::kLoopback;
    info.cmdPort = command.Port();
    info.dataPort = stream.Port();
    m_protocol = std::make_unique<SocketProtocol>(info);
    Require(m_protocol->OpenDevice() == 0);
    m_cmdFd = FindClientEnd(command);
    m_dataFd = FindClientEnd(stream);
}

FuzzCamera::~FuzzCamera()
{
    m_protocol.reset();
    for (int fd : {m_cmdPeer, m_dataPeer}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void FuzzCamera::Load(const uint8_t *command, size_t commandBytes, const uint8_t *stream, size_t streamBytes)
{
    m_cmdPeer = Swap(m_cmdFd, m_cmdPeer);
    // A setting reads no reply but drops whatever a previous reply left, on the still empty connection.
    m_protocol->SetCmd(0x01, nullptr, 0, 0, kKindSet);
    TakeSent();
    Fill(m_cmdPeer, command, commandBytes);
    m_dataPeer = Swap(m_dataFd, m_dataPeer);
    Fill(m_dataPeer, stream, streamBytes);
}

std::vector<uint8_t> FuzzCamera::TakeSent()
{
    std::vector<uint8_t> sent;
    uint8_t chunk[4096];
    for (;;) {
        const ssize_t n = recv(m_cmdPeer, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n <= 0) {
            break;
        }
        sent.insert(sent.end(), chunk, chunk + n);
    }
    return sent;
}

void RequireRequestFrames(const std::vector<uint8_t> &sent)
{
    size_t at = 0;
    while (at < sent.size()) {
        RecordedFrame frame;
        const CommandFrame::ParseResult result =
            CommandFrame::ParseRequest(sent.data() + at, sent.size() - at, frame);
        Require(result.status == CommandFrame::ParseStatus::Frame && result.consumed > 0);
        Require(result.consumed <= CommandFrame::kMaxRequestBytes);
        at += result.consumed;
    }
}
