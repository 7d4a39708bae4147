// SPDX-License-Identifier: Apache-2.0
// FrameQueue: drop-oldest push, pop with a deadline, and the hand-back to the pool.
#include "pipeline/FrameQueue.h"

#include <chrono>

#include "runtime/LogCustom.h"

FrameQueue::FrameQueue(FrameType type, uint32_t capacity, uint32_t poolCount)
    : m_frameType(type), m_capacity(capacity), m_pool(std::make_unique<FramePool>(type, poolCount)),
      m_waitTimeMs(kDefaultWaitTimeMs)
{
    TFLOG("mFrameType:%d", static_cast<int>(m_frameType));
}

FrameQueue::~FrameQueue()
{
    {
        MutexLock lock(m_mutex);
        // The pool owns every frame, queued ones included, and frees them with itself.
        m_frames.clear();
    }
    m_pool.reset();
    TFLOG("mFrameType:%d", static_cast<int>(m_frameType));
}

Frame *FrameQueue::AllocFrame(FrameType type)
{
    if (m_pool == nullptr) {
        TFLOG("mPtrFramePool:%p is invliad.", static_cast<void *>(m_pool.get()));
        return nullptr;
    }
    return m_pool->AllocFrame(type);
}

void FrameQueue::Push(Frame *frame)
{
    if (frame == nullptr) {
        return;
    }
    {
        MutexLock lock(m_mutex);
        while (!m_frames.empty() && m_frames.size() >= m_capacity) {
            Frame *oldest = m_frames.front();
            m_frames.pop_front();
            ++m_dropped;
            if (DropCounters *counters = m_dropCounters.load()) {
                counters->CountFrame(*oldest, DropReason::kQueueFull);
            }
            if (m_pool != nullptr) {
                m_pool->RecycleFrame(oldest);
            }
        }
        m_frames.push_back(frame);
    }
    m_cond.notify_one();
}

Frame *FrameQueue::Pop(FrameType /*type*/)
{
    MutexLock lock(m_mutex);
    if (m_frames.empty()) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_waitTimeMs);
        if (!m_cond.wait_until(lock.Native(), deadline,
                               [this]() REQUIRES(m_mutex) { return !m_frames.empty() || m_interrupted; }) ||
            m_frames.empty()) {
            return nullptr;
        }
    }
    Frame *frame = m_frames.front();
    m_frames.pop_front();
    return frame;
}

void FrameQueue::Interrupt(bool on)
{
    {
        MutexLock lock(m_mutex);
        m_interrupted = on;
    }
    m_cond.notify_all();
}

void FrameQueue::RecycleFrame(Frame *frame)
{
    if (frame == nullptr || m_pool == nullptr) {
        return;
    }
    m_pool->RecycleFrame(frame);
}

uint32_t FrameQueue::Size() const
{
    MutexLock lock(m_mutex);
    return static_cast<uint32_t>(m_frames.size());
}

void FrameQueue::SetWaitTime(uint16_t waitTimeMs)
{
    MutexLock lock(m_mutex);
    m_waitTimeMs = waitTimeMs;
}

uint64_t FrameQueue::GetDroppedCount() const
{
    MutexLock lock(m_mutex);
    return m_dropped;
}

bool FrameQueue::DropOne(FrameType type)
{
    Frame *frame = Pop(type);
    if (frame == nullptr) {
        return false;
    }
    RecycleFrame(frame);
    return true;
}
