// SPDX-License-Identifier: Apache-2.0
// Benchmark of the four-phase decode of one 640x480 frame: the vectorised path, the one-pixel-at-a-time
// reference, and a memcpy of the same bytes as the floor. Reports ns per pixel and both ratios.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "pipeline/SonyRawDecoder.h"

namespace {
constexpr size_t kPixels = SonyRawDecoder::kPixels;
// Read: four phase blocks; written: depth, IR and confidence.
constexpr size_t kBytesTouched = SonyRawDecoder::kRawPayloadBytes + 3 * kPixels * 2;

struct Input
{
    Input()
        : raw(SonyRawDecoder::kRawPayloadBytes), background(kPixels, 20), lookup(3124), depth(kPixels),
          ir(kPixels), confidence(kPixels), copy(kBytesTouched)
    {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> tap(0, 0xFFFF);
        for (auto &b : raw) {
            b = static_cast<uint8_t>(tap(rng));
        }
        for (size_t i = 0; i < lookup.size(); ++i) {
            lookup[i] = static_cast<int32_t>(i);
        }
        for (size_t k = 0; k < 4; ++k) {
            phases[k] = raw.data() + k * SonyRawDecoder::kPhaseBlockBytes;
        }
        params = FourPhaseParams{SonyRawDecoder::PhaseToMmFactor(3),  40,   lookup.data(),
                                 static_cast<int32_t>(lookup.size()), 3123, background.data()};
    }
    std::vector<uint8_t> raw;
    std::vector<uint16_t> background;
    std::vector<int32_t> lookup;
    std::vector<uint16_t> depth, ir, confidence;
    std::vector<uint8_t> copy;
    const uint8_t *phases[4];
    FourPhaseParams params;
};

Input &Data()
{
    static Input input;
    return input;
}

void Report(benchmark::State &state)
{
    state.counters["ns_per_pixel"] =
        benchmark::Counter(static_cast<double>(kPixels),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytesTouched));
}

void BM_DecodeFourPhase(benchmark::State &state)
{
    Input &in = Data();
    for (auto _ : state) {
        SonyRawDecoder::DecodeFourPhase(in.phases, in.params, in.depth.data(), in.ir.data(),
                                        in.confidence.data(), kPixels);
        benchmark::DoNotOptimize(in.depth.data());
        benchmark::ClobberMemory();
    }
    Report(state);
}

void BM_DecodeFourPhaseScalar(benchmark::State &state)
{
    Input &in = Data();
    for (auto _ : state) {
        SonyRawDecoder::DecodeFourPhaseScalar(in.phases, in.params, in.depth.data(), in.ir.data(),
                                              in.confidence.data(), kPixels);
        benchmark::DoNotOptimize(in.depth.data());
        benchmark::ClobberMemory();
    }
    Report(state);
}

// The floor: reading the phase data and writing the three images cost at least one copy of those bytes.
void BM_MemcpySameBytes(benchmark::State &state)
{
    Input &in = Data();
    for (auto _ : state) {
        std::memcpy(in.copy.data(), in.raw.data(), SonyRawDecoder::kRawPayloadBytes);
        std::memcpy(in.copy.data() + SonyRawDecoder::kRawPayloadBytes, in.depth.data(), 3 * kPixels * 2);
        benchmark::DoNotOptimize(in.copy.data());
        benchmark::ClobberMemory();
    }
    Report(state);
}
} // namespace

BENCHMARK(BM_DecodeFourPhase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeFourPhaseScalar)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
