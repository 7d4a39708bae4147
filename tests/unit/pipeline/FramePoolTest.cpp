// SPDX-License-Identifier: Apache-2.0
// Tests of FramePool: per-type buffers, allocation order and exhaustion, refused recycles, zeroing, and
// the deep copy that hands frames out.
#include "pipeline/FramePool.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bool AllBytes(const Frame &frame, uint8_t value)
{
    return std::all_of(frame.pFrameData, frame.pFrameData + frame.bufferSize,
                       [value](uint8_t b) { return b == value; });
}

void FillFrame(Frame &frame, uint8_t pattern)
{
    frame.frameIndex = 77;
    frame.imuFrameNo = 3;
    frame.dataLen = frame.bufferSize;
    frame.exposureTime = 1.5f;
    frame.depthRange = 2;
    frame.width = 640;
    frame.height = 480;
    frame.hasFrameMask = kHasDepth | kHasIr;
    frame.timestamp = 123456789;
    std::memset(frame.pFrameData, pattern, frame.bufferSize);
}

TEST(FramePoolTest, HandsOutOldestFreeFrameAndRecoversFromExhaustion)
{
    orvtest::LoggedHome home;
    FramePool pool(kFrameDepth, 2);
    EXPECT_EQ(pool.AllocFrame(kFrameIr), nullptr) << "another type takes no frame";
    EXPECT_EQ(pool.GetFreeCount(), 2u);
    Frame *a = pool.AllocFrame(kFrameDepth);
    Frame *b = pool.AllocFrame(kFrameDepth);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);

    EXPECT_EQ(pool.AllocFrame(kFrameDepth), nullptr);

    EXPECT_EQ(pool.RecycleFrame(b), 1);
    EXPECT_EQ(pool.RecycleFrame(a), 1);
    EXPECT_EQ(pool.AllocFrame(kFrameDepth), b);
    EXPECT_EQ(pool.AllocFrame(kFrameDepth), a);
}

TEST(FramePoolTest, RefusesFramesItMustNotTakeAndLeavesThemUnchanged)
{
    FramePool depthPool(kFrameDepth, 1), irPool(kFrameIr, 1), otherDepthPool(kFrameDepth, 1);
    Frame *depth = depthPool.AllocFrame(kFrameDepth);
    ASSERT_NE(depth, nullptr);
    FillFrame(*depth, 0x5A);
    const Frame before = *depth;

    EXPECT_EQ(depthPool.RecycleFrame(nullptr), 0);
    EXPECT_EQ(irPool.RecycleFrame(depth), 0);
    EXPECT_EQ(otherDepthPool.RecycleFrame(depth), 0);
    EXPECT_EQ(std::memcmp(&before, depth, sizeof(Frame)), 0);
    EXPECT_TRUE(AllBytes(*depth, 0x5A));
    EXPECT_EQ(irPool.GetFreeCount(), 1u);
    EXPECT_EQ(otherDepthPool.GetFreeCount(), 1u);

    // A second recycle would put the same buffer on the free list twice.
    EXPECT_EQ(depthPool.RecycleFrame(depth), 1);
    EXPECT_EQ(depthPool.RecycleFrame(depth), 0);
    EXPECT_EQ(depthPool.GetFreeCount(), 1u);
}

TEST(FrameDeepCopyTest, KeepsTheDestinationBufferAndCopiesExactlyDataLen)
{
    FramePool pool(kFrameDepth, 1);
    Frame *src = pool.AllocFrame(kFrameDepth);
    ASSERT_NE(src, nullptr);
    FillFrame(*src, 0x11);
    src->dataLen = 1000;

    std::vector<uint8_t> dstBuffer(2000, 0xEE);
    Frame dst{};
    dst.pFrameData = dstBuffer.data();
    dst.bufferSize = static_cast<uint32_t>(dstBuffer.size());
    ASSERT_TRUE(src->DeepCopyTo(dst));
    Frame want = *src;
    want.pFrameData = dstBuffer.data();
    want.bufferSize = 2000;
    EXPECT_EQ(std::memcmp(&want, &dst, sizeof(Frame)), 0);
    EXPECT_EQ(std::count(dstBuffer.begin(), dstBuffer.end(), 0x11), 1000);
    EXPECT_EQ(std::count(dstBuffer.begin() + 1000, dstBuffer.end(), 0xEE), 1000);

    // A destination too small is refused before anything is written.
    std::vector<uint8_t> small(999, 0xEE);
    Frame tooSmall{};
    tooSmall.pFrameData = small.data();
    tooSmall.bufferSize = static_cast<uint32_t>(small.size());
    EXPECT_FALSE(src->DeepCopyTo(tooSmall));
    EXPECT_EQ(std::count(small.begin(), small.end(), 0xEE), 999);
    EXPECT_EQ(+tooSmall.dataLen, 0u);
}

} // namespace
