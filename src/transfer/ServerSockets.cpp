// SPDX-License-Identifier: Apache-2.0
// ServerSockets: the server's sockets found through the kernel's TCP table and /proc/self/fd.
#include "transfer/ServerSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

/// The inodes of this process's IPv4 TCP sockets whose local address is `wanted`:`port`, from the
/// kernel's table (a file read: no descriptor of another thread is touched).
std::set<unsigned long> SocketInodes(const in_addr &wanted, unsigned short port)
{
    std::set<unsigned long> inodes;
    std::ifstream table("/proc/self/net/tcp");
    std::string line;
    std::getline(table, line); // the column titles
    while (std::getline(table, line)) {
        // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ..."
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode)) {
            continue;
        }
        const size_t colon = local.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        // The address is the 32-bit value as stored (network order) printed in hex, the port in host order.
        const auto address = static_cast<uint32_t>(std::strtoul(local.substr(0, colon).c_str(), nullptr, 16));
        const auto localPort =
            static_cast<unsigned short>(std::strtoul(local.c_str() + colon + 1, nullptr, 16));
        if (address == wanted.s_addr && localPort == port && inode != 0) {
            inodes.insert(inode);
        }
    }
    return inodes;
}

} // namespace

template <typename Action>
int ServerSockets::ForEach(const std::string &host, unsigned short port, Action action)
{
    in_addr wanted{};
    if (port == 0 || inet_pton(AF_INET, host.c_str(), &wanted) != 1) {
        return 0;
    }
    const std::set<unsigned long> inodes = SocketInodes(wanted, port);
    if (inodes.empty()) {
        return 0;
    }
    // Descriptors are matched by the link /proc gives for them ("socket:[inode]"), so that only the
    // server's own sockets are ever acted on; the descriptors are read first, since acting while the
    // directory is open would change what it lists.
    std::vector<int> fds;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(entry.path(), linkError).string();
        unsigned long inode = 0;
        if (linkError || std::sscanf(target.c_str(), "socket:[%lu]", &inode) != 1 ||
            inodes.count(inode) == 0) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        char *end = nullptr;
        const long fd = std::strtol(name.c_str(), &end, 10);
        if (end != name.c_str() && *end == '\0' && fd >= 0 && fd <= INT32_MAX) {
            fds.push_back(static_cast<int>(fd));
        }
    }
    int matched = 0;
    for (const int fd : fds) {
        // The descriptor may have been closed and reused since: act only while it is still the server's.
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &size) != 0 ||
            local.sin_family != AF_INET || local.sin_addr.s_addr != wanted.s_addr ||
            ntohs(local.sin_port) != port) {
            continue;
        }
        action(fd);
        ++matched;
    }
    return matched;
}

void ServerSockets::ShutdownAll(const std::string &host, unsigned short port)
{
    // The first pass shuts the listener down with the connections it has; a connection it accepted
    // while the first pass was looking is caught by the second, after which nothing more is accepted.
    for (int pass = 0; pass < 2; ++pass) {
        ForEach(host, port, [](int fd) { ::shutdown(fd, SHUT_RDWR); });
    }
}

int ServerSockets::CloseLeftovers(const std::string &host, unsigned short port)
{
    return ForEach(host, port, [](int fd) { ::close(fd); });
}
