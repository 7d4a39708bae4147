// SPDX-License-Identifier: Apache-2.0
// Benchmarks of the point conversions over a full 640 x 480 depth image: the handle-free ones, and a
// delivered depth frame through the depth-to-world table, hot and with cold caches.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Orvane_api.h"
#include "api/PointCloud.h"

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;

TfCameraParameters Intrinsics()
{
    TfCameraParameters params{};
    params.fx = 500.0;
    params.fy = 500.0;
    params.cx = 320.0;
    params.cy = 240.0;
    return params;
}

std::vector<TfDepthVector3> DepthImage()
{
    std::vector<TfDepthVector3> pixels(kWidth * kHeight);
    for (int v = 0; v < kHeight; ++v) {
        for (int u = 0; u < kWidth; ++u) {
            TfDepthVector3 &p = pixels[v * kWidth + u];
            p.depthX = u;
            p.depthY = v;
            p.depthZ = static_cast<uint16_t>(500 + (u + v) % 3000);
        }
    }
    return pixels;
}
} // namespace

static void BM_ConvertDepthToPointCloud(benchmark::State &state)
{
    TfCameraParameters params = Intrinsics();
    std::vector<TfDepthVector3> depth = DepthImage();
    std::vector<TfVector3f> points(depth.size());
    for (auto _ : state) {
        TFCM_ConvertDepthToPointCloud(nullptr, depth.data(), points.data(),
                                      static_cast<int32_t>(depth.size()), &params);
        benchmark::DoNotOptimize(points.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(depth.size()));
}
BENCHMARK(BM_ConvertDepthToPointCloud)->Unit(benchmark::kMillisecond);

static void BM_ConvertPointCloudToDepth(benchmark::State &state)
{
    TfCameraParameters params = Intrinsics();
    std::vector<TfDepthVector3> depth = DepthImage();
    std::vector<TfVector3f> points(depth.size());
    TFCM_ConvertDepthToPointCloud(nullptr, depth.data(), points.data(), static_cast<int32_t>(depth.size()),
                                  &params);
    for (auto _ : state) {
        TFCM_ConvertPointCloudToDepth(nullptr, points.data(), depth.data(),
                                      static_cast<int32_t>(points.size()), &params);
        benchmark::DoNotOptimize(depth.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_ConvertPointCloudToDepth)->Unit(benchmark::kMillisecond);

namespace {
std::shared_ptr<const DepthWorldTable> Table()
{
    auto table = std::make_shared<DepthWorldTable>();
    for (int u = 0; u < kWidth; ++u) {
        table->columnX.push_back((u - 320.0) / 500.0);
    }
    for (int v = 0; v < kHeight; ++v) {
        table->rowY.push_back((v - 240.0) / 500.0);
    }
    return table;
}

/// A delivered depth frame with a few invalid pixels, and its conversion; `cold` evicts the caches
/// (a 32 MiB sweep, outside the timing) before every conversion.
void DepthFrame(benchmark::State &state, bool cold, DeliveredLayout layout)
{
    const auto table = Table();
    std::vector<uint16_t> depth(kWidth * kHeight);
    for (size_t i = 0; i < depth.size(); ++i) {
        depth[i] = static_cast<uint16_t>(i % 97 == 0 ? 0 : 500 + i % 3000);
    }
    TfFrame frame{};
    frame.frameType = TF_FRAME_DEPTH;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.pFrameData = reinterpret_cast<uint8_t *>(depth.data());
    frame.dataLen = static_cast<uint32_t>(depth.size() * 2);
    std::vector<TfVector3f> points(depth.size());
    std::vector<uint8_t> sweep(cold ? 32u << 20 : 0);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            std::memset(sweep.data(), static_cast<int>(state.iterations() & 0xFF), sweep.size());
            benchmark::ClobberMemory();
            state.ResumeTiming();
        }
        ConvertDepthFrame(frame, *table, layout, points.data());
        benchmark::DoNotOptimize(points.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(depth.size()));
}
} // namespace

static void BM_DepthFrameToPointCloud(benchmark::State &state)
{
    DepthFrame(state, false, DeliveredLayout{});
}
BENCHMARK(BM_DepthFrameToPointCloud)->Unit(benchmark::kMillisecond);

static void BM_DepthFrameToPointCloudCold(benchmark::State &state)
{
    DepthFrame(state, true, DeliveredLayout{});
}
BENCHMARK(BM_DepthFrameToPointCloudCold)->Unit(benchmark::kMillisecond);

static void BM_MirroredDepthFrameToPointCloud(benchmark::State &state)
{
    DepthFrame(state, false, DeliveredLayout{-1, 1});
}
BENCHMARK(BM_MirroredDepthFrameToPointCloud)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
