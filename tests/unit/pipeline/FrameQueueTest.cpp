// SPDX-License-Identifier: Apache-2.0
// Tests of FrameQueue: drop-oldest push, the timed pop, and the hand-back to its pool.
#include "pipeline/FrameQueue.h"

#include "../runtime/RuntimeTestSupport.h"

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

TEST(FrameQueueTest, ProducerAndConsumerThreadsLoseNoFrameAndNoBuffer)
{
    FrameQueue queue(kFrameDepth, 2, 4);
    queue.SetWaitTime(1000);
    constexpr uint32_t kFrames = 500;
    std::thread producer([&] {
        for (uint32_t i = 1; i <= kFrames;) {
            Frame *frame = Filled(queue, i);
            if (frame == nullptr) {
                std::this_thread::yield(); // all frames out: the consumer will give one back
                continue;
            }
            queue.Push(frame);
            ++i;
        }
    });
    uint32_t lastIndex = 0, received = 0;
    while (lastIndex < kFrames) {
        Frame *frame = queue.Pop(kFrameDepth);
        ASSERT_NE(frame, nullptr);
        EXPECT_GT(+frame->frameIndex, lastIndex); // in order, drops only
        lastIndex = frame->frameIndex;
        ++received;
        queue.RecycleFrame(frame);
    }
    producer.join();
    EXPECT_EQ(received + queue.GetDroppedCount(), kFrames);
    EXPECT_EQ(queue.GetPool()->GetFreeCount(), 4u);
}

TEST(FrameQueueTest, ConstructionAndDestructionAreLoggedAndQueuedFramesFreed)
{
    runtime_test::LoggedHome home;
    {
        FrameQueue queue(kFrameConfidence, 2, 3);
        queue.Push(queue.AllocFrame(kFrameConfidence));
        queue.Push(queue.AllocFrame(kFrameConfidence));
        EXPECT_TRUE(home.Logged("mFrameType:8"));
    }
    // Under the address sanitizer a frame left queued would show as a leak.
    const std::string log = home.Log();
    EXPECT_NE(log.find("mFrameType:8", log.find("mFrameType:8") + 1), std::string::npos);
}

} // namespace
