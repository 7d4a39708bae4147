// SPDX-License-Identifier: Apache-2.0
// SimHttpClient: requests written and answers read on non-blocking sockets with bounded waits.
#include "SimHttpClient.h"

#include "runtime/LogCustom.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kSliceMs = 100;
constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kReadBytes = 64 * 1024;

using Clock = std::chrono::steady_clock;

/// Closes the descriptor when the exchange ends, however it ends.
struct FdGuard
{
    int fd;
    ~FdGuard()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

/// The value of header `name` (lower case) in `head`, or false.
bool HeaderValue(const std::string &head, const std::string &name, std::string &value)
{
    const std::string lower = Lower(head);
    const size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) {
        return false;
    }
    const size_t first = at + 3 + name.size();
    const size_t end = lower.find("\r\n", first);
    value = head.substr(first, end == std::string::npos ? std::string::npos : end - first);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t") + 1);
    return true;
}

} // namespace

SimHttpClient::SimHttpClient(Options options) : m_options(std::move(options))
{
}

bool SimHttpClient::Get(const std::string &host, uint16_t port, const std::string &target,
                        SimHttpResponse &out)
{
    const std::string head = "GET " + target + " HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) +
                             "\r\nConnection: close\r\n\r\n";
    return Exchange(host, port, head, nullptr, 0, 0, out);
}

bool SimHttpClient::Post(const std::string &host, uint16_t port, const std::string &target,
                         const std::vector<uint8_t> &body, SimHttpResponse &out, size_t sendBytes)
{
    const std::string head =
        "POST " + target + " HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) +
        "\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n";
    return Exchange(host, port, head, body.data(), body.size(), std::min(sendBytes, body.size()), out);
}

bool SimHttpClient::Exchange(const std::string &host, uint16_t port, const std::string &head,
                             const uint8_t *body, size_t bodyBytes, size_t sendBytes, SimHttpResponse &out)
{
    out = SimHttpResponse{};
    m_error.clear();
    FdGuard guard{Connect(host, port)};
    if (guard.fd < 0) {
        return false;
    }
    if (!SendAll(guard.fd, reinterpret_cast<const uint8_t *>(head.data()), head.size()) ||
        !SendAll(guard.fd, body, sendBytes)) {
        return false;
    }
    if (sendBytes < bodyBytes) {
        return Fail("sent " + std::to_string(sendBytes) + " of " + std::to_string(bodyBytes) +
                    " body bytes and hung up");
    }
    std::string answerHead;
    std::vector<uint8_t> rest;
    if (!ReadHead(guard.fd, answerHead, rest)) {
        return false;
    }
    if (answerHead.compare(0, 5, "HTTP/") != 0 || answerHead.find(' ') == std::string::npos) {
        return Fail("not an HTTP answer");
    }
    out.status = std::atoi(answerHead.c_str() + answerHead.find(' ') + 1);
    std::string value;
    if (HeaderValue(answerHead, "transfer-encoding", value) && Lower(value) != "identity") {
        return Fail("transfer encoding '" + value + "' is not supported");
    }
    const bool hasLength = HeaderValue(answerHead, "content-length", value);
    char *end = nullptr;
    const unsigned long long length = hasLength ? std::strtoull(value.c_str(), &end, 10) : 0;
    if (hasLength && (value.empty() || *end != '\0' || length > m_options.maxBodyBytes)) {
        return Fail("bad Content-Length '" + value + "'");
    }
    out.body = std::move(rest);
    if (out.body.size() > length && hasLength) {
        out.body.resize(length);
    }
    return ReadBody(guard.fd, length, !hasLength, out);
}

int SimHttpClient::Connect(const std::string &host, uint16_t port)
{
    sockaddr_in local{};
    sockaddr_in remote{};
    local.sin_family = remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    if (inet_pton(AF_INET, m_options.localAddress.c_str(), &local.sin_addr) != 1 ||
        inet_pton(AF_INET, host.c_str(), &remote.sin_addr) != 1) {
        Fail("bad address '" + m_options.localAddress + "' or '" + host + "'");
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        Fail("socket: " + ErrnoText(errno));
        return -1;
    }
    FdGuard guard{fd};
    if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        Fail("cannot bind to " + m_options.localAddress + ": " + ErrnoText(errno));
        return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr *>(&remote), sizeof remote) != 0 &&
        errno != EINPROGRESS) {
        Fail("connect to " + host + ":" + std::to_string(port) + ": " + ErrnoText(errno));
        return -1;
    }
    if (!Await(fd, POLLOUT)) {
        return -1;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        Fail("connect to " + host + ":" + std::to_string(port) + ": " + ErrnoText(error));
        return -1;
    }
    guard.fd = -1;
    return fd;
}

bool SimHttpClient::SendAll(int fd, const uint8_t *data, size_t size)
{
    size_t sent = 0;
    while (sent < size) {
        const ssize_t count = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (count > 0) {
            sent += static_cast<size_t>(count);
        } else if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return Fail("send: " + ErrnoText(errno));
        } else if (!Await(fd, POLLOUT)) {
            return false;
        }
    }
    return true;
}

bool SimHttpClient::ReadHead(int fd, std::string &head, std::vector<uint8_t> &rest)
{
    char chunk[4096];
    for (;;) {
        const size_t end = head.find("\r\n\r\n");
        if (end != std::string::npos) {
            rest.assign(head.begin() + static_cast<std::ptrdiff_t>(end + 4), head.end());
            head.resize(end + 2); // keeps the last header's "\r\n" for the header search
            return true;
        }
        if (head.size() > kMaxHeadBytes) {
            return Fail("answer head longer than " + std::to_string(kMaxHeadBytes) + " bytes");
        }
        const ssize_t count = recv(fd, chunk, sizeof chunk, 0);
        if (count > 0) {
            head.append(chunk, static_cast<size_t>(count));
        } else if (count == 0) {
            return Fail("connection closed before the answer's head ended");
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return Fail("receive: " + ErrnoText(errno));
        } else if (!Await(fd, POLLIN)) {
            return false;
        }
    }
}

bool SimHttpClient::ReadBody(int fd, uint64_t length, bool untilClose, SimHttpResponse &out)
{
    const auto start = Clock::now();
    std::vector<uint8_t> chunk(kReadBytes);
    const uint64_t cut = m_options.cutHalfway && !untilClose ? length / 2 : m_options.cutAfterBytes;
    if (out.body.size() > cut) {
        out.body.resize(cut);
    }
    for (;;) {
        if (out.body.size() >= cut) {
            return Fail("hung up after " + std::to_string(out.body.size()) + " body bytes");
        }
        if (!untilClose && out.body.size() >= length) {
            return true;
        }
        if (out.body.size() > m_options.maxBodyBytes) {
            return Fail("body longer than " + std::to_string(m_options.maxBodyBytes) + " bytes");
        }
        uint64_t want =
            untilClose ? chunk.size() : std::min<uint64_t>(chunk.size(), length - out.body.size());
        want = std::min<uint64_t>(want, cut - out.body.size());
        const ssize_t count = recv(fd, chunk.data(), static_cast<size_t>(want), 0);
        if (count > 0) {
            out.body.insert(out.body.end(), chunk.begin(), chunk.begin() + count);
        } else if (count == 0) {
            return untilClose ? true
                              : Fail("connection closed after " + std::to_string(out.body.size()) + " of " +
                                     std::to_string(length) + " body bytes");
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return Fail("receive: " + ErrnoText(errno));
        } else if (!Await(fd, POLLIN)) {
            return false;
        }
        if (m_options.bytesPerSecond > 0) {
            // Holds the pace: the bytes read so far may not come before their time.
            const auto due =
                start + std::chrono::microseconds(out.body.size() * 1000000 / m_options.bytesPerSecond);
            while (Clock::now() < due) {
                if (m_options.cancelled && m_options.cancelled()) {
                    return Fail("cancelled");
                }
                std::this_thread::sleep_for(
                    std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(kSliceMs)));
            }
        }
    }
}

bool SimHttpClient::Await(int fd, short events)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_options.timeoutMs);
    for (;;) {
        if (m_options.cancelled && m_options.cancelled()) {
            return Fail("cancelled");
        }
        const auto leftMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (leftMs <= 0) {
            return Fail("no progress for " + std::to_string(m_options.timeoutMs) + " ms");
        }
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(leftMs, kSliceMs)));
        if (ready > 0) {
            return true; // errors and hang-ups show in the next send or receive
        }
        if (ready < 0 && errno != EINTR) {
            return Fail("poll: " + ErrnoText(errno));
        }
    }
}

bool SimHttpClient::Fail(const std::string &why)
{
    if (m_error.empty()) {
        m_error = why;
    }
    return false;
}
