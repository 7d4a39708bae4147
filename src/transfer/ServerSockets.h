// SPDX-License-Identifier: Apache-2.0
// ServerSockets: the descriptors this process holds on the built-in HTTP server's address, found so that
// a stop can wake the server's threads waiting on them and free those its library left open.
#pragma once

#include <string>

/// CivetWeb waits on an idle connection (a client that connected and sends nothing) in 2-second quanta
/// and notices a stop only between them; a connection it accepted while stopping it neither serves nor
/// closes. Both are mended from outside through the descriptors bound to the server's address and port:
/// a socket shut down wakes every wait on it at once, and once the library has stopped no socket on that
/// address is its own any more.
class ServerSockets
{
public:
    /// Shuts down (without closing) the listener and every connection accepted on `host`:`port`.
    static void ShutdownAll(const std::string &host, unsigned short port);
    /// Closes every socket still bound to `host`:`port`; call only when no server thread is left. The
    /// number closed.
    static int CloseLeftovers(const std::string &host, unsigned short port);

private:
    /// Calls `action(fd)` for each socket of this process whose local address is `host`:`port`.
    template <typename Action>
    static int ForEach(const std::string &host, unsigned short port, Action action);
};
