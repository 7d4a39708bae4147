// SPDX-License-Identifier: Apache-2.0
// SocketCtl: the command and data TCP connections to one camera session, command transactions and
// stream buffer reads.
#pragma once

#include "runtime/Mutex.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

/// A camera's IPv4 address: the first dotted byte in the lowest byte.
using IPAddr_ = uint32_t;

/// Size of the stream demultiplexer's buffer: the largest stream buffer a camera may send.
constexpr int kStreamBufferBytes = 8696254;

/// Transaction kinds of SocketCtl::SetCmd: a query is sent with bit 7 of its id set and reads one reply;
/// a setting is sent as the bare id and reads none.
constexpr int kKindGet = 1;
constexpr int kKindSet = 2;

/// Creates an IPv4 stream socket with address reuse and a large receive buffer; failures are logged
/// and the (possibly failed) descriptor is returned.
int CreateSocket();
/// Connects `fd` to `ip`:`port`, waiting at most the receive bound; 0 or -1.
int Connect(int fd, const char *ip, unsigned short port);
/// One bounded wait for `fd` to become readable, then one receive of at most `len` bytes: the count,
/// 0 on time-out ("time is over") or when the peer closed, -1 on error. `flags` go to recv.
int RecvData(int fd, char *buf, int len, int flags = 0);

/// Owns the command connection (framed request/reply transactions, serialised by the command lock)
/// and the data connection (the camera's stream, read one buffer at a time by the stream thread).
class SocketCtl
{
public:
    /// Request payloads longer than this are cut.
    static constexpr int kMaxPayloadBytes = 64;
    /// Largest reply body taken from a camera; a longer one means the connection is out of step.
    static constexpr uint32_t kMaxReplyBodyBytes = 1024 * 1024;
    /// Default receive bound: 5 s and 5000 us.
    static constexpr unsigned kDefaultReceiveTimeoutMs = 5005;
    /// Receive buffer of both sockets.
    static constexpr int kSocketReceiveBufferBytes = 819200;

    SocketCtl(IPAddr_ ip, uint16_t dataPort, uint16_t cmdPort);
    ~SocketCtl();

    SocketCtl(const SocketCtl &) = delete;
    SocketCtl &operator=(const SocketCtl &) = delete;

    /// Process-wide bound of each wait for received data. Tests shorten it; connections opened after
    /// the change use it for every wait.
    static void SetReceiveTimeoutMs(unsigned timeoutMs);
    static unsigned GetReceiveTimeoutMs();

    /// Opens the command, then the data connection: 0 (also when already open) or kStatusNotConnected.
    int openDevice();
    /// Clears opened and closes both connections.
    void closeDevice();
    bool IsOpened() const { return m_opened.load(); }

    /// Reads one stream buffer into `buf` (kStreamBufferBytes bytes).
    int ReadData(unsigned char *buf, int *len);
    /// Reads one stream buffer into `buf`, which holds `capacity` bytes: 1 with `*len` = its length,
    /// 0 when nothing came (not opened, time-out, peer closed), -1 on a receive error or a refused
    /// buffer (unknown type or longer than `capacity`: drained so the stream stays in step, counted,
    /// `*len` = 0).
    int ReadData(unsigned char *buf, int *len, int capacity);
    /// Stream buffers ReadData refused or lost cut short since construction.
    uint64_t GetDroppedBufferCount() const { return m_droppedBuffers.load(); }
    /// True once after ReadData connected the data connection anew: the camera closed it, or the stream
    /// went out of step (a buffer cut short, a header that cannot be one), and only a new connection
    /// starts again at a buffer's beginning. A camera ends its stream with the connection it sent on.
    bool TakeDataReconnected() { return m_dataReconnected.exchange(false); }

    /// Least time between two attempts to connect the data connection anew.
    static constexpr unsigned kDataReconnectPauseMs = 500;
    /// A stream buffer announced longer than this is no buffer: the stream is out of step.
    static constexpr uint32_t kLongestFollowedBufferBytes = 4 * kStreamBufferBytes;

    /// One command transaction: sends `len` payload bytes of `buf` (at most 64) as command `cmd`; a
    /// query (`type` other than 2) copies at most `cap` reply data bytes back to `buf`. 0 or
    /// kStatusTransport.
    int SetCmd(int cmd, char *buf, int cap, int len, int type);

    /// Makes `buf` hold at least `size` bytes; a buffer is replaced only when `size` is not smaller.
    static void CorrectBufSize(std::unique_ptr<unsigned char[]> &buf, int *cap, int size);

    /// Copies the 16-byte peer address text to `out`: 0, or non-zero when there is none.
    int GetPeerIP(char *out) const;
    /// This host's address on the command connection, filled by a successful open.
    const char *GetLocalIP() const { return m_localIp; }

private:
    /// Reads exactly `len` bytes from `fd`: 1, 0 on time-out or close, -1 on error (errno kept); the
    /// bytes read before it ended go to `got` when given.
    static int RecvExact(int fd, unsigned char *buf, size_t len, bool waitAll, size_t *got = nullptr);
    /// Reads and drops `len` bytes from `fd`, into `scratch` of `scratchBytes`: as RecvExact.
    static int Drain(int fd, size_t len, unsigned char *scratch, size_t scratchBytes, bool waitAll);
    int RecvReplyPart(unsigned char *buf, size_t len, int cmdByte);
    /// Drops what is already waiting on the command connection: after a reply that was not read to its
    /// end (a time-out, a refused length), whatever the camera sent late belongs to no later request.
    void DropStaleReplyBytes(int cmdByte);
    int SendFrame(const unsigned char *frame, size_t size);
    void CloseSockets();
    /// Replaces the data connection by a new one to the same camera, outside the read lock while it
    /// connects; gives up (to try again later) when the connection was closed or replaced meanwhile.
    void ReconnectData();
    /// The camera closed the command connection: a new one replaces it, so that one lost connection
    /// fails no more than the transaction it cut.
    void ReconnectCommandLocked() REQUIRES(m_cmdLock);
    /// Notes that the data stream lost its place (logged with `why`); the next read reconnects.
    void LoseStep(const char *why);

    char m_peerIp[16] = {};
    char m_localIp[16] = {};
    uint16_t m_dataPort;
    uint16_t m_cmdPort;
    // Written by open and close; read by the stream thread and command callers.
    std::atomic<int> m_dataSocket{0};
    std::atomic<int> m_cmdSocket{0};
    std::atomic<bool> m_opened{false};
    // Receive calls wait for whole blocks only where the socket carries its own time-out.
    std::atomic<bool> m_dataWaitAll{false};
    std::atomic<bool> m_cmdWaitAll{false};
    std::unique_ptr<unsigned char[]> m_replyBuffer GUARDED_BY(m_cmdLock);
    int m_replyCapacity GUARDED_BY(m_cmdLock) = 0;
    bool m_replyOutOfStep GUARDED_BY(m_cmdLock) = false; // a reply was left unread
    Mutex m_cmdLock;
    Mutex m_dataReadLock; // held by a stream read, so that a close waits for it to return
    std::atomic<uint64_t> m_droppedBuffers{0};
    std::atomic<bool> m_dataOutOfStep{false};
    std::atomic<bool> m_dataReconnected{false};
    std::atomic<int64_t> m_lastReconnectMs{0}; // steady clock, of the last attempt
    std::atomic<uint64_t> m_dataGeneration{0}; // grows when a data connection is closed, under m_dataReadLock
};
