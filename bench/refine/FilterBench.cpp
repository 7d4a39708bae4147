// SPDX-License-Identifier: Apache-2.0
// Timing of each depth filter of DepthFilterChain, and of the whole ToF step with undistortion, single
// thread, on a 640x480 noisy wall with holes.
#include "DepthFilterChain.h"
#include "Undistorter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kWidth = 640;
constexpr uint32_t kHeight = 480;
constexpr size_t kPixels = size_t{kWidth} * kHeight;

/// A tilted wall 1 to 2 m away with 8 mm of noise, a nearer box, a hole every 97 pixels and a few
/// 65535 pixels: every branch of every filter sees work.
const std::vector<uint16_t> &Scene()
{
    static const std::vector<uint16_t> scene = [] {
        std::vector<uint16_t> depth(kPixels);
        std::mt19937 rng(7);
        std::normal_distribution<float> noise(0.0f, 8.0f);
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                const bool box = x > 200 && x < 400 && y > 150 && y < 330;
                const float z = box ? 900.0f : 1000.0f + 1000.0f * float(x) / kWidth;
                depth[size_t{y} * kWidth + x] = static_cast<uint16_t>(z + noise(rng));
            }
        }
        for (size_t i = 0; i < kPixels; i += 97) {
            depth[i] = 0;
        }
        for (size_t i = 50; i < kPixels; i += 1013) {
            depth[i] = 0xFFFF;
        }
        return depth;
    }();
    return scene;
}

/// Runs one pass of a chain set up by `configure` on a fresh copy of the scene each iteration.
template <typename Configure, typename Pass>
void RunPass(benchmark::State &state, Configure configure, Pass pass)
{
    refine::DepthFilterChain chain;
    configure(chain);
    std::vector<uint16_t> work(Scene());
    pass(chain, work.data()); // first frame sizes the scratch buffers
    for (auto _ : state) {
        std::memcpy(work.data(), Scene().data(), kPixels * sizeof(uint16_t));
        pass(chain, work.data());
        benchmark::DoNotOptimize(work.data());
    }
}

int Process(refine::DepthFilterChain &chain, uint16_t *depth)
{
    return chain.Process(depth, kWidth, kHeight);
}

int PostFilter(refine::DepthFilterChain &chain, uint16_t *depth)
{
    return chain.PostFilter(depth, kWidth, kHeight);
}

/// The copy every other benchmark includes, to subtract.
void BM_CopyOnly(benchmark::State &state)
{
    RunPass(
        state, [](refine::DepthFilterChain &) {}, Process);
}

void BM_RangeLimits(benchmark::State &state)
{
    RunPass(
        state, [](refine::DepthFilterChain &c) { c.SetDepthRange(1800, 500); }, Process);
}

void BM_FlyingPixel(benchmark::State &state)
{
    RunPass(
        state,
        [](refine::DepthFilterChain &c) {
            c.SetFlyingPixel({0, 1});
        },
        PostFilter);
}

void BM_RealDepth(benchmark::State &state)
{
    auto factors = std::make_shared<const std::vector<float>>(kPixels, 0.97f);
    RunPass(
        state,
        [&](refine::DepthFilterChain &c) {
            c.SetRealDepth(true);
            c.SetAxialFactors(factors, kWidth, kHeight);
        },
        PostFilter);
}

void BM_Spatial3x3(benchmark::State &state)
{
    RunPass(
        state,
        [](refine::DepthFilterChain &c) {
            c.SetSpatial({1, 0, 0, 0});
        },
        Process);
}

void BM_Spatial5x5(benchmark::State &state)
{
    RunPass(
        state,
        [](refine::DepthFilterChain &c) {
            c.SetSpatial({1, 0, 0, 2});
        },
        Process);
}

void BM_Temporal(benchmark::State &state)
{
    RunPass(
        state, [](refine::DepthFilterChain &c) { c.SetTemporal(true, 0, 0); }, Process);
}

void BM_TemporalWithSideOutput(benchmark::State &state)
{
    RunPass(
        state,
        [](refine::DepthFilterChain &c) {
            c.SetTemporal(true, 0, 0);
            c.SetTimeFilterDepthEnabled(true);
        },
        Process);
}

void BM_FillHole(benchmark::State &state)
{
    RunPass(
        state,
        [](refine::DepthFilterChain &c) {
            c.SetFillHole({1, 0, 0, 0});
        },
        Process);
}

/// Every filter on, with radial-to-axial factors for real depth.
void ConfigureEveryFilter(refine::DepthFilterChain &c)
{
    static const auto factors = std::make_shared<const std::vector<float>>(kPixels, 0.97f);
    c.SetDepthRange(4000, 200);
    c.SetFlyingPixel({0, 1});
    c.SetRealDepth(true);
    c.SetAxialFactors(factors, kWidth, kHeight);
    c.SetSpatial({1, 0, 0, 0});
    c.SetTemporal(true, 0, 0);
    c.SetFillHole({1, 0, 0, 0});
}

/// Every filter on, both passes (the geometric step between them is not part of this class).
void BM_WholeChain(benchmark::State &state)
{
    RunPass(state, ConfigureEveryFilter, [](refine::DepthFilterChain &c, uint16_t *depth) {
        c.PreFilter(depth, kWidth, kHeight);
        c.PostFilter(depth, kWidth, kHeight);
        return c.Process(depth, kWidth, kHeight);
    });
}

/// The decoder's whole ToF step: every filter on and the geometric step between the passes, with the
/// test lens, on depth, 16-bit IR and confidence (the IR and confidence copies are included).
void BM_WholeChainWithUndistortion(benchmark::State &state)
{
    refine::Undistorter undistorter;
    const refine::LensModel lens{refine::Pinhole{520, 520, 320, 240}, -0.25, 0.08, 0.001, -0.0015, -0.01};
    undistorter.Prepare(lens, kWidth, kHeight);
    std::vector<uint16_t> ir(kPixels, 700);
    std::vector<uint16_t> confidence(kPixels, 300);
    RunPass(state, ConfigureEveryFilter, [&](refine::DepthFilterChain &c, uint16_t *depth) {
        c.PreFilter(depth, kWidth, kHeight);
        c.PostFilter(depth, kWidth, kHeight);
        undistorter.ApplyNearest(depth, ir.data(), false, confidence.data(), kWidth, kHeight);
        return c.Process(depth, kWidth, kHeight);
    });
}

} // namespace

BENCHMARK(BM_CopyOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RangeLimits)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FlyingPixel)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RealDepth)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Spatial3x3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Spatial5x5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Temporal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TemporalWithSideOutput)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillHole)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeChainWithUndistortion)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
