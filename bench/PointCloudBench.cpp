// SPDX-License-Identifier: Apache-2.0
// Benchmarks of the handle-free point conversions over a full 640 x 480 depth image.
#include <benchmark/benchmark.h>

#include <vector>

#include "Orvane_api.h"

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

BENCHMARK_MAIN();
