// SPDX-License-Identifier: Apache-2.0
// End-to-end delivery in one process: a simulated camera sending as fast as its connection takes, the
// hub, both decoders, the synchroniser and PrepareNextFrame. Prints the sustained set rate and the
// latency from a buffer's last byte leaving the camera to its set being ready (median, 99th percentile).
// Usage: bench_DeliveryBench [seconds per case, default 5]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CameraSimulator.h"
#include "SimCamera.h"
#include "net/SocketCtl.h"
#include "net/SocketProtocol.h"
#include "pipeline/ImageProc.h"
#include "session/ProtocolStreamSource.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case
{
    const char *name;
    uint8_t dataMode;
    uint16_t colorWidth;
    uint16_t colorHeight;
};

constexpr Case kCases[] = {
    {"camera-computed depth/IR/confidence + 640x480 JPEG", 3, 640, 480},
    {"four-phase raw + 1600x1200 JPEG", 0, 1600, 1200},
};

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(fraction * (values.size() - 1) + 0.5));
    return values[at];
}

int RunCase(const Case &c, unsigned seconds)
{
    CameraSimulator::Options options;
    options.announcePeriodMs = 60000;
    options.discoveryPort = 9; // nothing listens
    CameraSimulator sim(options);
    SimCameraConfig config;
    config.serial = "SN-BENCH";
    config.address = "127.0.0.40";
    SimCamera &camera = sim.AddCamera(config);
    camera.UpdateSettings([&](SimSettings &s) {
        s.dataMode = c.dataMode;
        s.lenses[2] = SimLensConfig{2, 1, c.colorWidth, c.colorHeight, 25, 1};
    });
    // The moment each buffer's last byte was handed to the connection, in sending order; the hub numbers
    // the buffers it reads from 1 in the same order.
    std::mutex sentMutex;
    std::vector<Clock::time_point> sent;
    sent.reserve(200000);
    camera.Streamer().SetFrameCallback([&](const SimTofTruth &) {
        std::lock_guard<std::mutex> lock(sentMutex);
        sent.push_back(Clock::now());
    });
    camera.Streamer().OverrideFramePeriod(std::chrono::microseconds(0));
    sim.Start();

    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = 127u | (40u << 24);
    info.cmdPort = 9008;
    info.dataPort = 9009;
    info.deviceType = 520;
    SocketProtocol protocol(info);
    if (protocol.OpenDevice() != 0 || !camera.WaitForDataClient(5000)) {
        std::fprintf(stderr, "cannot reach the simulated camera\n");
        return 1;
    }
    ProtocolStreamSource source(&protocol);
    ImageProc hub(&source);
    hub.SetStreamEnable(kStreamConfidence, true);
    PipelineInitParams params;
    params.dataMode = c.dataMode;
    params.colorMode = FrameMode{c.colorWidth, c.colorHeight, 25};
    params.configDir = "/nonexistent/";
    params.serialNumber = "SN-BENCH";
    hub.Init(params);
    hub.Start();
    protocol.StartStream();

    std::vector<double> latencyMs;
    uint64_t sets = 0;
    const auto warmEnd = Clock::now() + std::chrono::seconds(1);
    auto start = Clock::now();
    bool warm = false;
    const auto end = warmEnd + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        FrameReady ready{};
        if (hub.PrepareNextFrame(&ready) != 0 || ready.depth == 0 || ready.color == 0) {
            continue;
        }
        const Clock::time_point readyAt = Clock::now();
        if (!warm && readyAt >= warmEnd) {
            warm = true;
            start = readyAt;
        }
        Frame depth{};
        hub.GetFrame(kFrameDepth, &depth);
        if (!warm) {
            continue;
        }
        ++sets;
        std::lock_guard<std::mutex> lock(sentMutex);
        if (depth.frameIndex >= 1 && depth.frameIndex <= sent.size()) {
            latencyMs.push_back(
                std::chrono::duration<double, std::milli>(readyAt - sent[depth.frameIndex - 1]).count());
        }
    }
    const double elapsedS = std::chrono::duration<double>(Clock::now() - start).count();
    protocol.StopStream();
    hub.Close();
    const uint64_t buffers = camera.Streamer().FramesSent();
    protocol.CloseDevice();
    sim.Stop();

    std::printf("%-52s %8.1f sets/s  latency median %6.2f ms  p99 %6.2f ms  (%llu sets, camera sent %llu "
                "buffers)\n",
                c.name, sets / elapsedS, Percentile(latencyMs, 0.5), Percentile(latencyMs, 0.99),
                static_cast<unsigned long long>(sets), static_cast<unsigned long long>(buffers));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const unsigned seconds = argc > 1 ? static_cast<unsigned>(std::max(1, std::atoi(argv[1]))) : 5;
    SocketCtl::SetReceiveTimeoutMs(500);
    int status = 0;
    for (const Case &c : kCases) {
        status |= RunCase(c, seconds);
    }
    return status;
}
