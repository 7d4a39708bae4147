// SPDX-License-Identifier: Apache-2.0
// The drop counters' two rules that are more than an addition: the parts of one ToF frame count once,
// and the log line comes at most once a minute, only while a counter grows, with the counts that grew.
#include <gtest/gtest.h>

#include "pipeline/DropCounters.h"
#include "pipeline/DropCountersLog.h"

namespace {

Frame MakeFrame(FrameType type, uint32_t mask)
{
    Frame frame{};
    frame.frameType = static_cast<uint32_t>(type);
    frame.hasFrameMask = mask;
    return frame;
}

TEST(DropCountersTest, TheFirstToFPartOfABufferCountsForTheWholeFrame)
{
    struct Row
    {
        FrameType type;
        uint32_t mask;
        uint64_t tof;
        uint64_t color;
    };
    const uint32_t depthIrColor = kHasDepth | kHasIr | kHasColor;
    const Row rows[] = {
        {kFrameDepth, depthIrColor, 1, 0},
        {kFrameIr, depthIrColor, 0, 0}, // depth stands for the buffer's ToF frame
        {kFrameIr, kHasIr | kHasConfidence, 1, 0},
        {kFrameConfidence, kHasIr | kHasConfidence, 0, 0},
        {kFrameConfidence, 0, 1, 0}, // without a mask a part counts itself
        {kFrameRawTof, depthIrColor, 1, 0},
        {kFrameColor, depthIrColor, 0, 1},
        {kFrameRawColor, kHasColor, 0, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "type " << row.type << " mask " << row.mask);
        DropCounters counters;
        counters.CountFrame(MakeFrame(row.type, row.mask), DropReason::kColorLate);
        counters.CountDeliveredFrame(MakeFrame(row.type, row.mask));
        const TfDropCounters read = counters.Read();
        EXPECT_EQ(read.tof.colorLate, row.tof);
        EXPECT_EQ(read.color.colorLate, row.color);
        EXPECT_EQ(read.tofDelivered, row.tof);
        EXPECT_EQ(read.colorDelivered, row.color);
    }
}

TEST(DropCountersLogTest, LogsOnceAMinuteOnlyTheCountsThatGrew)
{
    struct Step
    {
        uint64_t atMs;
        int tofQueueFull; ///< added before the poll
        int colorLate;
        const char *line; ///< expected; empty: nothing logged
    };
    constexpr uint64_t kStart = 5'000'000;
    constexpr uint64_t kMinute = DropCountersLog::kPeriodMs;
    const Step steps[] = {
        {kStart, 2, 0, ""}, // the first poll starts the period
        {kStart + kMinute - 1, 0, 0, ""},
        {kStart + kMinute, 1, 0, "frames dropped in the last minute, tof: queueFull +3 (3)"},
        {kStart + kMinute + 10, 0, 4, ""}, // growth waits for the end of the period
        {kStart + 2 * kMinute + 10, 0, 0, "frames dropped in the last minute, colour: colorLate +4 (4)"},
        {kStart + 3 * kMinute + 10, 0, 0, ""}, // nothing grew
        {kStart + 4 * kMinute + 10, 5, 1,
         "frames dropped in the last minute, tof: queueFull +5 (8); colour: colorLate +1 (5)"},
    };
    DropCounters counters;
    DropCountersLog log(counters);
    for (const Step &step : steps) {
        SCOPED_TRACE(step.atMs - kStart);
        for (int i = 0; i < step.tofQueueFull; ++i) {
            counters.Count(DropStream::kTof, DropReason::kQueueFull);
        }
        for (int i = 0; i < step.colorLate; ++i) {
            counters.Count(DropStream::kColor, DropReason::kColorLate);
        }
        EXPECT_EQ(log.Poll(step.atMs), step.line);
    }
}

} // namespace
