// SPDX-License-Identifier: Apache-2.0
// Tests of FramePool: per-type buffers, allocation order and exhaustion, refused recycles, zeroing, and
// the deep copy that hands frames out.
#include "pipeline/FramePool.h"

#include "../runtime/RuntimeTestSupport.h"

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

TEST(FramePoolTest, BuildsFramesOfItsTypeWithTheTypesBufferAndFormat)
{
    struct Row
    {
        FrameType type;
        uint32_t bytes;
        int32_t pixelFormat;
    };
    const Row rows[] = {
        {kFrameRawTof, 4945925, -1},       {kFrameRawColor, 2073600, -1},
        {kFrameDepth, 614400, 0},          {kFrameIr, 614400, 2},
        {kFrameColor, 6220800, 3},         {kFrameConfidence, 614400, 1},
        {kFrameDepthMappedToColor, 0, -1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.type);
        FramePool pool(row.type, 2);
        EXPECT_EQ(pool.GetCount(), 2u);
        Frame *frame = pool.AllocFrame(row.type);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(static_cast<int32_t>(frame->frameType), row.type);
        EXPECT_EQ(static_cast<int32_t>(frame->pixelFormat), row.pixelFormat);
        EXPECT_EQ(+frame->bufferSize, row.bytes);
        EXPECT_EQ(+frame->pFrameData == nullptr, row.bytes == 0);
        EXPECT_EQ(+frame->inUse, 1);
        // Fresh buffers are zero too, so no first use sees stale memory.
        EXPECT_TRUE(row.bytes == 0 || AllBytes(*frame, 0));
    }
    runtime_test::LoggedHome home;
    FramePool invalid(kFrameColorMappedToDepth, 1);
    EXPECT_TRUE(home.Logged("type: 4 is invalid."));
}

TEST(FramePoolTest, HandsOutOldestFreeFrameAndRecoversFromExhaustion)
{
    runtime_test::LoggedHome home;
    FramePool pool(kFrameDepth, 2);
    EXPECT_EQ(pool.AllocFrame(kFrameIr), nullptr) << "another type takes no frame";
    EXPECT_EQ(pool.GetFreeCount(), 2u);
    Frame *a = pool.AllocFrame(kFrameDepth);
    Frame *b = pool.AllocFrame(kFrameDepth);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_FALSE(home.Logged("is exhausted"));

    EXPECT_EQ(pool.AllocFrame(kFrameDepth), nullptr);
    EXPECT_TRUE(home.Logged("FramePool of 0 is exhausted"));

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

TEST(FramePoolTest, RecycledFrameIsZeroedAndKeepsTypeFormatAndBuffer)
{
    // The pool clears what a frame reports and scans the rest: each row reports a different extent.
    struct Row
    {
        const char *what;
        uint32_t dataLen;
        uint16_t width;
        uint16_t height;
        std::vector<uint32_t> extraWrites; // byte offsets written past the reported extent
    };
    const Row rows[] = {
        {"whole buffer reported", 614400, 640, 480, {}},
        {"only image size reported", 0, 320, 240, {}},
        {"nothing reported, bytes written", 0, 0, 0, {0, 4095, 4096, 300000, 614399}},
        {"short dataLen, bytes written past it", 16, 0, 0, {17, 614398}},
        {"extent larger than the buffer", 0xFFFFFFFFu, 0xFFFF, 0xFFFF, {}},
    };
    FramePool pool(kFrameDepth, 1);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Frame *frame = pool.AllocFrame(kFrameDepth);
        ASSERT_NE(frame, nullptr);
        uint8_t *buffer = frame->pFrameData;
        FillFrame(*frame, 0);
        const uint32_t size = frame->bufferSize; // packed field: no reference may bind to it
        std::memset(buffer, 0xA5, std::min(row.dataLen, size));
        std::memset(buffer, 0xA5, std::min(uint32_t{row.width} * row.height * 2, size));
        for (uint32_t offset : row.extraWrites) {
            buffer[offset] = 0x3C;
        }
        frame->dataLen = row.dataLen;
        frame->width = row.width;
        frame->height = row.height;
        frame->pixelFormat = kPixelGray16; // decoders may rewrite it; it survives the recycle

        ASSERT_EQ(pool.RecycleFrame(frame), 1);
        Frame want{};
        want.frameType = kFrameDepth;
        want.pixelFormat = kPixelGray16;
        want.pFrameData = buffer;
        want.bufferSize = 614400;
        EXPECT_EQ(std::memcmp(&want, frame, sizeof(Frame)), 0) << "every other field is zero";
        EXPECT_TRUE(AllBytes(*frame, 0));
    }

    // A buffer pointer the user swapped in is replaced by the pool's own, and left untouched.
    Frame *frame = pool.AllocFrame(kFrameDepth);
    ASSERT_NE(frame, nullptr);
    uint8_t *own = frame->pFrameData;
    uint8_t elsewhere[16] = {1, 2, 3};
    frame->pFrameData = elsewhere;
    frame->bufferSize = sizeof(elsewhere);
    ASSERT_EQ(pool.RecycleFrame(frame), 1);
    EXPECT_EQ(+frame->pFrameData, own);
    EXPECT_EQ(+frame->bufferSize, 614400u);
    EXPECT_EQ(elsewhere[0], 1);
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
