// SPDX-License-Identifier: Apache-2.0
// What serving one page costs `orvane-cli view`: an orvane-camsim process streams depth, IR, confidence
// and colour at 25 fps into an orvane-cli view process; its CPU time is read from /proc over a phase
// without any page, then over a phase with one page (CivetWeb's WebSocket client here, reading
// everything). Also prints what the page received and its latency from the camera's (wall-clock) stamp.
// Usage: bench_viewer_cpu [seconds per phase, default 20] [orvane-cli] [orvane-camsim]
#include <civetweb.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "soak/CamsimProcess.h"
#include "soak/ProcessProbe.h"

#ifndef ORVANE_CAMSIM_PATH
#define ORVANE_CAMSIM_PATH "orvane-camsim"
#endif
#ifndef ORVANE_CLI_PATH
#define ORVANE_CLI_PATH "orvane-cli"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kCameraIp = "127.0.0.45";

uint64_t ReadLe(const uint8_t *bytes, size_t size)
{
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    return value;
}

uint64_t WallClockUs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

/// The page: counts frames and bytes per stream and keeps each frame's latency.
struct Page
{
    std::mutex mutex;
    std::array<uint64_t, 4> frames{};
    uint64_t bytes = 0;
    std::vector<double> latencyMs;

    static int OnData(mg_connection *, int bits, char *data, size_t size, void *self)
    {
        auto *page = static_cast<Page *>(self);
        const auto *bytes = reinterpret_cast<const uint8_t *>(data);
        if ((bits & 0x0F) != MG_WEBSOCKET_OPCODE_BINARY || size < 48 || bytes[8] > 3) {
            return 1;
        }
        const double latencyMs =
            (static_cast<double>(WallClockUs()) - static_cast<double>(ReadLe(bytes + 24, 8))) / 1e3;
        std::lock_guard<std::mutex> lock(page->mutex);
        ++page->frames[bytes[8]];
        page->bytes += size;
        page->latencyMs.push_back(latencyMs);
        return 1;
    }
};

/// orvane-cli view as a child; its stdout is read for the listening line.
struct Viewer
{
    pid_t pid = -1;
    int port = 0;

    bool Start(const std::string &path)
    {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return false;
        }
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(out[1], STDOUT_FILENO);
            execl(path.c_str(), path.c_str(), "--ip", kCameraIp, "--wait", "8000", "--json", "view", "--port",
                  "0", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string text;
        const auto deadline = Clock::now() + std::chrono::seconds(15);
        while (Clock::now() < deadline && text.find('\n') == std::string::npos) {
            pollfd fd{out[0], POLLIN, 0};
            char buffer[512];
            if (poll(&fd, 1, 200) > 0) {
                const ssize_t n = read(out[0], buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                text.append(buffer, static_cast<size_t>(n));
            }
        }
        close(out[0]);
        const size_t url = text.find("http://");
        const size_t colon = url == std::string::npos ? url : text.find(':', url + 7);
        port = colon == std::string::npos ? 0 : std::atoi(text.c_str() + colon + 1);
        return port != 0;
    }
    double CpuSeconds() const
    {
        return ProcessProbe::StatCpuSeconds("/proc/" + std::to_string(pid) + "/stat");
    }
    int Stop()
    {
        int status = 0;
        if (pid > 0) {
            kill(pid, SIGINT);
            waitpid(pid, &status, 0);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

double CpuShare(const Viewer &viewer, double seconds)
{
    const double cpuStart = viewer.CpuSeconds();
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (viewer.CpuSeconds() - cpuStart) / std::chrono::duration<double>(Clock::now() - start).count();
}

int Measure(Viewer &viewer, double seconds)
{
    std::this_thread::sleep_for(std::chrono::seconds(3)); // the stream settles
    const double bare = CpuShare(viewer, seconds);
    Page page;
    char error[256] = {};
    mg_connection *conn = mg_connect_websocket_client("127.0.0.1", viewer.port, 0, error, sizeof error, "/ws",
                                                      nullptr, &Page::OnData, nullptr, &page);
    if (conn == nullptr) {
        std::fprintf(stderr, "cannot connect a page: %s\n", error);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    {
        std::lock_guard<std::mutex> lock(page.mutex);
        page.frames = {};
        page.bytes = 0;
        page.latencyMs.clear();
    }
    const double served = CpuShare(viewer, seconds);
    std::lock_guard<std::mutex> lock(page.mutex);
    std::vector<double> latency = page.latencyMs;
    std::sort(latency.begin(), latency.end());
    const double median = latency.empty() ? 0.0 : latency[latency.size() / 2];
    const double p95 = latency.empty() ? 0.0 : latency[latency.size() * 95 / 100];
    std::printf("without a page: %.2f %% of a core\n", 100.0 * bare);
    std::printf("with one page:  %.2f %% of a core (added %+.2f %%)\n", 100.0 * served,
                100.0 * (served - bare));
    std::printf(
        "page received per second: depth %.1f, ir %.1f, confidence %.1f, colour %.1f frames, %.1f MB\n",
        page.frames[0] / seconds, page.frames[1] / seconds, page.frames[2] / seconds,
        page.frames[3] / seconds, static_cast<double>(page.bytes) / seconds / 1e6);
    std::printf("camera stamp to the page's receipt: median %.1f ms, 95th percentile %.1f ms\n", median, p95);
    mg_close_connection(conn);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const std::string cliPath = argc > 2 ? argv[2] : ORVANE_CLI_PATH;
    const std::string camsimPath = argc > 3 ? argv[3] : ORVANE_CAMSIM_PATH;
    if (seconds <= 0.0) {
        std::fprintf(stderr, "usage: %s [seconds per phase] [orvane-cli] [orvane-camsim]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    mg_init_library(MG_FEATURES_WEBSOCKET);
    CamsimProcess camsim;
    if (!camsim.Start(camsimPath, {"--exit-on-eof", "--wall-clock", "--period-ms", "200", "--camera",
                                   std::string("serial=SNVIEWBENCH,ip=") + kCameraIp})) {
        std::fprintf(stderr, "cannot start %s\n", camsimPath.c_str());
        return 1;
    }
    Viewer viewer;
    int status = 1;
    if (!viewer.Start(cliPath)) {
        std::fprintf(stderr, "%s view did not start listening\n", cliPath.c_str());
    } else {
        status = Measure(viewer, seconds);
    }
    const int exitCode = viewer.Stop();
    std::printf("viewer exit code after Ctrl-C: %d\n", exitCode);
    camsim.Stop();
    mg_exit_library();
    return status;
}
