// SPDX-License-Identifier: Apache-2.0
// SocketCtl: opening and closing the connection pair, bounded receives, command framing and stream reads.
#include "net/SocketCtl.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <new>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "protocol/StatusCodes.h"
#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

namespace {

std::atomic<unsigned> g_receiveTimeoutMs{SocketCtl::kDefaultReceiveTimeoutMs};

constexpr uint32_t kFrameMarker = 0xAA;
constexpr int kHeaderBytes = 8;
constexpr int kRequestHeaderBytes = 11;
constexpr int kReplyDataOffset = 3;
constexpr int kCommandExpectsReply = 0x80;
constexpr uint32_t kStreamBufferType = 1;
constexpr auto kOpenRetryPause = std::chrono::seconds(1);
constexpr auto kNotOpenedPause = std::chrono::milliseconds(30);

timeval ReceiveTimeval()
{
    const unsigned timeoutMs = g_receiveTimeoutMs.load();
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeoutMs / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeoutMs % 1000) * 1000);
    return tv;
}

/// Gives the socket's blocking receives (and sends) the receive bound, so a receive that waits for a
/// whole block can never hang. Returns whether the receive bound is in place.
bool SetSocketTimeouts(int fd)
{
    const timeval tv = ReceiveTimeval();
    if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() error, errno[%d], info: %s", err, ErrnoText(err).c_str());
        return false;
    }
    return true;
}

/// Requests go out at once: a query that follows a setting (which the camera does not answer) would
/// otherwise wait for the camera's delayed acknowledgement of the setting, some 40 ms, before it is sent.
void SetNoDelay(int fd)
{
    const int on = 1;
    if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() TCP_NODELAY error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
}

void SetKeepAlive(int fd)
{
    const int on = 1;
    const int idleS = 1;
    const int intervalS = 1;
    const int count = 3;
    if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() SO_KEEPALIVE error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
    if (setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof(idleS)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() TCP_KEEPIDLE error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
    if (setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof(intervalS)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() TCP_KEEPINTVL error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
    if (setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof(count)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() TCP_KEEPCNT error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
}

/// Waits for the pending connect of the non-blocking `fd`, at most the receive bound: 0 or an errno.
int WaitConnected(int fd)
{
    pollfd p{fd, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&p, 1, static_cast<int>(g_receiveTimeoutMs.load()));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return errno;
    }
    if (ready == 0) {
        return ETIMEDOUT;
    }
    int err = 0;
    socklen_t errLen = sizeof(err);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) != 0) {
        return errno;
    }
    return err;
}

} // namespace

int CreateSocket()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        const int err = errno;
        TFLOG("socket() error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
    const int reuse = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
    const int receiveBytes = SocketCtl::kSocketReceiveBufferBytes;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof(receiveBytes)) != 0) {
        const int err = errno;
        TFLOG("setsockopt() error, errno[%d], info: %s", err, ErrnoText(err).c_str());
    }
    return fd;
}

int Connect(int fd, const char *ip, unsigned short port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    int err = 0;
    if (inet_pton(AF_INET, ip, &address.sin_addr) != 1) {
        err = EINVAL;
    } else {
        // A camera that does not answer must not block the caller for the kernel's minutes of SYN
        // retries: connect without blocking and wait at most the receive bound.
        const int flags = fcntl(fd, F_GETFL, 0);
        const bool nonBlocking = flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
        if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
            err = errno;
            if (nonBlocking && err == EINPROGRESS) {
                err = WaitConnected(fd);
            }
        }
        if (nonBlocking) {
            fcntl(fd, F_SETFL, flags);
        }
    }
    if (err != 0) {
        TFLOG("connect() error, errno[%d], info: %s", err, ErrnoText(err).c_str());
        return -1;
    }
    return 0;
}

int RecvData(int fd, char *buf, int len, int flags)
{
    // poll rather than select: a descriptor above FD_SETSIZE must not write past an fd_set.
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, static_cast<int>(g_receiveTimeoutMs.load()));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return -1;
    }
    if (ready == 0) {
        TFLOG("time is over");
        return 0;
    }
    ssize_t received;
    do {
        received = recv(fd, buf, static_cast<size_t>(len), flags);
    } while (received < 0 && errno == EINTR);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // The socket's own bound ran out while waiting for a whole block.
        TFLOG("time is over");
        return 0;
    }
    return static_cast<int>(received);
}

/// True when the peer has closed `fd`'s connection (end of stream, nothing left to read).
static bool PeerClosed(int fd)
{
    if (fd <= 0) {
        return false;
    }
    char byte = 0;
    ssize_t peeked;
    do {
        peeked = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (peeked < 0 && errno == EINTR);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

SocketCtl::SocketCtl(IPAddr_ ip, uint16_t dataPort, uint16_t cmdPort)
    : m_dataPort(dataPort), m_cmdPort(cmdPort)
{
    std::snprintf(m_peerIp, sizeof(m_peerIp), "%d.%d.%d.%d", static_cast<int>(ip & 0xFF),
                  static_cast<int>((ip >> 8) & 0xFF), static_cast<int>((ip >> 16) & 0xFF),
                  static_cast<int>((ip >> 24) & 0xFF));
}

SocketCtl::~SocketCtl()
{
    closeDevice();
}

void SocketCtl::SetReceiveTimeoutMs(unsigned timeoutMs)
{
    g_receiveTimeoutMs.store(timeoutMs);
}

unsigned SocketCtl::GetReceiveTimeoutMs()
{
    return g_receiveTimeoutMs.load();
}

int SocketCtl::openDevice()
{
    if (m_opened.load()) {
        return 0;
    }
    CloseSockets();
    m_dataOutOfStep.store(false);
    m_dataReconnected.store(false);
    const int dataSocket = CreateSocket();
    const int cmdSocket = CreateSocket();
    m_dataSocket.store(dataSocket);
    m_cmdSocket.store(cmdSocket);
    SetKeepAlive(cmdSocket);
    SetNoDelay(cmdSocket);

    if (Connect(cmdSocket, m_peerIp, m_cmdPort) != 0) {
        TFLOG(" wait the Camera(cmd) connect %s", m_peerIp);
        CloseSockets();
        std::this_thread::sleep_for(kOpenRetryPause);
        return kStatusNotConnected;
    }
    if (Connect(dataSocket, m_peerIp, m_dataPort) != 0) {
        TFLOG(" wait the Camera(data) connect %s", m_peerIp);
        CloseSockets();
        std::this_thread::sleep_for(kOpenRetryPause);
        return kStatusNotConnected;
    }
    m_cmdWaitAll.store(SetSocketTimeouts(cmdSocket));
    m_dataWaitAll.store(SetSocketTimeouts(dataSocket));

    sockaddr_in local{};
    socklen_t localLen = sizeof(local);
    if (getsockname(cmdSocket, reinterpret_cast<sockaddr *>(&local), &localLen) == 0) {
        inet_ntop(AF_INET, &local.sin_addr, m_localIp, sizeof(m_localIp));
        TFLOG(" client ddress = %s:%d", m_localIp, static_cast<int>(ntohs(local.sin_port)));
    } else {
        const int err = errno;
        TFLOG(" getsockname error: %s(errno: %d))", ErrnoText(err).c_str(), err);
    }
    m_opened.store(true);
    return 0;
}

void SocketCtl::closeDevice()
{
    m_opened.store(false);
    CloseSockets();
}

void SocketCtl::CloseSockets()
{
    // Shut down before closing: a reader blocked in recv on the socket returns at once instead of
    // waiting out its receive time-out on a connection that is gone.
    // A descriptor is closed only once no read or transaction still uses it, so that its number, free
    // again, can never have the stream of a connection opened meanwhile read in its place.
    const int dataSocket = m_dataSocket.exchange(0);
    if (dataSocket > 0) {
        shutdown(dataSocket, SHUT_RDWR);
        MutexLock reading(m_dataReadLock);
        m_dataGeneration.fetch_add(1); // a reconnect under way must not take the number for its own
        close(dataSocket);
    }
    const int cmdSocket = m_cmdSocket.exchange(0);
    if (cmdSocket > 0) {
        shutdown(cmdSocket, SHUT_RDWR);
        MutexLock transaction(m_cmdLock);
        close(cmdSocket);
    }
}

int SocketCtl::RecvExact(int fd, unsigned char *buf, size_t len, bool waitAll, size_t *gotOut)
{
    size_t got = 0;
    while (got < len) {
        const size_t want = std::min<size_t>(len - got, INT_MAX);
        const int received = RecvData(fd, reinterpret_cast<char *>(buf + got), static_cast<int>(want),
                                      waitAll ? MSG_WAITALL : 0);
        if (received <= 0) {
            if (gotOut != nullptr) {
                *gotOut = got;
            }
            return received;
        }
        got += static_cast<size_t>(received);
    }
    if (gotOut != nullptr) {
        *gotOut = got;
    }
    return 1;
}

int SocketCtl::Drain(int fd, size_t len, unsigned char *scratch, size_t scratchBytes, bool waitAll)
{
    while (len > 0) {
        const size_t part = std::min(len, scratchBytes);
        const int result = RecvExact(fd, scratch, part, waitAll);
        if (result <= 0) {
            return result;
        }
        len -= part;
    }
    return 1;
}

int SocketCtl::ReadData(unsigned char *buf, int *len)
{
    return ReadData(buf, len, kStreamBufferBytes);
}

int SocketCtl::ReadData(unsigned char *buf, int *len, int capacity)
{
    if (!m_opened.load()) {
        std::this_thread::sleep_for(kNotOpenedPause);
        return 0;
    }
    if (buf == nullptr || len == nullptr || capacity < 0) {
        TFLOG("invalid param: capacity:%d", capacity);
        return -1;
    }
    if (m_dataOutOfStep.load()) {
        ReconnectData();
    }
    MutexLock reading(m_dataReadLock);
    const int fd = m_dataSocket.load();
    if (fd <= 0) {
        return 0; // closed meanwhile
    }
    const bool waitAll = m_dataWaitAll.load();
    unsigned char header[kHeaderBytes];
    size_t headerGot = 0;
    const int headerResult = RecvExact(fd, header, sizeof(header), waitAll, &headerGot);
    if (headerResult <= 0) {
        if (headerGot > 0) {
            LoseStep("a buffer header cut short");
        } else if (m_opened.load() && PeerClosed(fd)) {
            LoseStep("the camera closed the data connection");
        }
        return headerResult;
    }
    ByteReader fields(header, sizeof(header));
    const uint32_t type = fields.ReadU32Le();
    const uint32_t length = fields.ReadU32Le();
    if (type == kStreamBufferType && length > kLongestFollowedBufferBytes) {
        // Following it would swallow the next minutes of the stream.
        TFLOG("buffer len[%u] is beyond any buffer, dropped", length);
        *len = 0;
        m_droppedBuffers.fetch_add(1);
        LoseStep("a buffer length beyond any buffer");
        return -1;
    }
    const bool fits = length <= static_cast<uint32_t>(capacity);
    if (type != kStreamBufferType || !fits) {
        if (type != kStreamBufferType) {
            TFLOG("unknow type, type[%d], len[%d]", static_cast<int>(type), static_cast<int>(length));
        } else {
            TFLOG("buffer len[%u] is longer than capacity[%d], dropped", length, capacity);
        }
        *len = 0;
        m_droppedBuffers.fetch_add(1);
        // Unknown buffers that fit are skipped to keep the stream in step; an unknown header with an
        // impossible length is more likely noise than a buffer and is not followed.
        if (fits || type == kStreamBufferType) {
            unsigned char scratch[4096];
            const bool useCaller = capacity >= static_cast<int>(sizeof(scratch));
            const int drained = Drain(fd, length, useCaller ? buf : scratch,
                                      useCaller ? static_cast<size_t>(capacity) : sizeof(scratch), waitAll);
            if (drained <= 0) {
                LoseStep("a refused buffer cut short");
                return drained;
            }
        } else {
            LoseStep("a header that cannot be a buffer's");
        }
        return -1;
    }
    *len = static_cast<int>(length);
    if (length == 0) {
        return 1;
    }
    const int payloadResult = RecvExact(fd, buf, length, waitAll);
    if (payloadResult <= 0) {
        *len = 0;
        m_droppedBuffers.fetch_add(1);
        LoseStep("a buffer cut short");
        return payloadResult;
    }
    return 1;
}

void SocketCtl::ReconnectCommandLocked()
{
    const int old = m_cmdSocket.load();
    if (old <= 0 || !m_opened.load()) {
        return;
    }
    const int fresh = CreateSocket();
    if (fresh < 0 || Connect(fresh, m_peerIp, m_cmdPort) != 0) {
        TFLOG(" wait the Camera(cmd) connect %s", m_peerIp);
        if (fresh >= 0) {
            close(fresh);
        }
        return;
    }
    SetKeepAlive(fresh);
    SetNoDelay(fresh);
    const bool waitAll = SetSocketTimeouts(fresh);
    int expected = old;
    if (!m_cmdSocket.compare_exchange_strong(expected, fresh)) {
        close(fresh); // closed or opened anew meanwhile: that connection stands
        return;
    }
    m_cmdWaitAll.store(waitAll);
    shutdown(old, SHUT_RDWR);
    close(old); // no transaction uses it: the caller holds the command lock
    m_replyOutOfStep = false;
    TFLOG("command connection to %s:%d opened again", m_peerIp, static_cast<int>(m_cmdPort));
}

void SocketCtl::LoseStep(const char *why)
{
    if (!m_dataOutOfStep.exchange(true)) {
        TFLOG("data connection to %s out of step: %s", m_peerIp, why);
    }
}

void SocketCtl::ReconnectData()
{
    const int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    const int64_t lastMs = m_lastReconnectMs.load();
    if (lastMs != 0 && nowMs - lastMs < static_cast<int64_t>(kDataReconnectPauseMs)) {
        std::this_thread::sleep_for(kNotOpenedPause); // the caller's loop must not spin meanwhile
        return;
    }
    m_lastReconnectMs.store(nowMs);
    const uint64_t generation = m_dataGeneration.load();
    const int old = m_dataSocket.load();
    if (old <= 0 || !m_opened.load()) {
        return;
    }
    const int fresh = CreateSocket();
    if (fresh < 0 || Connect(fresh, m_peerIp, m_dataPort) != 0) {
        TFLOG(" wait the Camera(data) connect %s", m_peerIp);
        if (fresh >= 0) {
            close(fresh);
        }
        return;
    }
    const bool waitAll = SetSocketTimeouts(fresh);
    MutexLock reading(m_dataReadLock);
    int expected = old;
    // Closed meanwhile (perhaps opened anew under the same descriptor number): that connection stands.
    if (m_dataGeneration.load() != generation || !m_dataSocket.compare_exchange_strong(expected, fresh)) {
        close(fresh);
        return;
    }
    m_dataWaitAll.store(waitAll);
    shutdown(old, SHUT_RDWR);
    close(old);
    m_dataOutOfStep.store(false);
    m_dataReconnected.store(true);
    TFLOG("data connection to %s:%d opened again", m_peerIp, static_cast<int>(m_dataPort));
}

void SocketCtl::CorrectBufSize(std::unique_ptr<unsigned char[]> &buf, int *cap, int size)
{
    if (buf != nullptr && size < *cap) {
        return;
    }
    if (buf == nullptr && size <= 0) {
        return;
    }
    buf = std::make_unique<unsigned char[]>(static_cast<size_t>(size));
    *cap = size;
}

int SocketCtl::SendFrame(const unsigned char *frame, size_t size)
{
    const int fd = m_cmdSocket.load();
    if (fd <= 0) {
        // Never write a request to descriptor 0 (or a stale one) when no connection is open.
        TFLOG("SendData err: %d, %s", ENOTCONN, ErrnoText(ENOTCONN).c_str());
        return kStatusTransport;
    }
    size_t sent = 0;
    while (sent < size) {
        const ssize_t result = send(fd, frame + sent, size - sent, MSG_NOSIGNAL);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            const int err = result < 0 ? errno : EPIPE;
            TFLOG("SendData err: %d, %s", err, ErrnoText(err).c_str());
            return kStatusTransport;
        }
        sent += static_cast<size_t>(result);
    }
    return 0;
}

int SocketCtl::RecvReplyPart(unsigned char *buf, size_t len, int cmdByte)
{
    const int fd = m_cmdSocket.load();
    if (fd <= 0) {
        TFLOG(" the server connection has been gracefully closed cmdid %d", cmdByte);
        return kStatusTransport;
    }
    const int result = RecvExact(fd, buf, len, m_cmdWaitAll.load());
    if (result < 0) {
        const int err = errno;
        TFLOG("RecvData err: %d, %s cmdid %d", err, ErrnoText(err).c_str(), cmdByte);
        return kStatusTransport;
    }
    if (result == 0) {
        TFLOG(" the server connection has been gracefully closed cmdid %d", cmdByte);
        return kStatusTransport;
    }
    return 0;
}

int SocketCtl::SetCmd(int cmd, char *buf, int cap, int len, int type)
{
    MutexLock lock(m_cmdLock);
    if (PeerClosed(m_cmdSocket.load())) {
        ReconnectCommandLocked();
    }
    int payloadBytes = std::min(std::max(len, 0), kMaxPayloadBytes);
    if (buf == nullptr) {
        payloadBytes = 0;
        cap = 0;
    }
    const int cmdByte = (type == kKindSet ? cmd : (cmd | kCommandExpectsReply)) & 0xFF;

    unsigned char frame[kRequestHeaderBytes + kMaxPayloadBytes] = {};
    ByteWriter writer(frame, sizeof(frame));
    writer.WriteU32Le(kFrameMarker);
    writer.WriteU32Le(static_cast<uint32_t>(payloadBytes + 3));
    writer.WriteU8(kFrameMarker);
    writer.WriteU8(static_cast<uint8_t>(cmdByte));
    writer.WriteU8(static_cast<uint8_t>(payloadBytes));
    writer.WriteBytes(buf, static_cast<size_t>(payloadBytes));
    if (m_replyOutOfStep) {
        DropStaleReplyBytes(cmdByte);
        m_replyOutOfStep = false;
    }
    const int sendResult =
        SendFrame(frame, static_cast<size_t>(kRequestHeaderBytes) + static_cast<size_t>(payloadBytes));
    if (sendResult != 0) {
        return sendResult;
    }
    if ((cmdByte & kCommandExpectsReply) == 0) {
        return 0;
    }
    // Until the reply has been read to its end, the connection is out of step with the requests.
    m_replyOutOfStep = true;

    unsigned char header[kHeaderBytes];
    if (RecvReplyPart(header, sizeof(header), cmdByte) != 0) {
        return kStatusTransport;
    }
    ByteReader fields(header, sizeof(header));
    const uint32_t marker = fields.ReadU32Le();
    const uint32_t bodyBytes = fields.ReadU32Le();
    if (bodyBytes > kMaxReplyBodyBytes) {
        TFLOG("reply body:%u is too long, marker:0x%x cmdid %d", bodyBytes, marker, cmdByte);
        return kStatusTransport;
    }
    if (marker != kFrameMarker || bodyBytes < kReplyDataOffset) {
        // Read the body anyway so the next transaction starts at a frame boundary; the caller's
        // buffer still holds its request, which must not pass for an answer.
        unsigned char scratch[512];
        for (uint32_t left = bodyBytes; left > 0;) {
            const uint32_t part = std::min<uint32_t>(left, sizeof(scratch));
            if (RecvReplyPart(scratch, part, cmdByte) != 0) {
                return kStatusTransport;
            }
            left -= part;
        }
        m_replyOutOfStep = false;
        TFLOG("reply marker:0x%x body:%u is invalid, dropped cmdid %d", marker, bodyBytes, cmdByte);
        return kStatusTransport;
    }
    try {
        CorrectBufSize(m_replyBuffer, &m_replyCapacity, static_cast<int>(bodyBytes));
    } catch (const std::bad_alloc &e) {
        TFLOG("Exception: %s", e.what());
        return kStatusTransport;
    }
    if (RecvReplyPart(m_replyBuffer.get(), bodyBytes, cmdByte) != 0) {
        return kStatusTransport;
    }
    m_replyOutOfStep = false;
    const int dataBytes = m_replyBuffer[2];
    const int bodyDataBytes = static_cast<int>(bodyBytes) - kReplyDataOffset;
    const int copyBytes = std::min({dataBytes, bodyDataBytes, std::max(cap, 0)});
    if (copyBytes > 0) {
        std::memcpy(buf, m_replyBuffer.get() + kReplyDataOffset, static_cast<size_t>(copyBytes));
    }
    if (dataBytes > bodyDataBytes) {
        TFLOG("reply data:%d is longer than its body:%d cmdid %d", dataBytes, bodyDataBytes, cmdByte);
        return kStatusTransport;
    }
    return 0;
}

void SocketCtl::DropStaleReplyBytes(int cmdByte)
{
    const int fd = m_cmdSocket.load();
    if (fd <= 0) {
        return;
    }
    // Bounded, so that a camera that never stops sending cannot hold the caller here.
    constexpr size_t kMostDropped = 1u << 20;
    unsigned char scratch[512];
    size_t dropped = 0;
    while (dropped < kMostDropped) {
        const ssize_t got = recv(fd, scratch, sizeof(scratch), MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break; // nothing more waiting, or the connection failed: the request finds out
        }
        dropped += static_cast<size_t>(got);
    }
    if (dropped > 0) {
        TFLOG("dropped %zu bytes of a late reply before cmdid %d", dropped, cmdByte);
    }
}

int SocketCtl::GetPeerIP(char *out) const
{
    if (out == nullptr || std::strchr(m_peerIp, '.') == nullptr) {
        return -1;
    }
    std::memcpy(out, m_peerIp, sizeof(m_peerIp));
    return 0;
}
