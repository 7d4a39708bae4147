// SPDX-License-Identifier: Apache-2.0
// Tests of FrameQueue: drop-oldest push, the timed pop, and the hand-back to its pool.
#include "pipeline/FrameQueue.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

Frame *Filled(FrameQueue &queue, uint32_t frameIndex)
{
    Frame *frame = queue.AllocFrame(kFrameDepth);
    if (frame != nullptr) {
        frame->frameIndex = frameIndex;
        frame->dataLen = 8;
        frame->pFrameData[0] = static_cast<uint8_t>(frameIndex);
    }
    return frame;
}

TEST(FrameQueueTest, FullQueueReturnsItsOldestFrameToThePool)
{
    FrameQueue queue(kFrameDepth, 2, 5);
    queue.SetWaitTime(10);
    queue.Push(nullptr);
    EXPECT_EQ(queue.Size(), 0u);
    Frame *first = Filled(queue, 1);
    ASSERT_NE(first, nullptr);
    queue.Push(first);
    queue.Push(Filled(queue, 2));
    EXPECT_EQ(queue.GetPool()->GetFreeCount(), 3u);

    queue.Push(Filled(queue, 3));
    EXPECT_EQ(queue.Size(), 2u);
    EXPECT_EQ(queue.GetDroppedCount(), 1u);
    // The dropped frame is back in the pool, zeroed.
    EXPECT_EQ(queue.GetPool()->GetFreeCount(), 3u);
    EXPECT_EQ(+first->inUse, 0);
    EXPECT_EQ(+first->frameIndex, 0u);
    EXPECT_EQ(+first->pFrameData[0], 0);

    Frame *a = queue.Pop(kFrameDepth);
    Frame *b = queue.Pop(kFrameDepth);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(+a->frameIndex, 2u);
    EXPECT_EQ(+b->frameIndex, 3u);
    EXPECT_EQ(queue.Pop(kFrameDepth), nullptr);

    queue.RecycleFrame(a);
    queue.RecycleFrame(b);
    queue.RecycleFrame(nullptr);
    EXPECT_EQ(queue.GetPool()->GetFreeCount(), 5u);
}

TEST(FrameQueueTest, PopWaitsTheWaitTimeUnlessAPushFromAnotherThreadEndsIt)
{
    FrameQueue queue(kFrameDepth, 2, 2);
    auto start = Clock::now();
    EXPECT_EQ(queue.Pop(kFrameDepth), nullptr);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(FrameQueue::kDefaultWaitTimeMs));
    queue.SetWaitTime(40);
    start = Clock::now();
    EXPECT_EQ(queue.Pop(kFrameDepth), nullptr);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));

    queue.SetWaitTime(20000);
    Frame *frame = Filled(queue, 9);
    ASSERT_NE(frame, nullptr);
    start = Clock::now();
    std::thread producer([&] { queue.Push(frame); });
    Frame *popped = queue.Pop(kFrameDepth);
    producer.join();
    EXPECT_EQ(popped, frame);
    // Far below the wait time: the push woke the waiter rather than the deadline.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

} // namespace
