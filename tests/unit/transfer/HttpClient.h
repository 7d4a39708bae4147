// SPDX-License-Identifier: Apache-2.0
// HttpClient: one raw HTTP request over loopback and the status and body of its answer, for the tests
// that reach the built-in HTTP server as a camera would.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

namespace orvtest {

/// A connected TCP socket to `host`:`port`, or -1.
inline int ConnectTo(const char *host, unsigned short port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host, &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// Sends `request` to 127.0.0.1:`port`; the answer's status (-1 when nothing listens) and body.
inline std::pair<int, std::string> HttpRequest(unsigned short port, const std::string &request)
{
    const int fd = ConnectTo("127.0.0.1", port);
    if (fd < 0) {
        return {-1, {}};
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        answer.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    const size_t bodyAt = answer.find("\r\n\r\n");
    const int status = answer.size() > 12 ? std::atoi(answer.c_str() + 9) : -1;
    return {status, bodyAt == std::string::npos ? std::string() : answer.substr(bodyAt + 4)};
}

/// One upload chunk as a camera posts it, with its true length and checksum unless given others.
inline std::string UploadChunk(const std::string &name, uint64_t offset, const std::string &chunk,
                               long long declaredLength = -1, long long declaredSum = -1)
{
    uint32_t sum = 0;
    for (unsigned char c : chunk) {
        sum += c;
    }
    const long long length = declaredLength >= 0 ? declaredLength : static_cast<long long>(chunk.size());
    return "POST /upload?name=" + name + "&offset=" + std::to_string(offset) +
           "&fileDatalength=" + std::to_string(length) +
           "&checksum=" + std::to_string(declaredSum >= 0 ? declaredSum : sum) +
           " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(chunk.size()) + "\r\n\r\n" + chunk;
}

/// A GET of `path`.
inline std::string GetRequest(const std::string &path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
}

} // namespace orvtest
