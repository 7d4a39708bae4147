// SPDX-License-Identifier: Apache-2.0
// Whether a WebSocket handshake may proceed: a browser's Origin must be this server as the page reached it.
#pragma once

#include <string>

namespace orvane::cli {

class OriginCheck
{
public:
    /// True when `origin` is null (not a browser), or is "http://" followed by the same host:port as
    /// `host` (the request's Host header; the host compared without regard to case, the port exactly).
    static bool Allows(const char *origin, const char *host);
};

} // namespace orvane::cli
