// SPDX-License-Identifier: Apache-2.0
// FramePool: per-type payload sizes, allocation from the free list and zeroing recycle.
#include "pipeline/FramePool.h"

#include <algorithm>
#include <cstring>

#include "runtime/LogCustom.h"

namespace {

/// Clears every non-zero block of [begin, end). Reading clean memory costs less than writing it, and
/// this catches bytes a user wrote past the extent it reported.
void ZeroDirtyBlocks(uint8_t *begin, uint8_t *end)
{
    constexpr size_t kBlockBytes = 4096;
    while (begin < end) {
        const size_t len = std::min<size_t>(kBlockBytes, static_cast<size_t>(end - begin));
        const size_t words = len / sizeof(uint64_t);
        uint64_t acc = 0;
        const uint8_t *p = begin;
        for (size_t i = 0; i < words; ++i) {
            uint64_t w;
            std::memcpy(&w, p + i * sizeof(uint64_t), sizeof(w));
            acc |= w;
        }
        for (size_t i = words * sizeof(uint64_t); i < len; ++i) {
            acc |= begin[i];
        }
        if (acc != 0) {
            std::memset(begin, 0, len);
        }
        begin += len;
    }
}

} // namespace

FramePool::FramePool(FrameType type, uint32_t count) : m_type(type)
{
    const uint32_t bytes = PayloadBytes(type);
    if (bytes == 0) {
        TFLOG("type: %d is invalid.", static_cast<int>(type));
    }
    m_frames.resize(count);
    for (Slot &slot : m_frames) {
        slot.frame = std::make_unique<Frame>();
        Frame &f = *slot.frame;
        std::memset(static_cast<void *>(&f), 0, sizeof(Frame));
        f.frameType = static_cast<uint32_t>(type);
        f.pixelFormat = static_cast<uint32_t>(InitialPixelFormat(type));
        if (bytes > 0) {
            // calloc: untouched pages cost nothing until used, and a first use starts from zero too.
            slot.payload.reset(static_cast<uint8_t *>(std::calloc(bytes, 1)));
            if (slot.payload == nullptr) {
                TFLOG("FramePool of %d: no memory for %u bytes", static_cast<int>(type), bytes);
            }
        }
        f.pFrameData = slot.payload.get();
        f.bufferSize = slot.payload != nullptr ? bytes : 0;
        m_freeList.push_back(&f);
    }
}

FramePool::~FramePool() = default;

uint32_t FramePool::PayloadBytes(FrameType type)
{
    switch (type) {
    case kFrameRawTof:
        return 4945925;
    case kFrameRawColor:
        return 2073600;
    case kFrameDepth:
    case kFrameIr:
    case kFrameConfidence:
        return 614400;
    case kFrameColor:
        return 6220800;
    default:
        return 0;
    }
}

PixelFormat FramePool::InitialPixelFormat(FrameType type)
{
    switch (type) {
    case kFrameDepth:
        return kPixelDepthMm16;
    case kFrameIr:
        return kPixelGray8;
    case kFrameColor:
        return kPixelRgb888;
    case kFrameConfidence:
        return kPixelGray16;
    default:
        return kPixelRaw;
    }
}

Frame *FramePool::AllocFrame(FrameType type)
{
    if (type != m_type) {
        return nullptr;
    }
    MutexLock lock(m_mutex);
    if (m_freeList.empty()) {
        TFLOG("FramePool of %d is exhausted", static_cast<int>(m_type));
        return nullptr;
    }
    Frame *frame = m_freeList.front();
    m_freeList.pop_front();
    FindSlot(frame)->free = false;
    frame->inUse = 1;
    return frame;
}

int FramePool::RecycleFrame(Frame *frame)
{
    if (frame == nullptr || static_cast<int32_t>(frame->frameType) != m_type) {
        return 0;
    }
    MutexLock lock(m_mutex);
    Slot *slot = FindSlot(frame);
    if (slot == nullptr || slot->free) {
        // A foreign frame would be freed by its own pool while this one still lists it, and a second
        // recycle would hand the same buffer to two producers.
        TFLOG("FramePool of %d refuses frame %p (%s)", static_cast<int>(m_type), static_cast<void *>(frame),
              slot == nullptr ? "not of this pool" : "already free");
        return 0;
    }
    // A user may have changed the buffer fields; the pool's own values are the truth.
    frame->pFrameData = slot->payload.get();
    frame->bufferSize = slot->payload != nullptr ? PayloadBytes(m_type) : 0;
    ClearFrame(*frame);
    slot->free = true;
    m_freeList.push_back(frame);
    return 1;
}

uint32_t FramePool::GetFreeCount() const
{
    MutexLock lock(m_mutex);
    return static_cast<uint32_t>(m_freeList.size());
}

void FramePool::ClearFrame(Frame &frame)
{
    if (frame.pFrameData != nullptr && frame.bufferSize > 0) {
        const uint64_t imageBytes =
            static_cast<uint64_t>(frame.width) * frame.height * BytesPerPixel(frame.pixelFormat);
        const uint64_t claimed = std::max<uint64_t>(frame.dataLen, imageBytes);
        const uint32_t extent = static_cast<uint32_t>(std::min<uint64_t>(claimed, frame.bufferSize));
        std::memset(frame.pFrameData, 0, extent);
        ZeroDirtyBlocks(frame.pFrameData + extent, frame.pFrameData + frame.bufferSize);
    }
    frame.frameIndex = 0;
    frame.imuFrameNo = 0;
    frame.dataLen = 0;
    frame.exposureTime = 0.0f;
    frame.depthRange = 0;
    frame.width = 0;
    frame.height = 0;
    frame.hasFrameMask = 0;
    frame.inUse = 0;
    frame.timestamp = 0;
}

FramePool::Slot *FramePool::FindSlot(const Frame *frame)
{
    // Pools hold at most a dozen frames: a linear search beats any index.
    for (Slot &slot : m_frames) {
        if (slot.frame.get() == frame) {
            return &slot;
        }
    }
    return nullptr;
}
