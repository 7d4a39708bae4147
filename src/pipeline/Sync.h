// SPDX-License-Identifier: Apache-2.0
// Sync: the worker that pairs the depth, IR, confidence and colour frames of one camera buffer into a set,
// and carries the decoders' single-frame-ready notification to unsynchronised delivery.
#pragma once

#include "runtime/Mutex.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "pipeline/DropCounters.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/SyncFrame.h"
#include "runtime/StoppableThread.h"
#include "runtime/XnOS.h"

/// Frames are matched by frameIndex; a set is complete when every part its buffer announced in
/// hasFrameMask has arrived. Every frame taken from a source queue goes back to that queue's pool: when
/// it is refused, when its set is abandoned or replaced, after a consumer copied it, or on Recycle.
///
/// Threads: the decoders call SetSingleFrameReady; the worker fills the ring; one consumer calls
/// GetSyncFrame (synchronised delivery) or GetSingleFrameReady (unsynchronised), never both, as the
/// enable flag selects. Lock order: ring mutex, then output mutex, then a queue's mutex.
class Sync : public StoppableThread
{
public:
    static constexpr int kSlotCount = 6;
    static constexpr uint16_t kDefaultWaitTimeMs = 350;

    /// The queues belong to the decoders and must outlive this object; any may be null when its stream
    /// is off. Types: depth 0, IR 1, confidence 8, colour 3.
    Sync(FrameQueue *depthQueue, FrameQueue *irQueue, FrameQueue *confidenceQueue, FrameQueue *colorQueue);
    ~Sync() override;

    /// Records the camera's serial number for the log. Returns 0, or -1 when the events are missing.
    int Init(const char *serialNumber);

    /// Producer side: adds HasFrameType bits to the mask and wakes the waiter.
    void SetSingleFrameReady(uint8_t bits);
    /// Waits up to the wait time for a notification; returns the accumulated mask and clears it, 0 on
    /// time-out.
    uint8_t GetSingleFrameReady();

    /// Waits up to the wait time for a set. On success copies frameIndex, deep-copies every present frame
    /// into the frame `out` points at for its kind (a null or too small destination is left out and
    /// logged), sets out's presence flags and mask to what was copied, gives the set's frames back and
    /// returns 1. Returns 0 on time-out.
    int GetSyncFrame(SyncFrame &out);

    /// Switching either way empties the ring and the output set: a switched-off synchroniser keeps no
    /// frames, and none are matched across the switch.
    void SetSyncEnable(bool enable);
    bool GetSyncEnable() const { return m_enable.load(); }
    void SetWaitTime(uint16_t waitTimeMs) { m_waitTimeMs = waitTimeMs; }
    void SetStream(bool on) { m_stream = on; }
    void SetFrameState(bool on) { m_frameState = on; }
    void SetRecycle(bool on) { m_recycle = on; }
    /// Where refused frames and dropped sets are counted (null: nowhere); the counters outlive this object.
    void SetDropCounters(DropCounters *counters) { m_dropCounters.store(counters); }

    /// Gives the frames of a set back to their queues and clears it.
    void RecycleSyncFrame(SyncFrame &set);
    /// Empties the output set and all six slots and resets both indices.
    void RecycleFrame();

    /// One pass of the worker loop; the thread repeats it, tests drive it directly.
    void RunOnce();

    /// Frames given back on arrival: wrong size, stale index, no matching set, or a duplicate part.
    uint64_t GetRejectedFrameCount() const { return m_rejectedFrames.load(); }
    /// Sets pushed out of the ring unfinished by six newer buffers.
    uint64_t GetAbandonedSetCount() const { return m_abandonedSets.load(); }
    /// Complete sets that replaced an output set nobody took.
    uint64_t GetReplacedSetCount() const { return m_replacedSets.load(); }
    uint64_t GetProducedSetCount() const { return m_producedSets.load(); }

protected:
    void Run() override;

private:
    static uint32_t GetElementSize(const Frame &frame);
    static bool HasRightSize(const Frame &frame);
    static Frame *FrameOf(const SyncFrame &set, uint8_t bit);
    static void SetFrameOf(SyncFrame &set, uint8_t bit, Frame *frame);
    static uint8_t &PresenceOf(SyncFrame &set, uint8_t bit);
    FrameQueue *QueueOf(uint8_t bit) const;
    void GiveBack(uint8_t bit, Frame *frame);
    /// Counts and gives back a frame refused on arrival: a wrong size is a decode error, any other refusal
    /// means its set is gone (late colour) or cannot take it.
    void Refuse(uint8_t bit, Frame *frame, bool wrongSize);
    /// Counts the parts present in a set that is dropped.
    void CountDroppedSet(SyncFrame &set, DropReason reason);
    void DrainKind(uint8_t bit);
    // The ring operations below need m_ringMutex.
    void FileFrame(uint8_t bit, Frame *frame) REQUIRES(m_ringMutex);
    /// The ring slot holding a set still waiting for parts or delivery with this frame index, or -1.
    int FindSyncQueueIndex(uint32_t frameIndex) REQUIRES(m_ringMutex);
    /// Advances the write index past `index` when it is the write slot, abandoning the oldest set when
    /// the ring is then full.
    void ChangeSyncQueueIndexSeek(int index) REQUIRES(m_ringMutex);
    static bool IsComplete(SyncFrame &slot);
    /// True when every part the slot still lacks has already arrived for a newer buffer: each kind comes
    /// in buffer order, so the slot can never complete.
    bool IsOvertaken(int index) REQUIRES(m_ringMutex);
    void PublishReadSlot() EXCLUDES(m_ringMutex);
    void RecycleLocked() REQUIRES(m_ringMutex);

    FrameQueue *m_depthQueue;      // owned by the ToF decoder; may be null
    FrameQueue *m_irQueue;         // owned by the ToF decoder; may be null
    FrameQueue *m_confidenceQueue; // owned by the ToF decoder; may be null
    FrameQueue *m_colorQueue;      // owned by the colour decoder; may be null

    Mutex m_ringMutex; // the worker holds it while filing; SetSyncEnable while emptying
    std::array<SyncFrame, kSlotCount> m_ring GUARDED_BY(m_ringMutex){};
    int m_readIndex GUARDED_BY(m_ringMutex) = 0;
    int m_writeIndex GUARDED_BY(m_ringMutex) = 0;
    bool m_hasNewest GUARDED_BY(m_ringMutex) = false; // a set was opened since the last reset

    Mutex m_outputMutex;
    SyncFrame m_output GUARDED_BY(m_outputMutex){}; // inUse while a set waits for its consumer

    Mutex m_maskMutex;
    uint8_t m_singleFrameMask GUARDED_BY(m_maskMutex) = 0;

    // Auto-reset; created with the object so a worker never spins on a missing event.
    XN_EVENT_HANDLE m_singleFrameEvent = nullptr;
    XN_EVENT_HANDLE m_syncFrameEvent = nullptr;

    std::string m_serialNumber;
    std::atomic<bool> m_enable{true};
    std::atomic<bool> m_stream{true};
    std::atomic<bool> m_frameState{true};
    std::atomic<bool> m_recycle{false};
    std::atomic<uint16_t> m_waitTimeMs{kDefaultWaitTimeMs};

    std::atomic<DropCounters *> m_dropCounters{nullptr}; // owned by the pipeline
    std::atomic<uint64_t> m_rejectedFrames{0};
    std::atomic<uint64_t> m_abandonedSets{0};
    std::atomic<uint64_t> m_replacedSets{0};
    std::atomic<uint64_t> m_producedSets{0};
};
