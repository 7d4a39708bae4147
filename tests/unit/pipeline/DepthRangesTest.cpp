// SPDX-License-Identifier: Apache-2.0
// Tests of the depth ranges: limits and lookups, what the refine library is told, the temperature
// tables, dual-frequency checks and the wide-dynamic-range unwrapping.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "TofFixtures.h"
#include "pipeline/DepthRanges.h"
#include "pipeline/TofDecode.h"

using namespace orvtest;

TEST(DepthRangesTest, RangeLimitsComeFromTheMeasuringRangeList)
{
    // Each range reaches its wrap-around distance, half the modulation wavelength.
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(DepthRanges::GetSonyMaxDepth(uint32_t(r)), std::lround(WrapDistanceMm(r))) << r;
    }
    EXPECT_EQ(DepthRanges::GetSonyMaxDepth(6), 0);

    DepthRanges ranges(nullptr);
    EXPECT_EQ(ranges.GetMaxDepth(3), 3123); // before the camera's list arrives
    ranges.SetRangeValue({{0, 1200, 150, 1249}, {1, 1800, 300, 1874}});
    EXPECT_EQ(ranges.GetEffectMaxDepth(1), 1800);
    EXPECT_EQ(ranges.GetEffectMinDepth(1), 300);
    EXPECT_EQ(ranges.GetMaxDepth(1), 1874);
    orvtest::LoggedHome home;
    EXPECT_EQ(ranges.GetMaxDepth(9), 0);
}

TEST(DepthRangesTest, TheLibraryLearnsTheMaximumOrTheEffectiveMaximumWithRawDepthCut)
{
    RecordingRefine refine;
    DepthRanges ranges(&refine);
    ranges.SetRangeValue({{0, 1200, 150, 1249}});
    ranges.adaptRangeValue(0);
    ranges.SetRawDepthCut(true);
    ranges.adaptRangeValue(0);
    ranges.adaptRangeValue(8);
    ASSERT_EQ(refine.rangeCalls.size(), 3u);
    EXPECT_EQ(refine.rangeCalls[0].maxDepthMm, 1249);
    EXPECT_EQ(refine.rangeCalls[1].maxDepthMm, 1200);
    EXPECT_EQ(refine.rangeCalls[1].minDepthMm, 0);
    EXPECT_EQ(refine.rangeCalls[2].range, 8);
    EXPECT_EQ(refine.rangeCalls[2].maxDepthMm, 0);
}

TEST(DepthRangesTest, TemperatureTablesPassThroughTheCalibratedPointsAndClamp)
{
    const std::tuple<uint32_t, int, int32_t> rows[] = {
        {0, 0, 129},    {0, 1, 127},   {0, 2, 124},    {0, 3, 122},    {0, 57, 1},   {0, 58, -1},
        {0, 150, -208}, {0, -20, 129}, {0, 400, -208}, {3, 0, 193},    {1, 1, 190},  {2, 2, 186},
        {4, 3, 183},    {5, 56, 2},    {1, 57, -2},    {2, 150, -319}, {5, -1, 193}, {4, 151, -319}};
    for (const auto &[range, degrees, offset] : rows) {
        EXPECT_EQ(DepthRanges::GetTemperatureOffset(range, degrees), offset)
            << "range " << range << " at " << degrees;
    }
    for (uint32_t range : {0u, 1u}) {
        for (int t = 1; t <= 150; ++t) {
            const int32_t step =
                DepthRanges::GetTemperatureOffset(range, t - 1) - DepthRanges::GetTemperatureOffset(range, t);
            EXPECT_GE(step, 1) << t;
            EXPECT_LE(step, 4) << t;
        }
    }
}

TEST(DepthRangesTest, UnwrapsAgainstTheReferenceAndKeepsZeroReferencesInvalid)
{
    std::vector<uint16_t> depth = {500, 500, 100, 1200};
    const std::vector<uint16_t> reference = {3000, 0, 120, 1300};
    DepthRanges::MakeMultiRangeFrame_Sony(depth.data(), reference.data(), depth.size(), 1249);
    EXPECT_EQ(depth, (std::vector<uint16_t>{2998, 0, 100, 1200}));
    DepthRanges::MakeMultiRangeFrame_Sony(depth.data(), reference.data(), depth.size(), 0);
    EXPECT_EQ(depth, (std::vector<uint16_t>{0, 0, 0, 0}));
}

TEST(DepthRangesTest, DualFrequencyChecksTheOverlapAndReducesRangesToEightBits)
{
    orvtest::LoggedHome home;
    RecordingRefine refine;
    DepthRanges ranges(&refine);
    ranges.SetRangeValue({{0, 1010, 100, 1249}, {1, 1800, 1000, 1874}, {2, 2400, 1790, 2498}});
    DualFreqMode mode{3, {0x100, 1, 2}};
    EXPECT_EQ(ranges.SetDualFreqMode(mode), 0);
    EXPECT_EQ(mode.values[0], 0);
    EXPECT_EQ(ranges.GetWdrRange(0), 0u);
    EXPECT_EQ(ranges.GetWdrRange(1), 1u);
    ASSERT_FALSE(refine.rangeCalls.empty());
    EXPECT_EQ(refine.rangeCalls.back().range, 1);
}
