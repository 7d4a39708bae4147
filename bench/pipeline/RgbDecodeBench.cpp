// SPDX-License-Identifier: Apache-2.0
// Benchmark of JPEG colour decoding per camera size: the decoder's DecodeRGB on a camera sub-packet against
// a bare TurboJPEG decode of the same image in the same run; the ratio is the decoder's overhead.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstring>
#include <vector>

#include "pipeline/FramePool.h"
#include "pipeline/RgbDecode.h"

namespace {

struct ColourSize
{
    uint8_t typeId;
    int width;
    int height;
};

constexpr ColourSize kSizes[] = {{0x36, 1600, 1200}, {0x32, 1280, 720}, {0x34, 640, 480}};

/// A camera-like scene: gradients with a checkerboard, compressed 4:2:0 at quality 90.
std::vector<uint8_t> MakeJpeg(int width, int height)
{
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t *p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = ((x / 32 + y / 32) % 2) != 0 ? 200 : 40;
        }
    }
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long bytes = 0;
    tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &bytes, TJSAMP_420, 90, 0);
    std::vector<uint8_t> out(jpeg, jpeg + bytes);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

std::vector<uint8_t> MakePacket(uint8_t typeId, const std::vector<uint8_t> &jpeg)
{
    const uint32_t length = static_cast<uint32_t>(jpeg.size()) + 4;
    std::vector<uint8_t> packet(5 + size_t{length}, 0);
    packet[0] = typeId;
    packet[1] = static_cast<uint8_t>(length);
    packet[2] = static_cast<uint8_t>(length >> 8);
    packet[3] = static_cast<uint8_t>(length >> 16);
    std::memcpy(packet.data() + 5, jpeg.data(), jpeg.size());
    const float exposureS = 0.004f;
    std::memcpy(packet.data() + 5 + jpeg.size(), &exposureS, 4);
    return packet;
}

void BM_RgbDecode(benchmark::State &state)
{
    const ColourSize size = kSizes[state.range(0)];
    const std::vector<uint8_t> packet = MakePacket(size.typeId, MakeJpeg(size.width, size.height));
    RgbDecode decoder(nullptr, nullptr);
    std::vector<uint8_t> buffer(FramePool::PayloadBytes(kFrameColor));
    Frame frame{};
    frame.pFrameData = buffer.data();
    frame.bufferSize = static_cast<uint32_t>(buffer.size());
    for (auto _ : state) {
        decoder.DecodeRGB(packet.data(), static_cast<uint32_t>(packet.size()), &frame);
        benchmark::DoNotOptimize(frame.dataLen);
    }
    if (frame.dataLen == 0) {
        state.SkipWithError("decode failed");
    }
    state.SetLabel(std::to_string(size.width) + "x" + std::to_string(size.height));
    state.SetItemsProcessed(int64_t(state.iterations()) * size.width * size.height);
}

void BM_BareTurboJpeg(benchmark::State &state)
{
    const ColourSize size = kSizes[state.range(0)];
    std::vector<uint8_t> jpeg = MakeJpeg(size.width, size.height);
    std::vector<uint8_t> buffer(FramePool::PayloadBytes(kFrameColor));
    tjhandle handle = tjInitDecompress();
    int ret = 0;
    for (auto _ : state) {
        ret |= tjDecompress2(handle, jpeg.data(), jpeg.size(), buffer.data(), size.width, 0, size.height,
                             TJPF_BGR, 0);
        benchmark::DoNotOptimize(buffer.data());
    }
    tjDestroy(handle);
    if (ret != 0) {
        state.SkipWithError("decode failed");
    }
    state.SetLabel(std::to_string(size.width) + "x" + std::to_string(size.height));
    state.SetItemsProcessed(int64_t(state.iterations()) * size.width * size.height);
}

BENCHMARK(BM_RgbDecode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareTurboJpeg)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
