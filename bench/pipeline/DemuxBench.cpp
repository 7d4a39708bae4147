// SPDX-License-Identifier: Apache-2.0
// Demultiplexing one full stream buffer (timestamp, IMU, status, raw ToF block, colour image) against a
// plain memcpy of the same image bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "pipeline/ImageProc.h"

namespace {

constexpr uint32_t kRawBlock = 4945920;
constexpr uint32_t kColorBlock = 600000; // a typical compressed 1080p image

class BenchSource : public StreamSource
{
public:
    bool HasProtocol() const override { return false; }
    bool ReadData(uint8_t *, uint32_t, uint32_t &length) override
    {
        length = 0;
        return false;
    }
    DeviceStatus *GetDeviceStatus() override { return &m_status; }
    bool IsDeviceStatusRequested() const override { return false; }
    void SetDeviceStatusRequested(bool) override {}
    bool IsDeviceStatusFollowed() const override { return true; }
    void SetDeviceStatusFollowed(bool) override {}
    void StoreInitCameraParams(const InitCameraParams &) override {}
    int SendCameraParamsEnable(bool) override { return 0; }

private:
    DeviceStatus m_status{};
};

std::vector<uint8_t> FullBuffer()
{
    ByteWriter w;
    w.WriteU8(0x1F);
    w.WriteU24Le(8);
    w.WriteU8(0);
    w.WriteU64Le(123456789);
    w.WriteU8(0x24);
    w.WriteU24Le(1);
    w.WriteU8(0);
    w.WriteU8(7);
    w.WriteU8(0x2C);
    w.WriteU16Le(static_cast<uint16_t>(kDeviceStatusBytes));
    w.Bytes().resize(w.Size() + kDeviceStatusBytes, 1);
    w.WriteU8(0xB1);
    w.WriteU24Le(kRawBlock);
    w.WriteU8(0);
    w.Bytes().resize(w.Size() + kRawBlock, 0x5A);
    w.WriteU8(0x25);
    w.WriteU24Le(kColorBlock);
    w.WriteU8(0);
    w.Bytes().resize(w.Size() + kColorBlock, 0xA5);
    return w.Bytes();
}

constexpr int64_t kImageBytes = int64_t{kRawBlock} + 5 + kColorBlock + 5;

void BM_ProcessData(benchmark::State &state)
{
    BenchSource source;
    ImageProc hub(&source);
    hub.GetRawTofQueue()->SetWaitTime(0);
    hub.GetRawColorQueue()->SetWaitTime(0);
    std::vector<uint8_t> buffer = FullBuffer();
    auto drain = [&hub] {
        Frame *frame = nullptr;
        while (hub.GetTofRawData(&frame) == 0) {
            hub.RecycleRawTofFrame(frame);
        }
        while (hub.GetRGBRawData(&frame) == 0) {
            hub.RecycleRawColorFrame(frame);
        }
    };
    for (int i = 0; i < 8; ++i) { // past the first buffers and through the pools once
        hub.ProcessData(static_cast<uint32_t>(buffer.size()), buffer.data());
        drain();
    }
    for (auto _ : state) {
        hub.ProcessData(static_cast<uint32_t>(buffer.size()), buffer.data());
        state.PauseTiming(); // the consumer's recycle (a zero fill) is not part of demultiplexing
        drain();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
    state.counters["committedTof"] = static_cast<double>(hub.GetCounters().committedTof);
}
BENCHMARK(BM_ProcessData)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_MemcpySameBytes(benchmark::State &state)
{
    std::vector<uint8_t> buffer = FullBuffer();
    std::vector<uint8_t> tof(4945925);
    std::vector<uint8_t> color(2073600);
    const size_t tofAt = 13 + 6 + 62;
    for (auto _ : state) {
        std::memcpy(tof.data(), buffer.data() + tofAt, kRawBlock + 5);
        std::memcpy(color.data(), buffer.data() + tofAt + kRawBlock + 5, kColorBlock + 5);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
