// SPDX-License-Identifier: Apache-2.0
// File transfers through the built-in HTTP server over loopback: a 16 MiB fetch against a raw TCP copy of
// the same size, a 614,400-byte upload in 64 KiB chunks, and the library's CPU while a transfer's camera
// keeps answering "working".
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "PeerSockets.h"
#include "net/SocketProtocol.h"
#include "transfer/WebServer.h"

using namespace orvtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kImageBytes = 16u << 20;
constexpr size_t kCalibrationBytes = 614400;
constexpr size_t kChunkBytes = 64u << 10;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// Connects to 127.0.0.1:`port`, sends `request`, reads to the end; the bytes read.
size_t Exchange(unsigned short port, const std::string &request, std::vector<char> &buffer)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size_t total = 0;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        for (ssize_t n; (n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
            total += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    return total;
}

void FetchAgainstRawCopy(const std::filesystem::path &dir)
{
    const std::vector<char> image(kImageBytes, 'x');
    std::ofstream(dir / "image.bin", std::ios::binary).write(image.data(), static_cast<long>(image.size()));
    WebServer::Job job;
    job.host = "127.0.0.1";
    job.servedPath = (dir / "image.bin").string();
    const int id = WebServer::getInstance()->AcquireJob(job);
    const unsigned short port = WebServer::getInstance()->ListeningPort();
    const std::vector<uint8_t> rawBytes(image.begin(), image.end());
    std::vector<char> buffer(1u << 20);
    std::vector<double> fetchMs;
    std::vector<double> rawMs;
    for (int round = 0; round < 20; ++round) {
        auto start = Clock::now();
        const size_t got = Exchange(port, "GET /image.bin HTTP/1.1\r\nHost: x\r\n\r\n", buffer);
        fetchMs.push_back(MsSince(start));
        if (got < kImageBytes) {
            std::printf("fetch failed: %zu bytes\n", got);
            return;
        }
        // The same bytes over a plain TCP connection, for scale.
        Listener raw;
        std::thread sender([&] {
            Peer peer = raw.Accept();
            peer.Send(rawBytes);
        });
        start = Clock::now();
        Exchange(raw.Port(), "", buffer);
        rawMs.push_back(MsSince(start));
        sender.join();
    }
    WebServer::getInstance()->ReleaseJob(id);
    std::printf("16 MiB fetch: median %.2f ms (%.2f GB/s); raw TCP copy: median %.2f ms (%.2f GB/s)\n",
                Median(fetchMs), kImageBytes / Median(fetchMs) / 1e6, Median(rawMs),
                kImageBytes / Median(rawMs) / 1e6);
}

void UploadInChunks(const std::filesystem::path &dir)
{
    WebServer::Job job;
    job.host = "127.0.0.1";
    job.upload.saveDir = dir.string() + "/";
    job.upload.expectedName = "intrinsic_SN42.bin";
    job.upload.nameTag = "SN42";
    job.upload.maxFileBytes = kCalibrationBytes;
    const int id = WebServer::getInstance()->AcquireJob(job);
    const unsigned short port = WebServer::getInstance()->ListeningPort();
    const std::string file(kCalibrationBytes, '\x5A');
    std::vector<char> buffer(4096);
    std::vector<double> uploadMs;
    for (int round = 0; round < 20; ++round) {
        const auto start = Clock::now();
        for (size_t offset = 0; offset < file.size(); offset += kChunkBytes) {
            const std::string chunk = file.substr(offset, kChunkBytes);
            const std::string request =
                "POST /upload?name=intrinsic_SN42.bin&offset=" + std::to_string(offset) +
                "&fileDatalength=" + std::to_string(chunk.size()) +
                "&checksum=" + std::to_string(0x5Au * chunk.size()) +
                " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(chunk.size()) + "\r\n\r\n" +
                chunk;
            Exchange(port, request, buffer);
        }
        uploadMs.push_back(MsSince(start));
    }
    WebServer::getInstance()->ReleaseJob(id);
    std::printf("614,400-byte upload in 64 KiB chunks: median %.2f ms, saved %ju bytes\n", Median(uploadMs),
                static_cast<uintmax_t>(std::filesystem::file_size(dir / "intrinsic.bin")));
}

double CpuMs(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

/// A camera end that answers every progress poll with "working" (status 2).
void CpuWhileWorking()
{
    Listener cmd;
    Listener data;
    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = kLoopback;
    info.cmdPort = cmd.Port();
    info.dataPort = data.Port();
    info.deviceType = 520;
    SocketProtocol protocol(info);
    if (protocol.OpenDevice() != 0) {
        std::printf("open failed\n");
        return;
    }
    Peer cmdPeer = cmd.Accept();
    Peer dataPeer = data.Accept();
    std::atomic<double> cameraCpuMs{0};
    std::thread camera([&] {
        for (Request r; (r = ReadRequest(cmdPeer, 10000)).header.size() == 11;) {
            if ((r.Command() & 0x80) != 0) {
                cmdPeer.Send(ReplyFrame({r.payload.empty() ? uint8_t{0} : r.payload[0], 0, 2, 0}));
            }
        }
        cameraCpuMs.store(CpuMs(RUSAGE_THREAD));
    });
    std::atomic<int> reports{0};
    FileTransferParams params{};
    params.type = 4;
    std::snprintf(params.name, sizeof params.name, "SN42");
    params.direction = 1;
    params.callback = [](uint8_t, uint8_t, int8_t, void *count) {
        ++*static_cast<std::atomic<int> *>(count);
    };
    params.userData = &reports;
    protocol.TransferFile(params);
    const double before = CpuMs(RUSAGE_SELF);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double spentMs = CpuMs(RUSAGE_SELF) - before;
    const double wallMs = MsSince(start);
    protocol.CloseDevice();
    ::shutdown(cmdPeer.Fd(), SHUT_RDWR);
    camera.join();
    std::printf(
        "transfer at status 2 for %.0f ms: %d polls, process CPU %.1f ms (%.2f%% of a core, the camera "
        "end's own %.1f ms included)\n",
        wallMs, reports.load(), spentMs, 100.0 * spentMs / wallMs, cameraCpuMs.load());
}

} // namespace

int main()
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvane-transfer-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    WebServer::getInstance()->setPort(0);
    FetchAgainstRawCopy(dir);
    UploadInChunks(dir);
    std::filesystem::current_path(dir); // the camera's uploads would go under ./Config/ here
    CpuWhileWorking();
    std::filesystem::remove_all(dir);
    return 0;
}
