// SPDX-License-Identifier: Apache-2.0
// SimHttpClient: the camera's small HTTP/1.1 client, on sockets bound to the camera's own address, with
// the ways a camera may misbehave while it fetches or uploads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

/// One answer: the status code and the body (Content-Length bytes, or up to the end of the connection).
struct SimHttpResponse
{
    int status = 0;
    std::vector<uint8_t> body;
    std::string BodyText() const { return std::string(body.begin(), body.end()); }
};

/// One request per connection ("Connection: close"). Every wait is bounded by `timeoutMs` without
/// progress and gives up within 100 ms once `cancelled` answers true. A failure leaves LastError().
class SimHttpClient
{
public:
    struct Options
    {
        std::string localAddress = "127.0.0.2"; // the socket is bound to it before it connects
        unsigned timeoutMs = 5000;
        uint64_t maxBodyBytes = uint64_t{1} << 31;
        uint64_t bytesPerSecond = 0;                                   // reading pace; 0: as fast as it comes
        uint64_t cutAfterBytes = std::numeric_limits<uint64_t>::max(); // body bytes read before hanging up
        bool cutHalfway = false; // hangs up after half of a Content-Length body
        std::function<bool()> cancelled;
    };

    explicit SimHttpClient(Options options);

    /// GET `target` ("/name") from host:port. True when a whole answer came (any status).
    bool Get(const std::string &host, uint16_t port, const std::string &target, SimHttpResponse &out);
    /// POST `body` to `target`, declaring its whole length but sending only `sendBytes` of it (the rest
    /// of the body is withheld and the connection closed). True when a whole answer came.
    bool Post(const std::string &host, uint16_t port, const std::string &target,
              const std::vector<uint8_t> &body, SimHttpResponse &out,
              size_t sendBytes = std::numeric_limits<size_t>::max());

    const std::string &LastError() const { return m_error; }

private:
    bool Exchange(const std::string &host, uint16_t port, const std::string &head, const uint8_t *body,
                  size_t bodyBytes, size_t sendBytes, SimHttpResponse &out);
    int Connect(const std::string &host, uint16_t port);
    bool SendAll(int fd, const uint8_t *data, size_t size);
    bool ReadHead(int fd, std::string &head, std::vector<uint8_t> &rest);
    bool ReadBody(int fd, uint64_t length, bool untilClose, SimHttpResponse &out);
    /// Waits until `fd` is ready for `events`; false on time-out, cancellation or error.
    bool Await(int fd, short events);
    bool Fail(const std::string &why);

    Options m_options;
    std::string m_error;
};
