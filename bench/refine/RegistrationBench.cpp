// SPDX-License-Identifier: Apache-2.0
// Benchmark of the registration between the ToF and colour cameras: depth, depth with IR and IR alone
// into colour, colour into depth, and single points, with the test lens on both cameras.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Registration.h"

namespace {

using refine::Registration;
using refine::RegistrationGeometry;
using refine::RegistrationGeometryPtr;

constexpr uint32_t kDepthW = 640, kDepthH = 480;

refine::LensModel TestLens(double f, double cx, double cy)
{
    const double k[9] = {f, 0, cx, 0, f, cy, 0, 0, 1};
    const double d[8] = {-0.25, 0.08, 0.001, -0.0015, -0.01, 0, 0, 0};
    return refine::LensModel::FromCalibration(k, d);
}

/// Distorted ToF images; the colour images distorted (range(2) 0) or undistorted (1); 2 degrees turned.
RegistrationGeometryPtr Geometry(bool colorUndistorted)
{
    auto g = std::make_shared<RegistrationGeometry>();
    g->tofLens = TestLens(570.0, 321.0, 238.5);
    g->colorLens = TestLens(1400.0, 955.0, 545.0);
    g->colorUndistorted = colorUndistorted;
    const double c = 0.99939, s = 0.034899;
    const double r[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
    std::copy(r, r + 9, g->rotation);
    g->translation[0] = -50.0;
    return g;
}

/// A wall at 2 m with a box at 1 m in the middle, the IR brighter on the box, and every mapping's
/// caches warmed.
struct Frames
{
    explicit Frames(const benchmark::State &state)
        : w(uint32_t(state.range(0))), h(uint32_t(state.range(1))), geometry(Geometry(state.range(2) != 0)),
          depth(kDepthW * kDepthH), ir16(kDepthW * kDepthH), rgb(size_t{w} * h * 3, 128),
          outDepth(size_t{w} * h), outIr(size_t{w} * h), outRgb(kDepthW * kDepthH * 3)
    {
        for (uint32_t y = 0; y < kDepthH; ++y) {
            for (uint32_t x = 0; x < kDepthW; ++x) {
                const bool box = x >= 240 && x < 400 && y >= 180 && y < 300;
                depth[y * kDepthW + x] = box ? 1000 : 2000;
                ir16[y * kDepthW + x] = box ? 2000 : 500;
            }
        }
        ir8.assign(ir16.begin(), ir16.end());
        color = AlgImage{rgb.data(), ALG_8UC3, w, h};
        depthImage = AlgImage{depth.data(), ALG_16UC1, kDepthW, kDepthH};
        AlgImage out{outDepth.data(), ALG_16UC1, w, h};
        registration.MapDepthToColor(geometry, &color, &depthImage, &out);
    }
    AlgImage Out16(std::vector<uint16_t> &buffer) { return AlgImage{buffer.data(), ALG_16UC1, w, h}; }

    uint32_t w, h;
    RegistrationGeometryPtr geometry;
    std::vector<uint16_t> depth, ir16;
    std::vector<uint8_t> ir8, rgb;
    std::vector<uint16_t> outDepth, outIr;
    std::vector<uint8_t> outRgb;
    AlgImage color{}, depthImage{};
    Registration registration;
};

void BM_MapDepthToColor(benchmark::State &state)
{
    Frames f(state);
    for (auto _ : state) {
        AlgImage out = f.Out16(f.outDepth);
        benchmark::DoNotOptimize(f.registration.MapDepthToColor(f.geometry, &f.color, &f.depthImage, &out));
        benchmark::ClobberMemory();
    }
}

void BM_MapDepthIrToColor(benchmark::State &state)
{
    Frames f(state);
    const AlgImage ir{f.ir16.data(), ALG_16UC1, kDepthW, kDepthH};
    for (auto _ : state) {
        AlgImage out = f.Out16(f.outDepth);
        AlgImage outIr = f.Out16(f.outIr);
        benchmark::DoNotOptimize(
            f.registration.MapDepthIrToColor(f.geometry, &f.color, &f.depthImage, &ir, &out, &outIr));
        benchmark::ClobberMemory();
    }
}

void BM_MapIr8ToColor(benchmark::State &state)
{
    Frames f(state);
    const AlgImage ir{f.ir8.data(), ALG_8UC1, kDepthW, kDepthH};
    for (auto _ : state) {
        AlgImage outIr = f.Out16(f.outIr);
        benchmark::DoNotOptimize(
            f.registration.MapIrToColor(f.geometry, &f.color, &f.depthImage, &ir, &outIr));
        benchmark::ClobberMemory();
    }
}

void BM_MapColorToDepth(benchmark::State &state)
{
    Frames f(state);
    for (auto _ : state) {
        AlgImage out{f.outRgb.data(), ALG_8UC3, kDepthW, kDepthH};
        benchmark::DoNotOptimize(f.registration.MapColorToDepth(f.geometry, &f.color, &f.depthImage, &out));
        benchmark::ClobberMemory();
    }
}

void BM_GetMappedPointDepthToRGB(benchmark::State &state)
{
    Frames f(state);
    const TfVector2u16 size{uint16_t(f.w), uint16_t(f.h)};
    uint32_t k = 0;
    for (auto _ : state) {
        k = (k + 7919) % (kDepthW * kDepthH);
        TfVector2u16 out{};
        const TfDepthVector3 point{int32_t(k % kDepthW), int32_t(k / kDepthW), f.depth[k]};
        benchmark::DoNotOptimize(f.registration.GetMappedPointDepthToRGB(f.geometry, point, size, &out));
        benchmark::DoNotOptimize(out);
    }
}

void Sizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"w", "h", "undistortedColor"});
    for (int64_t undistorted : {0, 1}) {
        b->Args({640, 480, undistorted});
        b->Args({1600, 1200, undistorted});
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_MapDepthToColor)->Apply(Sizes);
BENCHMARK(BM_MapDepthIrToColor)->Apply(Sizes);
BENCHMARK(BM_MapIr8ToColor)->Apply(Sizes);
BENCHMARK(BM_MapColorToDepth)->Apply(Sizes);
BENCHMARK(BM_GetMappedPointDepthToRGB)->Apply(Sizes)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
