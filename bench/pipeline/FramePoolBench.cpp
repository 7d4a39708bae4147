// SPDX-License-Identifier: Apache-2.0
// Benchmark of the frame pool: allocation plus recycle of depth, colour and raw ToF frames, against
// a recycle that zero-fills the whole buffer.
#include "pipeline/FramePool.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

/// Bytes a producer typically fills per frame type, and the pool size of the pipeline: a 640x480
/// depth image, a 1280x720 RGB image, a raw four-phase 640x480 buffer (16-bit phases plus headers).
struct Workload
{
    FrameType type;
    uint32_t writtenBytes;
    uint32_t poolFrames;
};
constexpr Workload kWorkloads[] = {
    {kFrameDepth, 640 * 480 * 2, 12},
    {kFrameColor, 1280 * 720 * 3, 12},
    {kFrameRawTof, 4 * 640 * 480 * 2 + 4096, 5},
};

/// Alloc, write the reported bytes, recycle through the pool (clears the reported extent, scans the
/// rest). Frames rotate through the whole pool as in the pipeline, so caches hold little of them.
void BM_PoolAllocWriteRecycle(benchmark::State &state)
{
    const Workload &w = kWorkloads[state.range(0)];
    FramePool pool(w.type, w.poolFrames);
    for (auto _ : state) {
        Frame *frame = pool.AllocFrame(w.type);
        std::memset(frame->pFrameData, 0x5A, w.writtenBytes);
        frame->dataLen = w.writtenBytes;
        pool.RecycleFrame(frame);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * w.writtenBytes);
}

/// The same rotation with a whole-buffer zero fill as the recycle: the cost of the simple scheme.
void BM_FullZeroAllocWriteRecycle(benchmark::State &state)
{
    const Workload &w = kWorkloads[state.range(0)];
    const uint32_t bufferBytes = FramePool::PayloadBytes(w.type);
    std::vector<std::unique_ptr<uint8_t[]>> buffers;
    for (uint32_t i = 0; i < w.poolFrames; ++i) {
        buffers.push_back(std::make_unique<uint8_t[]>(bufferBytes));
    }
    size_t next = 0;
    for (auto _ : state) {
        uint8_t *data = buffers[next].get();
        next = (next + 1) % buffers.size();
        std::memset(data, 0x5A, w.writtenBytes);
        std::memset(data, 0, bufferBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * w.writtenBytes);
}

/// The producer's write alone, so the recycle's share is the difference to the loops above.
void BM_WriteOnly(benchmark::State &state)
{
    const Workload &w = kWorkloads[state.range(0)];
    const uint32_t bufferBytes = FramePool::PayloadBytes(w.type);
    std::vector<std::unique_ptr<uint8_t[]>> buffers;
    for (uint32_t i = 0; i < w.poolFrames; ++i) {
        buffers.push_back(std::make_unique<uint8_t[]>(bufferBytes));
    }
    size_t next = 0;
    for (auto _ : state) {
        uint8_t *data = buffers[next].get();
        next = (next + 1) % buffers.size();
        std::memset(data, 0x5A, w.writtenBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * w.writtenBytes);
}

// Argument: 0 depth, 1 colour, 2 raw ToF.
BENCHMARK(BM_WriteOnly)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullZeroAllocWriteRecycle)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PoolAllocWriteRecycle)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
