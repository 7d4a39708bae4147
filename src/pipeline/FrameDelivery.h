// SPDX-License-Identifier: Apache-2.0
// FrameDelivery: the output side of the pipeline. It collects decoded frames into its output slots (as
// paired sets or one by one), maps them between the cameras, mirrors and rotates them, and runs the
// thread that hands them to a registered notification function.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "Orvane_api.h"
#include "pipeline/DropCounters.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/Sync.h"
#include "pipeline/SyncFrame.h"
#include "refine/APIDepthRefine.h"
#include "runtime/StoppableThread.h"

/// Serialises depth/colour mapping with lens changes across every camera of the process: the session
/// holds it while it changes a lens, the delivery while it maps a set.
extern std::mutex g_MutexSetLens;

/// What the delivery collects from: the synchroniser and the decoders' output queues. They belong to the
/// pipeline that owns the delivery; a null synchroniser means there is nothing to collect yet.
struct DeliverySources
{
    Sync *sync = nullptr;
    FrameQueue *depth = nullptr;
    FrameQueue *ir = nullptr;
    FrameQueue *confidence = nullptr;
    FrameQueue *color = nullptr;
};

/// The thread of this class runs the collections for a registered notification function, one pass after
/// another; without one, the application polls with PrepareNextFrame and GetFrame.
class FrameDelivery : public StoppableThread
{
public:
    /// Output slot payload sizes.
    static constexpr uint32_t kColorSlotBytes = 6220800;
    static constexpr uint32_t kImageSlotBytes = 4147200;
    static constexpr uint32_t kMappedColorBytes = 921600;
    static constexpr uint32_t kMappedIr8Bytes = 2073600;
    /// How long the callback thread pauses while no function is registered.
    static constexpr unsigned kCallbackIdlePauseMs = 20;
    /// Mirror and rotation before they are set: neither is applied.
    static constexpr int kNotSet = -255;

    /// `refine` is the process-wide library and may be null (no mapping, mirroring or rotation).
    explicit FrameDelivery(APIDepthRefine *refine);
    ~FrameDelivery() override;

    /// Points the collections at the synchroniser and the decoders' queues, or (null synchroniser) at
    /// nothing. Called by the owner while the callback thread is stopped or before a collection can start.
    void SetSources(const DeliverySources &sources);
    /// Where frames handed to the application, and frames refused on the way, are counted (null:
    /// nowhere); the counters outlive the delivery.
    void SetDropCounters(DropCounters *counters) { m_dropCounters.store(counters); }

    /// Collects the next frames into the output slots: 0, -1 (stream or frame state off) or -11 (nothing
    /// within the wait time). `ready` (may be null) receives the slots now ready.
    int PrepareNextFrame(FrameReady *ready);
    /// Hands out a prepared slot (no payload copy): 0, -4 (not ready, invalid type, or a mapped type
    /// whose transform is off), -5 (null frame).
    int GetFrame(FrameType type, Frame *frame);
    /// Stores a non-null function and starts the callback thread: 1, or 0 for null.
    int RegisterNotify(TfFrameNotifyCallback callback);
    /// Removes the function; once this returns the function is not called again (unless called from
    /// inside it, when the running call finishes first) and polling works again. Returns 0.
    int UnRegisterNotify();
    bool HasNotify() const { return m_notify.load() != nullptr; }
    /// One pass of the callback thread.
    void CallbackFn();

    /// The delivery's own switches: with either off, a collection answers -1 at once.
    void SetStream(bool on) { m_streamOn.store(on); }
    void SetFrameState(bool on) { m_frameState.store(on); }
    /// Paired sets (true) or single frames as they come (false).
    void SetSynchronizeEnabled(bool enabled);
    bool GetSynchronizeEnabled() const { return m_synchronize.load(); }
    /// -255 without the refine library, else 0.
    int SetTransformColorImgToDepthCameraEnabled(bool enabled);
    int SetTransformDepthImgToColorCameraEnabled(bool enabled);
    int SetTransformIRImgToColorCameraEnabled(bool enabled);
    bool IsTransformColorImgToDepthCameraEnabled() const { return m_colorToDepth.load(); }
    bool IsTransformDepthImgToColorCameraEnabled() const { return m_depthToColor.load(); }
    bool IsTransformIRImgToColorCameraEnabled() const { return m_irToColor.load(); }
    /// 1 left-right, 2 upside down, 3 both; anything else: no mirroring.
    void SetImageMirror(int mirror) { m_mirror.store(mirror); }
    /// 0 a quarter turn clockwise, 1 a half turn, 2 a quarter turn counter-clockwise; kNotSet or any other
    /// value: none.
    void SetImageRotation(int rotation) { m_rotation.store(rotation); }
    int GetImageMirror() const { return m_mirror.load(); }
    int GetImageRotation() const { return m_rotation.load(); }
    /// Mapped IR pixel format: only frame type 1 with pixel format 1 (16-bit) or 2 (8-bit).
    void SetFramePixelFormat(int frameType, int pixelFormat);
    /// -1 without library, else the library's answer.
    int GetOnlyTimeFilterDepth(Frame *frame);
    int GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize, TfVector2u16 *colorPoint);
    /// The turn, then the mirror, that delivery applied in place to a delivered image (kNotSet: none),
    /// so that its pixels can be traced back to the image it was made from.
    struct AppliedTransform
    {
        int rotation = kNotSet; ///< as SetImageRotation
        int mirror = kNotSet;   ///< as SetImageMirror
    };
    /// What was applied to the delivered frame with this pixel data and index. False when `data` is not
    /// a delivered image's (a copy the application made); a slot filled again since gives none applied.
    bool GetAppliedTransform(const void *data, uint32_t frameIndex, AppliedTransform &applied) const;

protected:
    void Run() override;

private:
    /// Output slots, in CallbackFrames order of kinds.
    enum Slot : int
    {
        kSlotColor,
        kSlotDepth,
        kSlotIr,
        kSlotConfidence,
        kSlotColorMapped,
        kSlotDepthMapped,
        kSlotIrMapped,
        kSlotTimeFilter,
        kSlotCount
    };
    void InitBuf();
    static int SlotOfType(FrameType type);
    int SyncCollect();
    int UnsyncCollect();
    /// Maps the prepared set; returns the ready bits of the mapped slots produced.
    uint8_t ProcMapFrame(const SyncFrame &set);
    /// Fills a mapped slot from a library output: pixel format and frame index from `imageOf`, IMU number,
    /// exposure, mask and in-use flag from `restOf`.
    void StoreMapped(Slot slot, FrameType type, const uint8_t *image, const AlgImage &out,
                     uint32_t bytesPerPixel, const Frame &imageOf, const Frame &restOf, uint32_t depthRange);
    void DoMirror(Frame &frame, ALG_ElemType elemType);
    void RecordApplied(const Frame &frame, AppliedTransform applied);
    void ClearReady();
    void FillReady(FrameReady *ready) const;
    /// Calls `callback` with m_callbackFrames; the caller holds m_notifyMutex, which UnRegisterNotify
    /// waits on.
    void Notify(TfFrameNotifyCallback callback);

    std::array<Frame, kSlotCount> m_slots{};
    std::array<std::unique_ptr<uint8_t[]>, kSlotCount> m_slotBuffers;
    std::array<std::atomic<bool>, kSlotCount> m_slotReady{};
    std::unique_ptr<uint8_t[]> m_mappedColorOut;
    std::unique_ptr<uint8_t[]> m_mappedDepthOut;
    std::unique_ptr<uint8_t[]> m_mappedIrOut;
    CallbackFrames m_callbackFrames{};

    APIDepthRefine *m_refine; // the process-wide library; may be null
    // The queues below are written before the synchroniser is published and read only after it was seen.
    std::atomic<Sync *> m_sync{nullptr};
    FrameQueue *m_depthQueue = nullptr;
    FrameQueue *m_irQueue = nullptr;
    FrameQueue *m_confidenceQueue = nullptr;
    FrameQueue *m_colorQueue = nullptr;

    std::atomic<DropCounters *> m_dropCounters{nullptr}; // owned by the pipeline
    std::atomic<TfFrameNotifyCallback> m_notify{nullptr};
    std::mutex m_notifyMutex; // held while the function runs; UnRegisterNotify waits on it
    // One collection at a time: the slots have one writer. Recursive so a notification function that
    // unregisters itself and then polls does not deadlock.
    std::recursive_mutex m_collectMutex;
    // A set the callback thread collected after its function was unregistered, kept for the next poll.
    std::atomic<bool> m_pendingSet{false};
    std::atomic<std::thread::id> m_notifyThread{};
    bool m_loggedNoCallback = false; // touched only by the callback thread
    std::atomic<bool> m_streamOn{true};
    std::atomic<bool> m_frameState{true};
    std::atomic<bool> m_synchronize{true};
    std::atomic<bool> m_colorToDepth{false};
    std::atomic<bool> m_depthToColor{false};
    std::atomic<bool> m_irToColor{false};
    std::atomic<int> m_mirror{kNotSet};
    std::atomic<int> m_rotation{kNotSet};
    std::atomic<int> m_mappedIrFormat{kPixelGray16};
    struct AppliedRecord
    {
        const void *data = nullptr;
        uint32_t frameIndex = 0;
        AppliedTransform applied;
    };
    mutable std::mutex m_appliedMutex;
    std::array<AppliedRecord, kSlotCount> m_applied{}; // guarded by m_appliedMutex; by slot
};
