// SPDX-License-Identifier: Apache-2.0
// `stream`'s statistics on synthetic series: index gaps, duplicates, late frames and the 32-bit wrap,
// the rate over the last second, and latency quantiles that ignore a slow first frame and a clock jump.
#include <gtest/gtest.h>

#include <vector>

#include "LatencyHistogram.h"
#include "StreamStats.h"

namespace orvane::cli {
namespace {

TEST(StreamStats, IndexSequences)
{
    struct Row
    {
        const char *name;
        std::vector<uint32_t> indices;
        uint64_t gaps, duplicates, reordered, restarts;
    };
    const Row rows[] = {
        {"in order", {7, 8, 9, 10}, 0, 0, 0, 0},
        {"two missing", {1, 2, 5, 6}, 2, 0, 0, 0},
        {"wrap of the index", {0xFFFFFFFEu, 0xFFFFFFFFu, 0, 1}, 0, 0, 0, 0},
        {"missing across the wrap", {0xFFFFFFFEu, 1}, 2, 0, 0, 0},
        {"same index twice", {1, 2, 2, 3}, 0, 1, 0, 0},
        {"an old index again", {1, 2, 3, 2}, 0, 1, 0, 0},
        {"late, not lost", {1, 3, 2, 4}, 0, 0, 1, 0},
        {"late across the wrap", {0xFFFFFFFFu, 1, 0}, 0, 0, 1, 0},
        {"from before the first", {5, 4, 6}, 0, 0, 1, 0},
        {"far back: counted afresh", {1000, 1001, 1003, 3, 4, 6}, 2, 0, 0, 1},
        {"a long gap", {1, 200, 201}, 198, 0, 0, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        StreamStats stats;
        for (uint32_t index : row.indices) {
            stats.Add(index, 0, 0);
        }
        const StreamSnapshot s = stats.Snapshot(0);
        EXPECT_EQ(s.frames, row.indices.size());
        EXPECT_EQ(s.gaps, row.gaps);
        EXPECT_EQ(s.duplicates, row.duplicates);
        EXPECT_EQ(s.reordered, row.reordered);
        EXPECT_EQ(s.restarts, row.restarts);
        EXPECT_EQ(s.latencySamples, 0u) << "no timestamps, no latency";
    }
}

TEST(StreamStats, RateOverTheLastSecond)
{
    struct Row
    {
        const char *name;
        int64_t periodUs;
        int frames;
        int64_t nowAfterLastUs;
        double fps;
    };
    const Row rows[] = {
        {"steady 25 fps", 40'000, 100, 0, 25.0},
        {"younger than a second", 40'000, 6, 0, 25.0},
        {"faster than the ring holds", 400, 5000, 0, 2500.0},
        {"stalled half a second", 40'000, 100, 500'000, 12.0 / 0.98},
        {"stopped a second ago", 40'000, 100, 1'000'000, 0.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        StreamStats stats;
        for (int i = 0; i < row.frames; ++i) {
            stats.Add(static_cast<uint32_t>(i), 0, i * row.periodUs);
        }
        const int64_t nowUs = (row.frames - 1) * row.periodUs + row.nowAfterLastUs;
        EXPECT_NEAR(stats.Snapshot(nowUs).fps, row.fps, row.fps * 0.04 + 0.01);
    }
}

TEST(StreamStats, LatencyCountsFromTheQuickestFirstFrameAndSurvivesAClockJump)
{
    StreamStats stats;
    constexpr uint64_t kCameraClockUs = 5'000'000'000; // far from the host's clock
    for (int i = 0; i < 1000; ++i) {
        // 1 ms on the way; the first frame waited 30 ms more, every 50th 8 ms more.
        const int64_t delayUs = 1000 + (i == 0 ? 30'000 : 0) + (i % 50 == 49 ? 8000 : 0);
        const uint64_t sentUs = kCameraClockUs + static_cast<uint64_t>(i) * 40'000 +
                                (i >= 500 ? 3'600'000'000ull : 0); // the camera's clock jumps an hour
        stats.Add(static_cast<uint32_t>(i), sentUs, i * 40'000 + delayUs);
    }
    const StreamSnapshot s = stats.Snapshot(1000 * 40'000);
    EXPECT_EQ(s.latencySamples, 1000u);
    EXPECT_NEAR(s.latencyMedianMs, 0.0, 0.01);
    EXPECT_NEAR(s.latencyP99Ms, 8.0, 8.0 * 0.02);
}

TEST(LatencyHistogram, QuantilesWithinTheBucketPrecisionOnBothSides)
{
    LatencyHistogram histogram;
    EXPECT_EQ(histogram.Quantile(0.5), 0.0);
    for (int64_t v = 1; v <= 100'000; ++v) {
        histogram.Add(v);
        histogram.Add(-v);
    }
    EXPECT_NEAR(histogram.Quantile(0.75), 50'000.0, 50'000.0 * 0.016);
    EXPECT_NEAR(histogram.Quantile(0.995), 99'000.0, 99'000.0 * 0.016);
    EXPECT_NEAR(histogram.Quantile(0.25), -50'000.0, 50'000.0 * 0.016);
    EXPECT_NEAR(histogram.Quantile(0.0), -100'000.0, 100'000.0 * 0.016);
    histogram.Clear();
    histogram.Add(INT64_MIN);
    histogram.Add(INT64_MAX);
    EXPECT_LT(histogram.Quantile(0.0), -6e10) << "clamped, not wrapped";
    EXPECT_GT(histogram.Quantile(1.0), 6e10);
}

} // namespace
} // namespace orvane::cli
