// SPDX-License-Identifier: Apache-2.0
// The built-in HTTP server's start and stop: 1,000 job cycles on loopback, the stop's median and p99,
// with and without a client holding an idle connection, and the threads and descriptors left after.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "transfer/WebServer.h"

namespace {

size_t Entries(const char *dir)
{
    size_t count = 0;
    if (DIR *d = opendir(dir)) {
        while (readdir(d) != nullptr) {
            ++count;
        }
        closedir(d);
    }
    return count;
}

int IdleClient(unsigned short port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    return fd;
}

void Cycles(const char *title, bool idleClient)
{
    WebServer *server = WebServer::getInstance();
    server->setPort(0);
    WebServer::Job job;
    job.host = "127.0.0.1";
    std::vector<double> stopMs;
    const size_t threadsBefore = Entries("/proc/self/task");
    const size_t fdsBefore = Entries("/proc/self/fd");
    for (int i = 0; i < 1000; ++i) {
        const int id = server->AcquireJob(job);
        const int client = idleClient ? IdleClient(server->ListeningPort()) : -1;
        if (client >= 0) {
            // Time for the server to accept it and for a worker to wait on it for a request.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const auto start = std::chrono::steady_clock::now();
        server->ReleaseJob(id);
        stopMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (client >= 0) {
            ::close(client);
        }
    }
    std::sort(stopMs.begin(), stopMs.end());
    std::printf(
        "%s: stop median %.2f ms, p99 %.2f ms, max %.2f ms; threads %zu -> %zu, descriptors %zu -> %zu\n",
        title, stopMs[stopMs.size() / 2], stopMs[stopMs.size() * 99 / 100], stopMs.back(), threadsBefore,
        Entries("/proc/self/task"), fdsBefore, Entries("/proc/self/fd"));
}

} // namespace

int main()
{
    Cycles("1,000 start/stop cycles", false);
    Cycles("1,000 cycles with an idle client connected", true);
    return 0;
}
