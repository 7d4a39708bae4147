// SPDX-License-Identifier: Apache-2.0
// Sync: the six-slot ring that matches decoded frames by frame index, the output set handed to the
// consumer, and the single-frame-ready notification.
#include "pipeline/Sync.h"

#include <algorithm>

#include "runtime/LogCustom.h"

namespace {
// The order in which a notification's parts are filed, and in which a set's mask is checked.
constexpr uint8_t kFileOrder[] = {kHasColor, kHasDepth, kHasIr, kHasConfidence};
constexpr uint8_t kCheckOrder[] = {kHasDepth, kHasIr, kHasConfidence, kHasColor};
// The worker re-checks its stop flag at least this often, whatever the wait time, so a Stop takes
// effect well before the join gives up on the thread.
constexpr uint32_t kWorkerWaitSliceMs = 100;
constexpr uint32_t kDisabledSleepMs = 5;
} // namespace

Sync::Sync(FrameQueue *depthQueue, FrameQueue *irQueue, FrameQueue *confidenceQueue, FrameQueue *colorQueue)
    : StoppableThread("Sync"), m_depthQueue(depthQueue), m_irQueue(irQueue),
      m_confidenceQueue(confidenceQueue), m_colorQueue(colorQueue)
{
    XnStatus status = xnOSCreateEvent(&m_singleFrameEvent, false);
    if (status == XN_OS_OK) {
        status = xnOSCreateEvent(&m_syncFrameEvent, false);
    }
    if (status != XN_OS_OK) {
        TFLOG("xnOSCreateEvent failed, status: %d", status);
    }
}

Sync::~Sync()
{
    Stop();
    Join();
    RecycleFrame();
    if (m_singleFrameEvent != nullptr) {
        xnOSCloseEvent(&m_singleFrameEvent);
    }
    if (m_syncFrameEvent != nullptr) {
        xnOSCloseEvent(&m_syncFrameEvent);
    }
}

int Sync::Init(const char *serialNumber)
{
    m_serialNumber = serialNumber != nullptr ? serialNumber : "";
    TFLOG("serialNumber:%s", m_serialNumber.c_str());
    return (m_singleFrameEvent != nullptr && m_syncFrameEvent != nullptr) ? 0 : -1;
}

void Sync::SetSingleFrameReady(uint8_t bits)
{
    {
        MutexLock lock(m_maskMutex);
        m_singleFrameMask = static_cast<uint8_t>(m_singleFrameMask | bits);
    }
    const XnStatus status = xnOSSetEvent(m_singleFrameEvent);
    if (status != XN_OS_OK) {
        TFLOG("ZiduOSSetEvent failed, status: %d", status);
    }
}

uint8_t Sync::GetSingleFrameReady()
{
    if (xnOSWaitEvent(m_singleFrameEvent, m_waitTimeMs.load()) != XN_OS_OK) {
        return 0;
    }
    MutexLock lock(m_maskMutex);
    const uint8_t mask = m_singleFrameMask;
    m_singleFrameMask = 0;
    return mask;
}

int Sync::GetSyncFrame(SyncFrame &out)
{
    uint64_t startMs = 0;
    xnOSGetTimeStampMs(&startMs);
    const uint64_t waitMs = m_waitTimeMs.load();
    for (;;) {
        uint64_t nowMs = 0;
        xnOSGetTimeStampMs(&nowMs);
        const uint64_t elapsedMs = nowMs - startMs;
        if (elapsedMs > waitMs) {
            return 0;
        }
        if (xnOSWaitEvent(m_syncFrameEvent, static_cast<uint32_t>(waitMs - elapsedMs)) != XN_OS_OK) {
            return 0;
        }
        MutexLock lock(m_outputMutex);
        // The event outlives a set emptied by a reset; such a wake-up has nothing to deliver.
        if (m_output.inUse == 0) {
            continue;
        }
        out.frameIndex = m_output.frameIndex;
        out.hasFrameMask = 0;
        out.inUse = 1;
        for (const uint8_t bit : kCheckOrder) {
            PresenceOf(out, bit) = 0;
            if (PresenceOf(m_output, bit) == 0) {
                continue;
            }
            Frame *dst = FrameOf(out, bit);
            if (dst == nullptr) {
                TFLOG("frame kind:%u has no destination", bit);
                continue;
            }
            if (FrameOf(m_output, bit)->DeepCopyTo(*dst)) {
                PresenceOf(out, bit) = 1;
                out.hasFrameMask |= bit;
            } else if (DropCounters *counters = m_dropCounters.load()) {
                counters->CountFrame(*FrameOf(m_output, bit), DropReason::kDecodeError);
            }
        }
        RecycleSyncFrame(m_output);
        return 1;
    }
}

void Sync::SetSyncEnable(bool enable)
{
    TFLOG("isEnable:%d", enable ? 1 : 0);
    // Frames are neither kept by a switched-off synchroniser nor matched across the switch. The flag
    // changes on the side that keeps the worker from filling the emptied ring.
    if (!enable) {
        m_enable = false;
        RecycleFrame();
    } else if (!m_enable.load()) {
        RecycleFrame();
        m_enable = true;
    }
}

int Sync::FindSyncQueueIndex(uint32_t frameIndex)
{
    for (int i = m_readIndex; i != m_writeIndex; i = (i + 1) % kSlotCount) {
        if (m_ring[i].inUse != 0 && m_ring[i].frameIndex == frameIndex) {
            return i;
        }
    }
    return -1;
}

void Sync::ChangeSyncQueueIndexSeek(int index)
{
    if (index != m_writeIndex) {
        return;
    }
    m_writeIndex = (m_writeIndex + 1) % kSlotCount;
    if (m_writeIndex == m_readIndex) {
        // Six newer buffers and the oldest set still incomplete: give up on it. Its frames stay in the
        // slot until the next new buffer reuses it.
        SyncFrame &oldest = m_ring[m_readIndex];
        CountDroppedSet(oldest, IsComplete(oldest) ? DropReason::kQueueFull : DropReason::kSetIncomplete);
        m_readIndex = (m_readIndex + 1) % kSlotCount;
        ++m_abandonedSets;
    }
}

void Sync::RecycleSyncFrame(SyncFrame &set)
{
    for (const uint8_t bit : kCheckOrder) {
        Frame *frame = FrameOf(set, bit);
        if (frame != nullptr) {
            GiveBack(bit, frame);
            SetFrameOf(set, bit, nullptr);
        }
        PresenceOf(set, bit) = 0;
    }
    set.hasFrameMask = 0;
    set.inUse = 0;
}

void Sync::RecycleFrame()
{
    MutexLock lock(m_ringMutex);
    RecycleLocked();
}

void Sync::RecycleLocked()
{
    {
        MutexLock lock(m_outputMutex);
        RecycleSyncFrame(m_output);
        m_output.frameIndex = 0;
    }
    for (SyncFrame &slot : m_ring) {
        RecycleSyncFrame(slot);
        slot.frameIndex = 0;
    }
    m_readIndex = 0;
    m_writeIndex = 0;
    m_hasNewest = false;
}

void Sync::Run()
{
    while (IsRunning()) {
        RunOnce();
    }
}

void Sync::RunOnce()
{
    if (!m_enable.load()) {
        WaitForStop(kDisabledSleepMs);
        return;
    }
    if (m_recycle.exchange(false)) {
        RecycleFrame();
    }
    uint8_t mask = 0;
    if (xnOSWaitEvent(m_singleFrameEvent, std::min<uint32_t>(m_waitTimeMs.load(), kWorkerWaitSliceMs)) ==
        XN_OS_OK) {
        MutexLock lock(m_maskMutex);
        mask = m_singleFrameMask;
        m_singleFrameMask = 0;
    }
    if (mask == 0 && (!m_stream.load() || !m_frameState.load())) {
        RecycleFrame();
        return;
    }
    for (const uint8_t bit : kFileOrder) {
        if ((mask & bit) != 0) {
            DrainKind(bit);
        }
    }
    // Also after a quiet wait: a set completed by the last frames of a stream must not wait for more.
    PublishReadSlot();
}

void Sync::DrainKind(uint8_t bit)
{
    FrameQueue *queue = QueueOf(bit);
    if (queue == nullptr) {
        return;
    }
    while (queue->Size() != 0) {
        Frame *frame = queue->Pop(static_cast<FrameType>(queue->GetPool()->GetType()));
        if (frame == nullptr) {
            return;
        }
        MutexLock lock(m_ringMutex);
        FileFrame(bit, frame);
    }
}

void Sync::FileFrame(uint8_t bit, Frame *frame)
{
    if (!HasRightSize(*frame) || frame->frameIndex < m_ring[m_readIndex].frameIndex) {
        Refuse(bit, frame, !HasRightSize(*frame));
        return;
    }
    int slotIndex = m_writeIndex;
    const int newest = (m_writeIndex + kSlotCount - 1) % kSlotCount;
    if (m_hasNewest && m_ring[newest].frameIndex >= frame->frameIndex) {
        // Only a set still waiting in the ring may take it; a set already delivered or abandoned
        // must not hold a frame that nobody will ever read.
        slotIndex = FindSyncQueueIndex(frame->frameIndex);
        if (slotIndex < 0) {
            Refuse(bit, frame, false);
            return;
        }
    } else {
        RecycleSyncFrame(m_ring[slotIndex]);
    }
    SyncFrame &slot = m_ring[slotIndex];
    if (PresenceOf(slot, bit) != 0) {
        // A second frame of the same kind and index would overwrite the first and lose it.
        Refuse(bit, frame, false);
        return;
    }
    SetFrameOf(slot, bit, frame);
    PresenceOf(slot, bit) = 1;
    slot.frameIndex = frame->frameIndex;
    slot.hasFrameMask = frame->hasFrameMask;
    slot.inUse = 1;
    if (slotIndex == m_writeIndex) {
        m_hasNewest = true;
        ChangeSyncQueueIndexSeek(slotIndex);
    }
}

bool Sync::IsComplete(SyncFrame &slot)
{
    if (slot.inUse == 0) {
        return false;
    }
    for (const uint8_t bit : kCheckOrder) {
        if ((slot.hasFrameMask & bit) != 0 && PresenceOf(slot, bit) == 0) {
            return false;
        }
    }
    return true;
}

bool Sync::IsOvertaken(int index)
{
    SyncFrame &slot = m_ring[index];
    uint8_t missing = 0;
    for (const uint8_t bit : kCheckOrder) {
        if ((slot.hasFrameMask & bit) != 0 && PresenceOf(slot, bit) == 0) {
            missing |= bit;
        }
    }
    for (int i = (index + 1) % kSlotCount; missing != 0 && i != m_writeIndex; i = (i + 1) % kSlotCount) {
        for (const uint8_t bit : kCheckOrder) {
            if (PresenceOf(m_ring[i], bit) != 0) {
                missing &= static_cast<uint8_t>(~bit);
            }
        }
        if (missing == 0) {
            return true;
        }
    }
    return false;
}

void Sync::PublishReadSlot()
{
    MutexLock ringLock(m_ringMutex);
    if (!m_stream.load() || !m_frameState.load()) {
        RecycleLocked();
        return;
    }
    // A set that lost a part gives way as soon as that part has come for a newer buffer, instead of
    // holding every complete set behind it back until six newer buffers push it out.
    while (m_readIndex != m_writeIndex && !IsComplete(m_ring[m_readIndex]) && IsOvertaken(m_readIndex)) {
        CountDroppedSet(m_ring[m_readIndex], DropReason::kSetIncomplete);
        RecycleSyncFrame(m_ring[m_readIndex]);
        ++m_abandonedSets;
        m_readIndex = (m_readIndex + 1) % kSlotCount;
    }
    if (m_readIndex == m_writeIndex || !IsComplete(m_ring[m_readIndex])) {
        return;
    }
    SyncFrame &slot = m_ring[m_readIndex];
    {
        MutexLock outputLock(m_outputMutex);
        if (m_output.inUse != 0) {
            ++m_replacedSets;
            CountDroppedSet(m_output, DropReason::kQueueFull);
            RecycleSyncFrame(m_output);
        }
        m_output.frameIndex = slot.frameIndex;
        m_output.hasFrameMask = 0;
        for (const uint8_t bit : kCheckOrder) {
            SetFrameOf(m_output, bit, FrameOf(slot, bit));
            PresenceOf(m_output, bit) = PresenceOf(slot, bit);
            if (PresenceOf(slot, bit) != 0) {
                m_output.hasFrameMask |= bit;
            }
            SetFrameOf(slot, bit, nullptr);
            PresenceOf(slot, bit) = 0;
        }
        m_output.inUse = 1;
        slot.hasFrameMask = 0;
        slot.inUse = 0;
    }
    ++m_producedSets;
    const XnStatus status = xnOSSetEvent(m_syncFrameEvent);
    if (status != XN_OS_OK) {
        TFLOG("ZiduOSSetEvent failed, status: %d", status);
    }
    m_readIndex = (m_readIndex + 1) % kSlotCount;
}

uint32_t Sync::GetElementSize(const Frame &frame)
{
    switch (frame.frameType) {
    case kFrameColor:
        return 3;
    case kFrameDepth:
    case kFrameConfidence:
        return 2;
    case kFrameIr:
        if (BytesPerPixel(frame.pixelFormat) == 0) {
            TFLOG("pixelFormat:%d is invalid", static_cast<int>(frame.pixelFormat));
        }
        return BytesPerPixel(frame.pixelFormat);
    default:
        return 0;
    }
}

bool Sync::HasRightSize(const Frame &frame)
{
    const uint64_t expected = static_cast<uint64_t>(frame.width) * frame.height * GetElementSize(frame);
    return expected == frame.dataLen;
}

Frame *Sync::FrameOf(const SyncFrame &set, uint8_t bit)
{
    switch (bit) {
    case kHasDepth:
        return set.depthFrame;
    case kHasIr:
        return set.irFrame;
    case kHasConfidence:
        return set.confidenceFrame;
    default:
        return set.colorFrame;
    }
}

// The record is packed, so its pointers are set by value: a reference to one would be misaligned.
void Sync::SetFrameOf(SyncFrame &set, uint8_t bit, Frame *frame)
{
    switch (bit) {
    case kHasDepth:
        set.depthFrame = frame;
        break;
    case kHasIr:
        set.irFrame = frame;
        break;
    case kHasConfidence:
        set.confidenceFrame = frame;
        break;
    default:
        set.colorFrame = frame;
        break;
    }
}

uint8_t &Sync::PresenceOf(SyncFrame &set, uint8_t bit)
{
    switch (bit) {
    case kHasDepth:
        return set.hasDepth;
    case kHasIr:
        return set.hasIr;
    case kHasConfidence:
        return set.hasConfidence;
    default:
        return set.hasColor;
    }
}

FrameQueue *Sync::QueueOf(uint8_t bit) const
{
    switch (bit) {
    case kHasDepth:
        return m_depthQueue;
    case kHasIr:
        return m_irQueue;
    case kHasConfidence:
        return m_confidenceQueue;
    case kHasColor:
        return m_colorQueue;
    default:
        return nullptr;
    }
}

void Sync::Refuse(uint8_t bit, Frame *frame, bool wrongSize)
{
    ++m_rejectedFrames;
    if (DropCounters *counters = m_dropCounters.load()) {
        DropReason reason = DropReason::kSetIncomplete;
        if (wrongSize) {
            reason = DropReason::kDecodeError;
        } else if (bit == kHasColor) {
            reason = DropReason::kColorLate;
        }
        counters->CountFrame(*frame, reason);
    }
    GiveBack(bit, frame);
}

void Sync::CountDroppedSet(SyncFrame &set, DropReason reason)
{
    DropCounters *counters = m_dropCounters.load();
    if (counters == nullptr) {
        return;
    }
    uint8_t parts = 0;
    for (const uint8_t bit : kCheckOrder) {
        if (PresenceOf(set, bit) != 0) {
            parts |= bit;
        }
    }
    counters->CountSet(parts, reason);
}

void Sync::GiveBack(uint8_t bit, Frame *frame)
{
    FrameQueue *queue = QueueOf(bit);
    if (queue != nullptr) {
        queue->RecycleFrame(frame);
    }
}
