// SPDX-License-Identifier: Apache-2.0
// Benchmarks of undistortion against cv::remap with the same maps: the ToF geometric step (depth, IR and
// confidence, nearest) and colour (bilinear) at 640x480 and 1600x1200, single thread.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "CameraModel.h"
#include "Undistorter.h"
#include "refine/ColorGeometry.h"

namespace {

using refine::LensModel;
using refine::Undistorter;

constexpr int kTofWidth = 640;
constexpr int kTofHeight = 480;

LensModel TofLens()
{
    LensModel lens;
    lens.pinhole = refine::Pinhole{520.0, 520.0, 318.5, 243.2};
    lens.k1 = -0.25;
    lens.k2 = 0.08;
    lens.p1 = 0.001;
    lens.p2 = -0.0015;
    lens.k3 = -0.01;
    return lens;
}

/// The colour lens calibrated at 1920x1080, described for a width x height image.
LensModel ColorLens(int width, int height)
{
    double k[9] = {1500.0, 0.0, 962.0, 0.0, 1500.0, 538.0, 0.0, 0.0, 1.0};
    const double distortion[8] = {0.12, -0.25, 0.0005, -0.0007, 0.1, 0.0, 0.0, 0.0};
    ScaleColorIntrinsic(k, uint32_t(width), uint32_t(height));
    return LensModel::FromCalibration(k, distortion);
}

Undistorter Prepared(const LensModel &lens, int width, int height)
{
    Undistorter undistorter;
    if (!undistorter.Prepare(lens, uint32_t(width), uint32_t(height))) {
        std::fprintf(stderr, "the benchmark lens is refused\n");
        std::abort();
    }
    return undistorter;
}

/// cv::remap's nearest-neighbour map for the same source positions: the fixed-point pair rounded to
/// whole pixels (cv::remap itself would truncate the pair's integer part).
cv::Mat NearestMap(const Undistorter &undistorter)
{
    cv::Mat map(undistorter.MapXY().size(), CV_16SC2);
    for (int v = 0; v < map.rows; ++v) {
        for (int u = 0; u < map.cols; ++u) {
            const cv::Vec2s whole = undistorter.MapXY().at<cv::Vec2s>(v, u);
            const int fraction = undistorter.MapFraction().at<uint16_t>(v, u);
            const int x = whole[0] * cv::INTER_TAB_SIZE + fraction % cv::INTER_TAB_SIZE;
            const int y = whole[1] * cv::INTER_TAB_SIZE + fraction / cv::INTER_TAB_SIZE;
            map.at<cv::Vec2s>(v, u) = cv::Vec2s(short((x + cv::INTER_TAB_SIZE / 2) >> cv::INTER_BITS),
                                                short((y + cv::INTER_TAB_SIZE / 2) >> cv::INTER_BITS));
        }
    }
    return map;
}

cv::Mat Random(int width, int height, int type)
{
    cv::Mat image(height, width, type);
    cv::randu(image, 0, type == CV_16UC1 ? 65536 : 256);
    return image;
}

void BM_TofNearest_Undistorter(benchmark::State &state)
{
    const bool ir8 = state.range(0) != 0;
    Undistorter undistorter = Prepared(TofLens(), kTofWidth, kTofHeight);
    cv::Mat depth = Random(kTofWidth, kTofHeight, CV_16UC1);
    cv::Mat ir = Random(kTofWidth, kTofHeight, ir8 ? CV_8UC1 : CV_16UC1);
    cv::Mat confidence = Random(kTofWidth, kTofHeight, CV_16UC1);
    // The step must match cv::remap with the same source positions, or the comparison means nothing.
    cv::Mat expected[3];
    const cv::Mat map = NearestMap(undistorter);
    cv::remap(depth, expected[0], map, cv::Mat(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
    cv::remap(ir, expected[1], map, cv::Mat(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
    cv::remap(confidence, expected[2], map, cv::Mat(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
    undistorter.ApplyNearest(depth.ptr<uint16_t>(), ir.data, ir8, confidence.ptr<uint16_t>(), kTofWidth,
                             kTofHeight);
    if (cv::norm(depth, expected[0], cv::NORM_INF) != 0 || cv::norm(ir, expected[1], cv::NORM_INF) != 0 ||
        cv::norm(confidence, expected[2], cv::NORM_INF) != 0) {
        state.SkipWithError("the nearest step differs from cv::remap with the same map");
        return;
    }
    for (auto _ : state) {
        undistorter.ApplyNearest(depth.ptr<uint16_t>(), ir.data, ir8, confidence.ptr<uint16_t>(), kTofWidth,
                                 kTofHeight);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TofNearest_Undistorter)->ArgName("ir8")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_TofNearest_CvRemap(benchmark::State &state)
{
    const bool ir8 = state.range(0) != 0;
    const Undistorter undistorter = Prepared(TofLens(), kTofWidth, kTofHeight);
    const cv::Mat map = NearestMap(undistorter);
    const cv::Mat depth = Random(kTofWidth, kTofHeight, CV_16UC1);
    const cv::Mat ir = Random(kTofWidth, kTofHeight, ir8 ? CV_8UC1 : CV_16UC1);
    const cv::Mat confidence = Random(kTofWidth, kTofHeight, CV_16UC1);
    cv::Mat out[3];
    for (auto _ : state) {
        cv::remap(depth, out[0], map, cv::Mat(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
        cv::remap(ir, out[1], map, cv::Mat(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
        cv::remap(confidence, out[2], map, cv::Mat(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TofNearest_CvRemap)->ArgName("ir8")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ColorBilinear_Undistorter(benchmark::State &state)
{
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    Undistorter undistorter = Prepared(ColorLens(width, height), width, height);
    cv::Mat colour = Random(width, height, CV_8UC3);
    for (auto _ : state) {
        undistorter.ApplyBilinear(colour.data, uint32_t(width), uint32_t(height));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColorBilinear_Undistorter)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMicrosecond);

void BM_ColorBilinear_CvRemap(benchmark::State &state)
{
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    const Undistorter undistorter = Prepared(ColorLens(width, height), width, height);
    const cv::Mat colour = Random(width, height, CV_8UC3);
    cv::Mat out;
    for (auto _ : state) {
        cv::remap(colour, out, undistorter.MapXY(), undistorter.MapFraction(), cv::INTER_LINEAR,
                  cv::BORDER_CONSTANT);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColorBilinear_CvRemap)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMicrosecond);

/// Building the maps, which happens once per lens, size and target.
void BM_BuildMaps(benchmark::State &state)
{
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    const LensModel lens = width == kTofWidth && height == kTofHeight ? TofLens() : ColorLens(width, height);
    for (auto _ : state) {
        Undistorter undistorter = Prepared(lens, width, height);
        benchmark::DoNotOptimize(undistorter.MapXY().data);
    }
}
BENCHMARK(BM_BuildMaps)->Args({640, 480})->Args({1600, 1200})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    cv::setNumThreads(1); // the figures are for one thread, cv::remap's as well as ours
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
