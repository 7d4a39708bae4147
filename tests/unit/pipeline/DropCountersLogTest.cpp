// SPDX-License-Identifier: Apache-2.0
// The drop counters' log: a line at most once a minute, only while a counter grows, with the counts that
// grew.
#include <gtest/gtest.h>

#include "pipeline/DropCounters.h"
#include "pipeline/DropCountersLog.h"

namespace {

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
        {kStart + kMinute, 1, 0, "frames dropped in the last minute, tof: queueFull +3 (3)"},
        {kStart + kMinute + 10, 0, 4, ""}, // growth waits for the end of the period
        {kStart + 2 * kMinute + 10, 0, 0, "frames dropped in the last minute, colour: colorLate +4 (4)"},
        {kStart + 3 * kMinute + 10, 0, 0, ""}, // nothing grew
        {kStart + 4 * kMinute + 9, 5, 1, ""},
        {kStart + 4 * kMinute + 10, 0, 0,
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
