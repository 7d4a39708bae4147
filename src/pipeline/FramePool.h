// SPDX-License-Identifier: Apache-2.0
// FramePool: a fixed set of frames of one type whose payload buffers are allocated once, before streaming.
#pragma once

#include "runtime/Mutex.h"

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/Frame.h"

/// Owns every frame it creates, record and payload, for its whole life; frames only move between its
/// free list and their users. A recycled frame comes back with zeroed fields and an all-zero payload.
///
/// Zeroing cost: a recycle clears the bytes the frame claims to hold (dataLen, or the image size given
/// by width, height and pixelFormat) with memset, and only scans the rest of the buffer, clearing any
/// block a user wrote without saying so. Scanning clean memory is cheaper than writing it, so the
/// common case (a frame that reports what it wrote) avoids most of the whole-buffer fill while every
/// frame still leaves the pool all-zero, on its first use too.
class FramePool
{
public:
    FramePool(FrameType type, uint32_t count);
    ~FramePool();
    FramePool(const FramePool &) = delete;
    FramePool &operator=(const FramePool &) = delete;

    /// The oldest free frame with inUse set, or null when the type differs or the pool is exhausted.
    Frame *AllocFrame(FrameType type);
    /// Zeroes the frame and puts it back on the free list: 1 if taken back, 0 if refused (null, of
    /// another type, not one of this pool's frames, or already free).
    int RecycleFrame(Frame *frame);

    FrameType GetType() const { return m_type; }
    uint32_t GetCount() const { return static_cast<uint32_t>(m_frames.size()); }
    /// Frames currently on the free list.
    uint32_t GetFreeCount() const;

    /// Payload bytes per frame of a type (0 for a type the pipeline has no pool for).
    static uint32_t PayloadBytes(FrameType type);
    /// Pixel format a pool gives its frames at creation.
    static PixelFormat InitialPixelFormat(FrameType type);

    /// Clears a frame as a recycle does (fields and payload) without touching any free list; the
    /// demultiplexer uses it for frames it throws away but keeps.
    static void ClearFrame(Frame &frame);

private:
    struct FreeDeleter
    {
        void operator()(uint8_t *p) const { std::free(p); }
    };
    struct Slot
    {
        std::unique_ptr<Frame> frame;
        std::unique_ptr<uint8_t, FreeDeleter> payload;
        bool free = true; // guarded by the pool's m_mutex
    };

    Slot *FindSlot(const Frame *frame);

    FrameType m_type;
    std::vector<Slot> m_frames; // fixed after construction
    mutable Mutex m_mutex;
    std::deque<Frame *> m_freeList GUARDED_BY(m_mutex); // oldest first
};
