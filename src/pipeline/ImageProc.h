// SPDX-License-Identifier: Apache-2.0
// ImageProc, the frame pipeline of a camera session: it owns the stream hub, the ToF and colour decoders,
// the synchroniser and the frame delivery, builds and wires them, and is the session's one way to them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Orvane_api.h"
#include "pipeline/DepthRanges.h"
#include "pipeline/DeviceStatus.h"
#include "pipeline/DropCounters.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameDelivery.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/RgbDecode.h"
#include "pipeline/StreamHub.h"
#include "pipeline/StreamSource.h"
#include "pipeline/Sync.h"
#include "pipeline/TofDecode.h"
#include "refine/APIDepthRefine.h"

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

/// The hub's receive thread is the pipeline's thread: Start, Stop, Join and IsRunning act on it. The
/// decoders, the synchroniser and the delivery's callback thread are started by Init and RegisterNotify.
class ImageProc
{
public:
    static constexpr uint32_t kReceiveBufferBytes = StreamHub::kReceiveBufferBytes;
    static constexpr uint32_t kFirstCommittedFrame = StreamHub::kFirstCommittedFrame;
    static constexpr uint32_t kRawPoolFrames = StreamHub::kRawPoolFrames;
    /// PrepareNextFrame in callback mode answers -1 until this many reads in a row failed, then -255.
    static constexpr uint32_t kCallbackModeFailedReads = 301;

    /// `source` is the owning session; it outlives the pipeline. Builds the hub, the colour decoder and
    /// the delivery; the ToF decoder and the synchroniser come with Init (they need the configuration).
    explicit ImageProc(StreamSource *source);
    /// The same with a refine library object the caller owns (may be null) instead of one of its own.
    ImageProc(StreamSource *source, APIDepthRefine *refine);
    ~ImageProc();
    ImageProc(const ImageProc &) = delete;
    ImageProc &operator=(const ImageProc &) = delete;

    // ---- Pipeline lifecycle ----
    /// Starts the hub's receive thread (see StoppableThread::Start).
    int Start() { return m_hub->Start(); }
    void Stop() { m_hub->Stop(); }
    void Join() { m_hub->Join(); }
    bool IsRunning() const { return m_hub->IsRunning(); }
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
    int GetFrame(FrameType type, Frame *frame) { return m_delivery->GetFrame(type, frame); }
    /// Stores a non-null function and starts the callback thread: 1, or 0 for null.
    int RegisterNotify(TfFrameNotifyCallback callback) { return m_delivery->RegisterNotify(callback); }
    /// Removes the function; once this returns the function is not called again (unless called from
    /// inside it, when the running call finishes first) and polling works again. Returns 0.
    int UnRegisterNotify() { return m_delivery->UnRegisterNotify(); }
    bool HasNotify() const { return m_delivery->HasNotify(); }
    /// One pass of the callback thread.
    void CallbackFn() { m_delivery->CallbackFn(); }

    void SetSynchronizeEnabled(bool enabled);
    bool GetSynchronizeEnabled() const { return m_delivery->GetSynchronizeEnabled(); }
    /// -255 without the refine library, else 0.
    int SetTransformColorImgToDepthCameraEnabled(bool enabled)
    {
        return m_delivery->SetTransformColorImgToDepthCameraEnabled(enabled);
    }
    int SetTransformDepthImgToColorCameraEnabled(bool enabled)
    {
        return m_delivery->SetTransformDepthImgToColorCameraEnabled(enabled);
    }
    int SetTransformIRImgToColorCameraEnabled(bool enabled)
    {
        return m_delivery->SetTransformIRImgToColorCameraEnabled(enabled);
    }
    bool IsTransformColorImgToDepthCameraEnabled() const
    {
        return m_delivery->IsTransformColorImgToDepthCameraEnabled();
    }
    bool IsTransformDepthImgToColorCameraEnabled() const
    {
        return m_delivery->IsTransformDepthImgToColorCameraEnabled();
    }
    bool IsTransformIRImgToColorCameraEnabled() const
    {
        return m_delivery->IsTransformIRImgToColorCameraEnabled();
    }
    /// 1 left-right, 2 upside down, 3 both; anything else: no mirroring.
    void SetImageMirror(int mirror) { m_delivery->SetImageMirror(mirror); }
    /// 0 a quarter turn clockwise, 1 a half turn, 2 a quarter turn counter-clockwise; -255 (never set) or
    /// any other value: none.
    void SetImageRotation(int rotation) { m_delivery->SetImageRotation(rotation); }
    int GetImageMirror() const { return m_delivery->GetImageMirror(); }
    int GetImageRotation() const { return m_delivery->GetImageRotation(); }
    /// Mapped IR pixel format: only frame type 1 with pixel format 1 (16-bit) or 2 (8-bit).
    void setFramePixelFormat(int frameType, int pixelFormat)
    {
        m_delivery->SetFramePixelFormat(frameType, pixelFormat);
    }
    void SetColorPixelFormat(PixelFormat format) { m_rgbDecode->SetPixelFormat(format); }
    PixelFormat GetColorPixelFormat() const { return m_rgbDecode->GetPixelFormat(); }
    void SetIRPixelFormat(PixelFormat format);
    /// Depth and IR to the ToF decoder, colour to the colour decoder (and its intrinsics to the library).
    void SetFrameMode(FrameType type, const FrameMode &mode);
    /// The session's colour intrinsics (row-major 3x3), scaled per colour mode for the library.
    void SetColorIntrinsic(const double *intrinsic9);
    int SetPreProcRgbIntrinsic();
    void SetWaitTime(uint16_t waitTimeMs);
    uint16_t GetWaitTime() const { return m_waitTimeMs.load(); }
    void SetRecycle(bool on);
    int GetStreamStatus() const { return m_hub->GetStreamStatus(); }
    /// -1 without library, else the library's answer.
    int GetOnlyTimeFilterDepth(Frame *frame) { return m_delivery->GetOnlyTimeFilterDepth(frame); }
    int GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize, TfVector2u16 *colorPoint)
    {
        return m_delivery->GetMappedPointDepthToRGB(depthPoint, colorSize, colorPoint);
    }
    bool GetAppliedTransform(const void *data, uint32_t frameIndex,
                             FrameDelivery::AppliedTransform &applied) const
    {
        return m_delivery->GetAppliedTransform(data, frameIndex, applied);
    }
    /// Producer side: forwards the decoders' single-frame-ready bits to the synchroniser.
    void SetSingleFrameReady(uint8_t bits);

    RgbDecode *GetRgbDecode() { return m_rgbDecode.get(); }
    Sync *GetSync() { return m_sync.get(); }
    APIDepthRefine *GetRefine() { return m_refine; }

    // ---- Stream hub ----
    /// Parses one stream buffer; a null `buffer` means the hub's own receive buffer.
    void ProcessData(uint32_t length, uint8_t *buffer) { m_hub->ProcessData(length, buffer); }
    /// Stores the calibration block once; 0, or -1 for a null pointer or a length under 5.
    int DecodeDeviceInitParams(const uint8_t *data, int length)
    {
        return m_hub->DecodeDeviceInitParams(data, length);
    }
    /// Copies the stored calibration block out when one was received (true); else leaves `params` as is.
    bool GetDeviceInitParams(InitCameraParams &params) const { return m_hub->GetDeviceInitParams(params); }
    DeviceStatus *GetDeviceStatus() { return m_hub->GetDeviceStatus(); }

    void SetConnectStatus(bool connected) { m_hub->SetConnectStatus(connected); }
    /// 0, or -1 for a stream kind above 5.
    int SetStreamEnable(StreamType type, bool enabled) { return m_hub->SetStreamEnable(type, enabled); }
    /// The flag (0 or 1), or -1 for a stream kind above 5.
    int GetStreamEnable(StreamType type) const { return m_hub->GetStreamEnable(type); }
    void SetSaveRawBufferEnabled(bool enabled) { m_hub->SetSaveRawBufferEnabled(enabled); }
    bool GetSaveRawBufferEnabled() const { return m_hub->GetSaveRawBufferEnabled(); }
    /// Also forwarded to both decoders, the synchroniser and the delivery.
    void SetStream(bool on);
    void SetFrameState(bool on);

    /// Producer side used by the decoders: 0, or -1 when nothing came within the wait time.
    int GetTofRawData(Frame **frame) { return m_hub->GetTofRawData(frame); }
    int GetRGBRawData(Frame **frame) { return m_hub->GetRGBRawData(frame); }
    void RecycleRawTofFrame(Frame *frame) { m_hub->RecycleRawTofFrame(frame); }
    void RecycleRawColorFrame(Frame *frame) { m_hub->RecycleRawColorFrame(frame); }
    FrameQueue *GetRawTofQueue() { return m_hub->GetRawTofQueue(); }
    /// Creates and starts the ToF decoder over the raw ToF queue, with the refine library (which may be
    /// null) and the tables of `configDir`. A second call changes nothing. Returns 0.
    int StartTofDecoder(const std::string &configDir = "./Config/");
    /// Stops and frees the ToF decoder (before the queues it reads go away).
    void StopTofDecoder();
    /// The running ToF decoder, or null.
    TofDecode *GetTofDecode() { return m_tofDecode.get(); }
    FrameQueue *GetRawColorQueue() { return m_hub->GetRawColorQueue(); }

    /// The last device error code the camera reported (0: none).
    int32_t GetDeviceErrorCode() const { return m_hub->GetDeviceErrorCode(); }
    /// The last JSON configuration result: status value, success flag, error code.
    uint8_t GetJsonStatus() const { return m_hub->GetJsonStatus(); }
    uint8_t GetJsonSuccess() const { return m_hub->GetJsonSuccess(); }
    uint8_t GetJsonErrorCode() const { return m_hub->GetJsonErrorCode(); }
    uint32_t GetFrameCounter() const { return m_hub->GetFrameCounter(); }
    HubCounters GetCounters() const { return m_hub->GetCounters(); }
    /// What this pipeline dropped, by stream and reason, and what it handed to the application, since it
    /// was built.
    TfDropCounters GetDropCounters() const { return m_dropCounters.Read(); }
    /// The raw recording of the buffers the hub reads (see RawRecorder).
    int StartRawRecording(const RawRecordingRequest &request) { return m_rawRecorder.Start(request); }
    void StopRawRecording() { m_rawRecorder.Stop(); }
    TfRawRecordingStatus GetRawRecordingStatus() const { return m_rawRecorder.GetStatus(); }

private:
    void EnsureTofDecoder(const std::string &configDir);
    void EnsureSync();

    APIDepthRefine *m_refine; // this pipeline's library object; may be null
    // The object Get_APIDepthRefine made for this pipeline; empty when the caller lent one. Declared
    // before the stages that use it, so it is destroyed after them.
    std::unique_ptr<APIDepthRefine> m_ownedRefine;
    StreamSource *m_source; // the owning session
    // Every stage counts into it: declared before them, destroyed after them.
    DropCounters m_dropCounters;
    // The hub offers it buffers: declared before the hub, destroyed after it.
    RawRecorder m_rawRecorder;
    // Owns the raw queues: declared first, destroyed last.
    std::unique_ptr<StreamHub> m_hub;
    // Declared after the hub: destroyed before the raw queues they read.
    std::unique_ptr<TofDecode> m_tofDecode;
    std::unique_ptr<RgbDecode> m_rgbDecode;
    // Reads the decoders' queues: destroyed before them. The raw pointer serves the decoders' threads,
    // which may notify while Init builds the synchroniser.
    std::unique_ptr<Sync> m_sync;
    std::atomic<Sync *> m_syncForProducers{nullptr};
    // Collects from everything above: destroyed first.
    std::unique_ptr<FrameDelivery> m_delivery;

    std::atomic<uint16_t> m_waitTimeMs{FrameQueue::kDefaultWaitTimeMs};
    std::atomic<int32_t> m_irPixelFormat{kPixelRaw}; // kPixelRaw: the ToF decoder's default
    std::mutex m_intrinsicMutex;
    std::array<double, 9> m_colorIntrinsic{}; // guarded by m_intrinsicMutex
    bool m_hasColorIntrinsic = false;         // guarded by m_intrinsicMutex
};
