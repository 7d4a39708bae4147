// SPDX-License-Identifier: Apache-2.0
// ServerSockets: a walk over /proc/self/fd matching each socket's local address.
#include "transfer/ServerSockets.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

template <typename Action>
int ServerSockets::ForEach(const std::string &host, unsigned short port, Action action)
{
    in_addr wanted{};
    if (port == 0 || inet_pton(AF_INET, host.c_str(), &wanted) != 1) {
        return 0;
    }
    // The descriptors are read first: acting while the directory is open would change what it lists.
    std::vector<int> fds;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(dir);
        while (const dirent *entry = ::readdir(dir)) {
            const int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] != '.' && fd != own) {
                fds.push_back(fd);
            }
        }
        ::closedir(dir);
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
