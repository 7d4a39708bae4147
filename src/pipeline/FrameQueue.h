// SPDX-License-Identifier: Apache-2.0
// FrameQueue: a bounded FIFO of filled frames of one type, fed by its own pool, with drop-oldest push
// and a timed pop.
#pragma once

#include "runtime/Mutex.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "pipeline/DropCounters.h"
#include "pipeline/FramePool.h"

/// One producer and one consumer thread per queue; RecycleFrame may come from any thread. Lock order:
/// the queue mutex, then the pool's.
class FrameQueue
{
public:
    static constexpr uint16_t kDefaultWaitTimeMs = 350;

    FrameQueue(FrameType type, uint32_t capacity, uint32_t poolCount);
    ~FrameQueue();
    FrameQueue(const FrameQueue &) = delete;
    FrameQueue &operator=(const FrameQueue &) = delete;

    /// An empty frame from the queue's pool, or null.
    Frame *AllocFrame(FrameType type);
    /// Appends a filled frame; when the queue is full the oldest queued frame goes back to the pool
    /// first, so a producer never waits for a slow consumer. Null is ignored.
    void Push(Frame *frame);
    /// The oldest queued frame, waiting up to the wait time for one; null on time-out. The type only
    /// mirrors the call sites: a queue holds one type.
    Frame *Pop(FrameType type);
    /// While on, Pop no longer waits for an empty queue (waiters return at once): lets the threads that
    /// wait on the queue stop promptly.
    void Interrupt(bool on);
    /// Hands a frame back to the pool; null does nothing.
    void RecycleFrame(Frame *frame);
    /// Pops the oldest frame (waiting up to the wait time) and gives it straight back to the pool.
    /// Returns false when none came.
    bool DropOne(FrameType type);
    uint32_t Size() const;
    void SetWaitTime(uint16_t waitTimeMs);

    /// Frames recycled by Push because the queue was full.
    uint64_t GetDroppedCount() const;
    /// Where Push also counts a frame it overwrote (null: nowhere); the counters outlive the queue.
    void SetDropCounters(DropCounters *counters) { m_dropCounters.store(counters); }
    FramePool *GetPool() { return m_pool.get(); }

private:
    FrameType m_frameType;
    uint32_t m_capacity;
    std::unique_ptr<FramePool> m_pool;
    mutable Mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<Frame *> m_frames GUARDED_BY(m_mutex);
    uint16_t m_waitTimeMs GUARDED_BY(m_mutex);
    uint64_t m_dropped GUARDED_BY(m_mutex) = 0;
    bool m_interrupted GUARDED_BY(m_mutex) = false;
    std::atomic<DropCounters *> m_dropCounters{nullptr}; // owned by the pipeline
};
