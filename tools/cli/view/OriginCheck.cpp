// SPDX-License-Identifier: Apache-2.0
// Whether a WebSocket handshake may proceed: a browser's Origin must be this server as the page reached it.
#include "OriginCheck.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace orvane::cli {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

/// Splits "host:port" (or "[v6]:port") at the port's colon; the port is empty when there is none.
void SplitHostPort(std::string_view text, std::string_view &host, std::string_view &port)
{
    const size_t bracket = text.rfind(']');
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || (bracket != std::string_view::npos && colon < bracket)) {
        host = text;
        port = {};
        return;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
}

} // namespace

bool OriginCheck::Allows(const char *origin, const char *host)
{
    if (origin == nullptr) {
        return true;
    }
    constexpr std::string_view kScheme = "http://";
    const std::string_view originText(origin);
    if (host == nullptr || originText.size() <= kScheme.size() ||
        !SameIgnoringCase(originText.substr(0, kScheme.size()), kScheme)) {
        return false;
    }
    const std::string_view authority = originText.substr(kScheme.size());
    if (authority.find_first_of("/?#@ ") != std::string_view::npos) {
        return false; // an Origin is scheme://host[:port] and nothing else
    }
    std::string_view originHost, originPort, hostHost, hostPort;
    SplitHostPort(authority, originHost, originPort);
    SplitHostPort(host, hostHost, hostPort);
    return !originHost.empty() && SameIgnoringCase(originHost, hostHost) && originPort == hostPort;
}

} // namespace orvane::cli
