// SPDX-License-Identifier: Apache-2.0
// Benchmark: how long a firmware upgrade through the public API takes beyond the camera's own delays
// (its reboot into upgrade mode and its writing steps), against an in-process simulated camera.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CameraSimulator.h"
#include "Orvane_api.h"
#include "SimFirmwareImage.h"
#include "transfer/WebServer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_mutex;
std::condition_variable g_changed;
bool g_finished = false;
int g_final = 0;

void OnUpgrade(int status, int value)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (status == 8 || value == -1 || (status != 5 && value != 1)) {
        g_finished = true;
        g_final = status * 10 + value;
        g_changed.notify_all();
    }
}

uint16_t FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool OpenWhenListed(const std::string &uri, TfDeviceHandle &device)
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (TFCM_OpenDevice(uri.c_str(), &device) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

/// One upgrade; the milliseconds from the start to the final report, or -1.
double RunOnce(unsigned rebootMs, unsigned stepMs, unsigned percentStep, const std::string &imagePath)
{
    CameraSimulator::Options options;
    options.announcePeriodMs = 100;
    CameraSimulator sim(options);
    SimCameraConfig config;
    config.serial = "SNUPBENCH";
    config.address = "127.0.0.198";
    SimCamera &camera = sim.AddCamera(config);
    camera.UpdateSettings([](SimSettings &s) { s.serial = s.deviceSerial = "SNUPBENCH"; });
    const uint16_t port = FreePort();
    WebServer::getInstance()->setPort(port);
    SimUpgradeOptions upgrade;
    upgrade.serverPort = port;
    upgrade.rebootDelayMs = rebootMs;
    upgrade.stepDelayMs = stepMs;
    upgrade.percentStep = percentStep;
    camera.SetUpgradeOptions(upgrade);
    sim.Start();
    TfDeviceHandle device = nullptr;
    if (!OpenWhenListed("KR52Lite:SNUPBENCH", device) ||
        TFCM_SetUpgradeStatusCallback(device, &OnUpgrade) != 0) {
        std::fprintf(stderr, "the simulated camera could not be opened\n");
        return -1;
    }
    g_finished = false;
    const auto start = Clock::now();
    if (TFCM_StartUpgradeFirmWare(device, imagePath.c_str()) != 0) {
        std::fprintf(stderr, "the upgrade did not start\n");
        TFCM_CloseDevice(&device);
        return -1;
    }
    std::unique_lock<std::mutex> lock(g_mutex);
    const bool done = g_changed.wait_for(lock, std::chrono::seconds(60), [] { return g_finished; });
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool ok = done && g_final == 81;
    lock.unlock();
    TFCM_CloseDevice(&device);
    return ok ? ms : -1;
}

} // namespace

/// Usage: bench_upgrade_overhead [runs]. The camera reboots for 1 s and takes 150 ms per step (four
/// writing steps of 25 % and two steps after them); what remains of the time is the library's.
int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    constexpr unsigned kRebootMs = 1000;
    constexpr unsigned kStepMs = 150;
    constexpr unsigned kPercentStep = 25;
    const double cameraMs = kRebootMs + (100.0 / kPercentStep + 2) * kStepMs;
    char dir[] = "/tmp/orvane-upgrade-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    const std::string image = std::string(dir) + "/firmware.bin";
    std::string error;
    if (!SimFirmwareImage::WriteFile(image, "20260301", 4, 16u << 20, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<double> overheads;
    for (int i = 0; i < runs; ++i) {
        if (TFCM_Initialize() != 0) {
            return 1;
        }
        const double total = RunOnce(kRebootMs, kStepMs, kPercentStep, image);
        TFCM_Shutdown();
        if (total < 0) {
            return 1;
        }
        std::printf(
            "upgrade of a 16 MiB image: %.0f ms, of which the camera's own delays %.0f ms: %.0f ms added\n",
            total, cameraMs, total - cameraMs);
        overheads.push_back(total - cameraMs);
    }
    std::sort(overheads.begin(), overheads.end());
    std::printf("added time over %d runs: median %.0f ms, worst %.0f ms\n", runs,
                overheads[overheads.size() / 2], overheads.back());
    std::remove(image.c_str());
    rmdir(dir);
    return 0;
}
