// SPDX-License-Identifier: Apache-2.0
// ImageProc, the stream hub of a camera session: receives stream buffers, splits them into raw ToF and
// colour frames, and keeps the status record and calibration block the camera embeds.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Orvane_api.h"
#include "pipeline/DepthRanges.h"
#include "pipeline/DeviceStatus.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/RgbDecode.h"
#include "pipeline/StreamSource.h"
#include "pipeline/Sync.h"
#include "pipeline/TofDecode.h"
#include "refine/APIDepthRefine.h"
#include "runtime/StoppableThread.h"

/// Serialises depth/colour mapping with lens changes across every camera of the process: the session
/// holds it while it changes a lens, the delivery while it maps a set.
extern std::mutex g_MutexSetLens;

/// What the session knows once the camera's initial parameters are in, for ImageProc::Init.
struct PipelineInitParams
{
    short colorRotateType = -1;
    FrameMode colorMode{640, 480, 25};
    std::vector<MeasuringRange> measuringRanges;
    FrameMode depthMode{640, 480, 25};
    FrameMode irMode{640, 480, 25};
    RefineCameraParams cameraParams{}; ///< the session's calibration, for the refine library
    std::string configDir = "./Config/";
    uint32_t dataMode = 0;
    std::string serialNumber; ///< at most 63 characters are kept
};

class ImageProc;

/// The thread that runs the collections for a registered notification function, one pass after another.
class Callback : public StoppableThread
{
public:
    explicit Callback(ImageProc *hub) : StoppableThread("Callback"), m_hub(hub) {}
    ~Callback() override;
    /// Sleeps up to pauseMs, less when the thread is being stopped.
    void Pause(unsigned pauseMs) { WaitForStop(pauseMs); }

protected:
    void Run() override;

private:
    ImageProc *m_hub;
};

/// Counters of the hub, for statistics and tests. Every count is since the hub was built, except
/// consecutiveFailedReads, which a successful read resets.
struct HubCounters
{
    uint64_t buffersRead = 0; ///< buffers handed to ProcessData by the thread
    uint64_t failedReads = 0; ///< reads that failed or yielded no buffer
    uint32_t consecutiveFailedReads = 0;
    uint64_t buffersParsed = 0;    ///< buffers given to ProcessData that reached the commit
    uint64_t malformedBuffers = 0; ///< buffers whose parsing stopped at a bad sub-packet
    uint64_t rejectedBlocks = 0;   ///< image sub-packets that did not fit their raw frame
    uint64_t committedTof = 0;     ///< raw ToF frames pushed
    uint64_t committedColor = 0;   ///< raw colour frames pushed
    uint64_t discardedBuffers = 0; ///< buffers thrown away by the discard count
    uint64_t droppedNoFrame = 0;   ///< buffers dropped because a raw frame was missing
};

class ImageProc : public StoppableThread
{
public:
    /// The largest stream buffer the data connection delivers.
    static constexpr uint32_t kReceiveBufferBytes = 8696254;
    /// Buffers with image data before the first raw frame is handed on.
    static constexpr uint32_t kFirstCommittedFrame = 5;
    /// Buffers thrown away after the frame-state flag was off.
    static constexpr int kDiscardAfterFrameState = 3;
    static constexpr uint32_t kRawQueueCapacity = 2;
    static constexpr uint32_t kRawPoolFrames = 5;
    static constexpr unsigned kRetryPauseMs = 10;
    static constexpr int kRawDumpBuffers = 3;

    /// Output slot payload sizes.
    static constexpr uint32_t kColorSlotBytes = 6220800;
    static constexpr uint32_t kImageSlotBytes = 4147200;
    static constexpr uint32_t kMappedColorBytes = 921600;
    static constexpr uint32_t kMappedIr8Bytes = 2073600;
    /// PrepareNextFrame in callback mode answers -1 until this many reads in a row failed, then -255.
    static constexpr uint32_t kCallbackModeFailedReads = 301;
    /// GetStreamStatus reports a connected stream until more reads than this failed in a row.
    static constexpr uint32_t kStreamLostFailedReads = 300;
    /// How long the callback thread pauses while no function is registered.
    static constexpr unsigned kCallbackIdlePauseMs = 20;

    /// `source` is the owning session; it outlives the hub. Builds the colour decoder and the callback
    /// thread object; the ToF decoder and the synchroniser come with Init (they need the configuration).
    explicit ImageProc(StreamSource *source);
    /// The same with a given refine library (may be null) instead of the process-wide one.
    ImageProc(StreamSource *source, APIDepthRefine *refine);
    ~ImageProc() override;

    // ---- Pipeline lifecycle ----
    /// Configures and starts the decoders and the synchroniser. A second call reconfigures the running
    /// workers. Returns 0.
    int Init(const PipelineInitParams &params);
    /// Stops the callback thread, the synchroniser, both decoders and the hub thread, then joins them in
    /// the same order.
    void Close();

    // ---- Delivery ----
    /// Collects the next frames into the output slots; 0, or -1 (stream or frame state off, callback
    /// mode), -2 (not connected), -11 (nothing within the wait time), -255 (callback mode with the stream
    /// lost) or the camera's device error code.
    int PrepareNextFrame(FrameReady *ready);
    /// Hands out a prepared slot (no payload copy): 0, -4 (not ready, invalid type, or a mapped type
    /// whose transform is off), -5 (null frame).
    int GetFrame(FrameType type, Frame *frame);
    static void Frame2TfFrame(TfFrame &out, const Frame *frame);
    /// Stores a non-null function and starts the callback thread: 1, or 0 for null.
    int RegisterNotify(TfFrameNotifyCallback callback);
    /// Removes the function; once this returns the function is not called again (unless called from
    /// inside it, when the running call finishes first) and polling works again. Returns 0.
    int UnRegisterNotify();
    bool HasNotify() const { return m_notify.load() != nullptr; }
    /// One pass of the callback thread.
    void CallbackFn();

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
    /// 0 a quarter turn clockwise, 1 a half turn, 2 a quarter turn counter-clockwise; -255 (never set) or
    /// any other value: none.
    void SetImageRotation(int rotation) { m_rotation.store(rotation); }
    int GetImageMirror() const { return m_mirror.load(); }
    int GetImageRotation() const { return m_rotation.load(); }
    /// Mapped IR pixel format: only frame type 1 with pixel format 1 (16-bit) or 2 (8-bit).
    void setFramePixelFormat(int frameType, int pixelFormat);
    void SetColorPixelFormat(PixelFormat format);
    PixelFormat GetColorPixelFormat() const;
    void SetIRPixelFormat(PixelFormat format);
    /// Depth and IR to the ToF decoder, colour to the colour decoder (and its intrinsics to the library).
    void SetFrameMode(FrameType type, const FrameMode &mode);
    /// The session's colour intrinsics (row-major 3x3), scaled per colour mode for the library.
    void SetColorIntrinsic(const double *intrinsic9);
    int SetPreProcRgbIntrinsic();
    void SetWaitTime(uint16_t waitTimeMs);
    uint16_t GetWaitTime() const { return m_waitTimeMs.load(); }
    void SetRecycle(bool on);
    int GetStreamStatus() const;
    /// -1 without library, else the library's answer.
    int GetOnlyTimeFilterDepth(Frame *frame);
    int GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize, TfVector2u16 *colorPoint);
    /// Producer side: forwards the decoders' single-frame-ready bits to the synchroniser.
    void SetSingleFrameReady(uint8_t bits);

    RgbDecode *GetRgbDecode() { return m_rgbDecode.get(); }
    Sync *GetSync() { return m_sync.get(); }
    APIDepthRefine *GetRefine() { return m_refine; }

    /// Parses one stream buffer; a null `buffer` means the hub's own receive buffer.
    void ProcessData(uint32_t length, uint8_t *buffer);

    /// Stores the calibration block once; 0, or -1 for a null pointer or a length under 5.
    int DecodeDeviceInitParams(const uint8_t *data, int length);
    /// Copies the stored calibration block out when one was received (true); else leaves `params` as is.
    bool GetDeviceInitParams(InitCameraParams &params) const;
    DeviceStatus *GetDeviceStatus();

    void SetConnectStatus(bool connected);
    /// 0, or -1 for a stream kind above 5.
    int SetStreamEnable(StreamType type, bool enabled);
    /// The flag (0 or 1), or -1 for a stream kind above 5.
    int GetStreamEnable(StreamType type) const;
    void SetSaveRawBufferEnabled(bool enabled);
    bool GetSaveRawBufferEnabled() const { return m_saveRawBuffer.load(); }
    /// Also forwarded to both decoders and the synchroniser.
    void SetStream(bool on);
    void SetFrameState(bool on);

    /// Producer side used by the decoders: 0, or -1 when nothing came within the wait time.
    int GetTofRawData(Frame **frame);
    int GetRGBRawData(Frame **frame);
    void RecycleRawTofFrame(Frame *frame);
    void RecycleRawColorFrame(Frame *frame);
    FrameQueue *GetRawTofQueue() { return m_rawTofQueue.get(); }
    /// Creates and starts the ToF decoder over the raw ToF queue, with the refine library (which may be
    /// null) and the tables of `configDir`. A second call changes nothing. Returns 0.
    int StartTofDecoder(const std::string &configDir = "./Config/");
    /// Stops and frees the ToF decoder (before the queues it reads go away).
    void StopTofDecoder();
    /// The running ToF decoder, or null.
    TofDecode *GetTofDecode() { return m_tofDecode.get(); }
    FrameQueue *GetRawColorQueue() { return m_rawColorQueue.get(); }

    /// The last device error code the camera reported (0: none).
    int32_t GetDeviceErrorCode() const { return m_deviceErrorCode.load(); }
    /// The last JSON configuration result: status value, success flag, error code.
    uint8_t GetJsonStatus() const { return m_jsonStatus.load(); }
    uint8_t GetJsonSuccess() const { return m_jsonSuccess.load(); }
    uint8_t GetJsonErrorCode() const { return m_jsonErrorCode.load(); }
    uint32_t GetFrameCounter() const { return m_frameCounter; }
    HubCounters GetCounters() const;

protected:
    void Run() override;

private:
    enum class Outcome
    {
        Clean,   ///< every byte parsed
        Stopped, ///< parsing ended at a bad or unknown sub-packet
    };

    Outcome ParseSubPackets(const uint8_t *data, uint32_t length);
    /// Applies one sub-packet whose length fits the buffer; false ends the buffer.
    bool ApplySubPacket(uint8_t typeId, const uint8_t *packet, uint32_t dataLength, uint8_t unUsed);
    bool AppendTof(const uint8_t *packet, uint32_t dataLength, uint8_t bits);
    bool CopyColor(const uint8_t *packet, uint32_t dataLength);
    void StoreDeviceStatus(const uint8_t *payload, uint16_t payloadLength);
    void StoreJsonResult(const uint8_t *payload, uint32_t payloadLength);
    void DumpRaw(const uint8_t *payload, uint32_t payloadLength, int rangeOrMinus1);
    void Commit();
    static void ClearFrame(Frame *frame);
    bool IsEnabled(StreamType type) const { return m_streamEnable[type].load(); }
    void LogInitParams() const;

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
    void EnsureTofDecoder(const std::string &configDir);
    void EnsureSync();
    int SyncCollect();
    int UnsyncCollect();
    /// Maps the prepared set; returns the ready bits of the mapped slots produced.
    uint8_t ProcMapFrame(const SyncFrame &set);
    /// Fills a mapped slot from a library output: pixel format and frame index from `imageOf`, IMU number,
    /// exposure, mask and in-use flag from `restOf`.
    void StoreMapped(Slot slot, FrameType type, const uint8_t *image, const AlgImage &out,
                     uint32_t bytesPerPixel, const Frame &imageOf, const Frame &restOf, uint32_t depthRange);
    void DoMirror(Frame &frame, ALG_ElemType elemType);
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

    APIDepthRefine *m_refine = nullptr; // the process-wide library; may be null
    std::atomic<TfFrameNotifyCallback> m_notify{nullptr};
    std::mutex m_notifyMutex; // held while the function runs; UnRegisterNotify waits on it
    // One collection at a time: the slots have one writer. Recursive so a notification function that
    // unregisters itself and then polls does not deadlock.
    std::recursive_mutex m_collectMutex;
    // A set the callback thread collected after its function was unregistered, kept for the next poll.
    std::atomic<bool> m_pendingSet{false};
    std::atomic<std::thread::id> m_notifyThread{};
    bool m_loggedNoCallback = false; // touched only by the callback thread
    std::atomic<bool> m_synchronize{true};
    std::atomic<bool> m_colorToDepth{false};
    std::atomic<bool> m_depthToColor{false};
    std::atomic<bool> m_irToColor{false};
    std::atomic<int> m_mirror{-255};
    std::atomic<int> m_rotation{-255};
    std::atomic<int> m_mappedIrFormat{kPixelGray16};
    std::atomic<uint16_t> m_waitTimeMs{FrameQueue::kDefaultWaitTimeMs};
    std::atomic<int32_t> m_irPixelFormat{kPixelRaw}; // kPixelRaw: the ToF decoder's default
    std::mutex m_intrinsicMutex;
    std::array<double, 9> m_colorIntrinsic{}; // guarded by m_intrinsicMutex
    bool m_hasColorIntrinsic = false;         // guarded by m_intrinsicMutex

    StreamSource *m_source; // the owning session
    std::vector<uint8_t> m_receiveBuffer;
    std::unique_ptr<FrameQueue> m_rawTofQueue;
    std::unique_ptr<FrameQueue> m_rawColorQueue;
    // Declared after the raw queues: destroyed first, so they never read a queue that is gone.
    std::unique_ptr<TofDecode> m_tofDecode;
    std::unique_ptr<RgbDecode> m_rgbDecode;
    // Reads the decoders' queues: destroyed before them. The raw pointer serves the decoders' threads,
    // which may notify while Init builds the synchroniser.
    std::unique_ptr<Sync> m_sync;
    std::atomic<Sync *> m_syncForProducers{nullptr};
    // Runs the collections over everything above: destroyed first.
    std::unique_ptr<Callback> m_callback;
    // Touched only by the thread that runs ProcessData.
    Frame *m_rawTof = nullptr;
    Frame *m_rawColor = nullptr;
    uint32_t m_tofBytes = 0;
    uint8_t m_hasFrameType = 0;
    uint64_t m_timestamp = 0;
    uint8_t m_imuFrameNo = 0;
    uint32_t m_frameCounter = 0;
    int m_discardCount = 0;

    std::atomic<bool> m_streamEnable[6];
    std::atomic<bool> m_connect{true};
    std::atomic<bool> m_streamOn{true};
    std::atomic<bool> m_frameState{true};
    std::atomic<bool> m_saveRawBuffer{false};
    std::atomic<int> m_dumpedBuffers{0};
    // Written once by the hub thread before the flag is set; read after it.
    std::atomic<bool> m_bReceiveInitCameraParams{false};
    bool m_bufferCarriedStatus = false; // hub thread only: the buffer being parsed had a status record
    alignas(8) InitCameraParams m_initParams{};
    std::atomic<int32_t> m_deviceErrorCode{0};
    std::atomic<uint8_t> m_jsonStatus{0};
    std::atomic<uint8_t> m_jsonSuccess{0};
    std::atomic<uint8_t> m_jsonErrorCode{0};

    std::atomic<uint64_t> m_buffersRead{0};
    std::atomic<uint64_t> m_failedReads{0};
    std::atomic<uint32_t> m_consecutiveFailedReads{0};
    std::atomic<uint64_t> m_buffersParsed{0};
    std::atomic<uint64_t> m_malformedBuffers{0};
    std::atomic<uint64_t> m_rejectedBlocks{0};
    std::atomic<uint64_t> m_committedTof{0};
    std::atomic<uint64_t> m_committedColor{0};
    std::atomic<uint64_t> m_discardedBuffers{0};
    std::atomic<uint64_t> m_droppedNoFrame{0};
};
