// SPDX-License-Identifier: Apache-2.0
// ServerSockets: a walk over /proc/self/fd matching each socket's local address.
#include "transfer/ServerSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

template <typename Action>
int ServerSockets::ForEach(const std::string &host, unsigned short port, Action action)
{
    in_addr wanted{};
    if (port == 0 || inet_pton(AF_INET, host.c_str(), &wanted) != 1) {
        return 0;
    }
    // The descriptors are read first: acting while the directory is open would change what it lists.
    // The walk's own descriptor is a directory, not a socket, and is skipped below.
    std::vector<int> fds;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string name = entry.path().filename().string();
        char *end = nullptr;
        const long fd = std::strtol(name.c_str(), &end, 10);
        if (end != name.c_str() && *end == '\0' && fd >= 0 && fd <= INT32_MAX) {
            fds.push_back(static_cast<int>(fd));
        }
    }
    int matched = 0;
    for (const int fd : fds) {
        struct stat st
        {
        };
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode) ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &size) != 0 ||
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
    ForEach(host, port, [](int fd) { ::shutdown(fd, SHUT_RDWR); });
}

int ServerSockets::CloseLeftovers(const std::string &host, unsigned short port)
{
    return ForEach(host, port, [](int fd) { ::close(fd); });
}
