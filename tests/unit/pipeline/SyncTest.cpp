// SPDX-License-Identifier: Apache-2.0
// Tests of the synchroniser: set assembly by frame index, the ring's limits, frame return to the pools
// and a concurrent producers/consumer run.
#include "pipeline/Sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {
constexpr uint16_t kWidth = 4, kHeight = 2;
constexpr uint8_t kKinds[] = {kHasDepth, kHasIr, kHasConfidence, kHasColor};

uint32_t GoodLength(uint8_t bit) // IR is fed as 8-bit
{
    return kWidth * kHeight * (bit == kHasColor ? 3u : bit == kHasIr ? 1u : 2u);
}

/// Makes a frame look as a decoder leaves it: small, its payload starting with its index.
void Fill(Frame &frame, uint8_t bit, uint32_t index, uint32_t mask, uint32_t dataLen = 0)
{
    frame.frameIndex = index;
    frame.width = kWidth;
    frame.height = kHeight;
    if (bit == kHasIr) {
        frame.pixelFormat = kPixelGray8;
    }
    frame.dataLen = dataLen != 0 ? dataLen : GoodLength(bit);
    frame.hasFrameMask = mask;
    std::memcpy(frame.pFrameData, &index, sizeof(index));
}

SyncFrame Destinations(Frame *color, Frame *depth, Frame *ir, Frame *confidence)
{
    SyncFrame out{};
    out.colorFrame = color;
    out.depthFrame = depth;
    out.irFrame = ir;
    out.confidenceFrame = confidence;
    return out;
}

class SyncTest : public ::testing::Test
{
protected:
    struct Destination // a consumer's frame with its own buffer, as the delivery slots are
    {
        std::vector<uint8_t> buffer = std::vector<uint8_t>(64, 0);
        Frame frame{};
        Destination()
        {
            frame.pFrameData = buffer.data();
            frame.bufferSize = static_cast<uint32_t>(buffer.size());
        }
        uint32_t Stamp() const
        {
            uint32_t index = 0;
            std::memcpy(&index, buffer.data(), sizeof(index));
            return index;
        }
    };

    void SetUp() override { Reset(); }
    void Reset()
    {
        m_sync.reset();
        m_sync = std::make_unique<Sync>(&m_depth, &m_ir, &m_confidence, &m_color);
        m_sync->SetWaitTime(20);
    }
    FrameQueue &QueueOf(uint8_t bit)
    {
        return bit == kHasDepth        ? m_depth
               : bit == kHasIr         ? m_ir
               : bit == kHasConfidence ? m_confidence
                                       : m_color;
    }
    Frame *Alloc(uint8_t bit)
    {
        return QueueOf(bit).AllocFrame(static_cast<FrameType>(QueueOf(bit).GetPool()->GetType()));
    }
    /// Pushes one frame and notifies, as a decoder does, then lets the synchroniser make one pass.
    void FeedAndRun(uint8_t bit, uint32_t index, uint32_t mask, uint32_t dataLen = 0)
    {
        Frame *frame = Alloc(bit);
        ASSERT_NE(frame, nullptr);
        Fill(*frame, bit, index, mask, dataLen);
        QueueOf(bit).Push(frame);
        m_sync->SetSingleFrameReady(bit);
        m_sync->RunOnce();
    }
    int Take()
    {
        m_out = Destinations(&m_outColor.frame, &m_outDepth.frame, &m_outIr.frame, &m_outConfidence.frame);
        return m_sync->GetSyncFrame(m_out);
    }
    uint32_t OutOfPool(uint8_t bit)
    {
        return QueueOf(bit).GetPool()->GetCount() - QueueOf(bit).GetPool()->GetFreeCount();
    }
    void ExpectAllFramesHome()
    {
        for (uint8_t bit : kKinds) {
            EXPECT_EQ(OutOfPool(bit), 0u) << "kind " << int(bit);
        }
    }

    FrameQueue m_depth{kFrameDepth, 2, 12}, m_ir{kFrameIr, 2, 10};
    FrameQueue m_confidence{kFrameConfidence, 2, 10}, m_color{kFrameColor, 2, 12};
    std::unique_ptr<Sync> m_sync; // after the queues it returns frames to
    Destination m_outDepth, m_outIr, m_outConfidence, m_outColor;
    SyncFrame m_out{};
};

TEST_F(SyncTest, SetIsDeliveredOnlyOnceEveryAnnouncedPartArrivedInAnyOrder)
{
    std::array<uint8_t, 3> order = {kHasDepth, kHasIr, kHasColor};
    uint32_t index = 40;
    do {
        SCOPED_TRACE(testing::Message() << "order " << int(order[0]) << int(order[1]) << int(order[2]));
        Reset();
        ++index;
        FeedAndRun(order[0], index, 7);
        FeedAndRun(order[1], index + 1, 7); // a part of the next buffer completes nothing
        FeedAndRun(order[1], index, 7);
        EXPECT_EQ(Take(), 0);
        FeedAndRun(order[2], index, 7);
        ASSERT_EQ(Take(), 1);
        EXPECT_EQ(uint32_t{m_out.frameIndex}, index);
        EXPECT_EQ(uint32_t{m_out.hasFrameMask}, 7u);
        EXPECT_EQ(m_out.hasDepth + m_out.hasIr + m_out.hasColor + 2 * m_out.hasConfidence, 3);
        for (const Destination *d : {&m_outDepth, &m_outIr, &m_outColor}) {
            EXPECT_EQ(d->Stamp(), index);
        }
        EXPECT_EQ(uint32_t{m_outColor.frame.dataLen}, GoodLength(kHasColor));
        EXPECT_EQ(static_cast<uint8_t *>(m_outColor.frame.pFrameData), m_outColor.buffer.data())
            << "the destination keeps its buffer";
        m_sync->RecycleFrame();
        ExpectAllFramesHome();
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(SyncTest, StaleDuplicateAndMisSizedFramesAreReturnedAtOnce)
{
    FeedAndRun(kHasDepth, 10, 15);
    FeedAndRun(kHasColor, 9, 15);   // older than the set at the read index
    FeedAndRun(kHasDepth, 10, 15);  // a second depth part of the same buffer
    FeedAndRun(kHasIr, 10, 15, 16); // 8-bit IR claiming 16-bit length
    FeedAndRun(kHasConfidence, 10, 15, 15);
    EXPECT_EQ(m_sync->GetRejectedFrameCount(), 4u);
    EXPECT_EQ(OutOfPool(kHasDepth) + OutOfPool(kHasIr) + OutOfPool(kHasConfidence) + OutOfPool(kHasColor),
              1u);
    FeedAndRun(kHasColor, 10, 15);
    FeedAndRun(kHasIr, 10, 15);
    FeedAndRun(kHasConfidence, 10, 15);
    ASSERT_EQ(Take(), 1);
    EXPECT_EQ(uint32_t{m_out.frameIndex}, 10u);
    ExpectAllFramesHome();
}

TEST_F(SyncTest, SixNewBuffersWithoutACompleteSetPushOutTheOldest)
{
    for (uint32_t index = 1; index <= 6; ++index) {
        FeedAndRun(kHasDepth, index, 3);
    }
    EXPECT_EQ(m_sync->GetAbandonedSetCount(), 1u);
    FeedAndRun(kHasIr, 1, 3); // the abandoned set is stale now
    EXPECT_EQ(OutOfPool(kHasIr), 0u);
    FeedAndRun(kHasIr, 2, 3); // the next oldest is at the read index and completes
    ASSERT_EQ(Take(), 1);
    EXPECT_EQ(uint32_t{m_out.frameIndex}, 2u);
    EXPECT_EQ(OutOfPool(kHasDepth), 5u) << "the abandoned set keeps its frame until its slot is reused";
    FeedAndRun(kHasDepth, 7, 3);
    EXPECT_EQ(OutOfPool(kHasDepth), 5u);
    EXPECT_EQ(m_sync->GetRejectedFrameCount(), 1u)
        << "buffer 7 took the slot of buffer 1, whose frame went back";
}

TEST_F(SyncTest, ASetWhoseMissingPartCameForANewerBufferGivesWayAtOnce)
{
    // Buffer 1's colour image was lost: once buffer 2's has come, set 1 can never complete.
    FeedAndRun(kHasDepth, 1, 5);
    FeedAndRun(kHasDepth, 2, 5);
    FeedAndRun(kHasColor, 2, 5);
    ASSERT_EQ(Take(), 1);
    EXPECT_EQ(uint32_t{m_out.frameIndex}, 2u);
    EXPECT_EQ(m_sync->GetAbandonedSetCount(), 1u);
    ExpectAllFramesHome();

    // A newer buffer without colour overtakes nothing: colour 3, still decoding, may come after depth 4.
    FeedAndRun(kHasDepth, 3, 5);
    FeedAndRun(kHasDepth, 4, 1);
    EXPECT_EQ(Take(), 0);
    FeedAndRun(kHasColor, 3, 5);
    ASSERT_EQ(Take(), 1);
    EXPECT_EQ(uint32_t{m_out.frameIndex}, 3u);
    m_sync->RunOnce();
    ASSERT_EQ(Take(), 1);
    EXPECT_EQ(uint32_t{m_out.frameIndex}, 4u);
    EXPECT_EQ(m_sync->GetAbandonedSetCount(), 1u);
    ExpectAllFramesHome();
}

TEST_F(SyncTest, SyncOffOnStreamOffFrameStateOffAndRecycleRequestEmptyEverything)
{
    const std::vector<void (*)(Sync &)> switches = {
        [](Sync &s) { s.SetSyncEnable(false), s.SetSyncEnable(true); },
        [](Sync &s) { s.SetStream(false), s.RunOnce(); },
        [](Sync &s) { s.SetFrameState(false), s.RunOnce(); },
        [](Sync &s) { s.SetRecycle(true), s.RunOnce(); },
    };
    for (size_t i = 0; i < switches.size(); ++i) {
        SCOPED_TRACE(i);
        Reset();
        FeedAndRun(kHasDepth, 1, 1); // a set waiting for its consumer
        FeedAndRun(kHasDepth, 2, 3); // a set waiting for IR
        switches[i](*m_sync);
        ExpectAllFramesHome();
        EXPECT_EQ(Take(), 0);
        m_sync->SetStream(true), m_sync->SetFrameState(true);
        FeedAndRun(kHasIr, 2, 3); // opens a new set: the old half is gone
        EXPECT_EQ(Take(), 0);
    }
}

TEST_F(SyncTest, MissingOrTooSmallDestinationLeavesThatPartOut)
{
    FeedAndRun(kHasDepth, 1, 7);
    FeedAndRun(kHasIr, 1, 7);
    FeedAndRun(kHasColor, 1, 7);
    uint8_t tinyBuffer[4] = {};
    Frame tiny{};
    tiny.pFrameData = tinyBuffer;
    tiny.bufferSize = sizeof(tinyBuffer);
    m_out = Destinations(&tiny, &m_outDepth.frame, nullptr, nullptr);
    ASSERT_EQ(m_sync->GetSyncFrame(m_out), 1);
    EXPECT_EQ(m_out.hasDepth + m_out.hasIr + m_out.hasColor, 1);
    EXPECT_EQ(uint32_t{m_out.hasFrameMask}, unsigned(kHasDepth));
    ExpectAllFramesHome();
}

TEST_F(SyncTest, NoFrameIsKeptAfterManyMixedRounds)
{
    // Complete sets, sets missing colour (which hold up the ring until pushed out), stale parts and
    // sets nobody takes, over many times the pools.
    uint32_t delivered = 0;
    for (uint32_t index = 100; index < 300; ++index) {
        for (uint8_t bit : kKinds) {
            if (bit != kHasColor || index % 7 != 3) {
                FeedAndRun(bit, index, 15);
            }
        }
        if (index % 5 == 0) {
            FeedAndRun(kHasColor, index - 8, 15);
        }
        if (index % 3 != 0 && Take() == 1) {
            ++delivered;
            EXPECT_EQ(uint32_t{m_out.hasFrameMask}, 15u);
            EXPECT_EQ(m_outDepth.Stamp(), uint32_t{m_out.frameIndex});
            EXPECT_EQ(m_outColor.Stamp(), uint32_t{m_out.frameIndex});
        }
        // Six ring slots and the output set are all the synchroniser may hold of one kind.
        ASSERT_LE(OutOfPool(kHasIr), 7u) << "index " << index;
    }
    EXPECT_GT(delivered, 40u);
    m_sync->RecycleFrame();
    ExpectAllFramesHome();
}

} // namespace
