// SPDX-License-Identifier: Apache-2.0
// Benchmarks of the command and data connections over loopback against a simulated camera: the round
// trip of one query, and reading 4.9 MB stream buffers.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "CameraSimulator.h"
#include "net/SocketCtl.h"
#include "net/SocketProtocol.h"

namespace {
constexpr const char *kCameraIp = "127.0.0.40";

/// One simulated camera and an open protocol object to it.
struct Rig
{
    Rig()
    {
        CameraSimulator::Options options;
        options.announcePeriodMs = 60000;
        options.discoveryPort = 9;
        sim = std::make_unique<CameraSimulator>(options);
        SimCameraConfig config;
        config.serial = "SNBENCH";
        config.address = kCameraIp;
        camera = &sim->AddCamera(config);
        sim->Start();
        SessionInfo info;
        info.linkType = kLinkTypeNetwork;
        info.ip = 127u | (40u << 24);
        info.cmdPort = 9008;
        info.dataPort = 9009;
        protocol = std::make_unique<SocketProtocol>(info);
        opened = protocol->OpenDevice() == 0;
    }
    std::unique_ptr<CameraSimulator> sim;
    SimCamera *camera = nullptr;
    std::unique_ptr<SocketProtocol> protocol;
    bool opened = false;
};
} // namespace

static void BM_QueryRoundTrip(benchmark::State &state)
{
    Rig rig;
    if (!rig.opened) {
        state.SkipWithError("cannot open the simulated camera");
        return;
    }
    uint8_t rate = 0;
    for (auto _ : state) {
        if (rig.protocol->GetTofFrameRate(&rate) != 0) {
            state.SkipWithError("query failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueryRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

static void BM_ReadStreamBuffer(benchmark::State &state)
{
    Rig rig;
    if (!rig.opened || !rig.camera->WaitForDataClient(3000)) {
        state.SkipWithError("cannot open the simulated camera");
        return;
    }
    // The size of one raw four-phase ToF frame as the camera streams it.
    const std::vector<uint8_t> buffer = SimCamera::StreamBuffer(1, std::vector<uint8_t>(4945925, 0x5A));
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop && rig.camera->SendData(buffer)) {
        }
    });
    std::vector<unsigned char> out(kStreamBufferBytes);
    int64_t bytes = 0;
    for (auto _ : state) {
        int len = 0;
        rig.protocol->ReadData(out.data(), &len);
        bytes += len;
    }
    state.SetBytesProcessed(bytes);
    stop = true;
    rig.protocol->CloseDevice(); // unblocks the sender
    sender.join();
}
BENCHMARK(BM_ReadStreamBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
