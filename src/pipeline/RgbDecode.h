// SPDX-License-Identifier: Apache-2.0
// RgbDecode: the worker that turns raw colour frames (JPEG or the camera's 12-bit YUV) into RGB or BGR
// frames of the configured colour mode.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "pipeline/DropCounters.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "runtime/StoppableThread.h"

class APIDepthRefine;

class RgbDecode : public StoppableThread
{
public:
    static constexpr uint32_t kQueueCapacity = 2, kPoolFrames = 12;
    static constexpr uint32_t kHeaderBytes = 5;
    /// The 32-bit float exposure value (seconds) behind the image of typeIds 0x31 to 0x35.
    static constexpr uint32_t kExposureTrailerBytes = 4;
    static constexpr uint16_t kYuvWidth = 640, kYuvHeight = 480;
    static constexpr uint32_t kYuvBytes = uint32_t{kYuvWidth} * kYuvHeight * 3 / 2;
    /// Unrecognised colour packets written to "%03d_raw.bin" per process, for diagnosis.
    static constexpr int kMaxRawDumps = 10;

    enum DecodeType : int
    {
        kDecodeOther = -1,
        kDecodeJpeg = 0,
        kDecodeVideo = 1,
    };

    /// Called with kHasColor after each pushed frame (the producer's single-frame-ready notification).
    using FrameReadyFn = std::function<void(uint8_t bit)>;

    /// rawQueue and refine are owned by the stream hub and outlive the decoder; refine may be null (no
    /// 12-bit conversion, no cropping, resizing, rotation or correction).
    RgbDecode(FrameQueue *rawQueue, APIDepthRefine *refine);
    ~RgbDecode() override;

    /// Must be set before Start.
    void SetFrameReadyCallback(FrameReadyFn callback) { m_frameReady = std::move(callback); }
    /// Where the decoder and its output queues count what they drop; set before the thread starts, the
    /// counters outlive the decoder.
    void SetDropCounters(DropCounters *counters);

    FrameQueue *GetColorQueue() { return m_colorQueue.get(); }
    /// 0 with the oldest decoded frame, or -1 when none came within the wait time.
    int GetRGB(Frame **frame);
    void RecycleDecodedColorFrame(Frame *frame) { m_colorQueue->RecycleFrame(frame); }
    bool RGBIsReady() const { return m_colorQueue->Size() != 0; }

    /// Decodes one colour sub-packet (header included) of at most `availableBytes` into `frame`. Returns
    /// the sub-packet size (length + 5), or 0 for a packet that does not fit `availableBytes` or whose
    /// payload is not recognised. The frame's dataLen stays 0 unless an image was decoded.
    uint32_t DecodeRGB(const uint8_t *subPacket, uint32_t availableBytes, Frame *frame);
    /// Decompresses a JPEG into dst (dstBytes long) as RGB (output format 3) or BGR. A header larger
    /// than dst is rejected before decoding. A header disagreeing with the expected size (0 x 0: any)
    /// is logged and the result is -1, but the image is still decoded at the header's size; the decoded
    /// size (0 x 0 when nothing was decoded) goes to decodedWidth/decodedHeight when given.
    int Mjpeg2Rgb_new(const uint8_t *jpeg, uint32_t width, uint32_t height, int jpegSize, uint8_t *dst,
                      size_t dstBytes, uint32_t *decodedWidth = nullptr, uint32_t *decodedHeight = nullptr);
    /// Rotation, 640x360 to 4:3 cropping and resizing, and the library's correction; only with the library.
    void postFrame(Frame &frame, PixelFormat format);
    /// Rotates a width x height RGB888 image 90 degrees counter-clockwise in place.
    static void RotationVGARGB888Img(void *image, uint32_t width, uint32_t height);

    /// Scales the session's colour intrinsics (row-major 3x3, of the 1920x1080 calibration image) to the
    /// current colour mode by the one colour geometry (ScaleColorIntrinsic) and hands them to the
    /// library. Returns the library's answer, or -1 without library or matrix.
    int SetPreProcRgbIntrinsic(const double *intrinsic9);

    void SetPixelFormat(PixelFormat format) { m_pixelFormat = format; }
    PixelFormat GetPixelFormat() const { return static_cast<PixelFormat>(m_pixelFormat.load()); }
    void SetMode(const FrameMode &mode);
    FrameMode GetMode() const;
    /// 0, 1 and 2 rotate the image 90 degrees counter-clockwise; anything else leaves it.
    void SetRotateType(short rotateType) { m_rotateType = rotateType; }
    short GetRotateType() const { return m_rotateType; }
    void SetStream(bool on) { m_stream = on; }
    bool GetStream() const { return m_stream; }
    void SetFrameState(bool on) { m_frameState = on; }
    bool GetFrameState() const { return m_frameState; }
    void SetRecycle(bool on) { m_recycle = on; }
    bool GetRecycle() const { return m_recycle; }
    void SetWaitTime(uint16_t waitTimeMs) { m_colorQueue->SetWaitTime(waitTimeMs); }
    /// Passed to the library; returns its answer (-1 without library).
    int SetApplyRGBDistortionEnabled(bool enabled);
    int SetApplyRGBCorrectionEnabled(bool enabled);
    bool GetApplyRGBDistortionEnabled() const { return m_distortion; }
    bool GetApplyRGBCorrectionEnabled() const { return m_correction; }
    int GetDecodeType() const { return m_decodeType; }

    uint64_t GetDecodedFrameCount() const { return m_decodedFrames; }
    /// JPEGs whose header announced an image larger than the output frame.
    uint64_t GetOversizedJpegCount() const { return m_oversizedJpegs; }
    /// Frames dropped after decoding because their size did not match the colour mode.
    uint64_t GetResolutionMismatchCount() const { return m_resolutionMismatches; }

protected:
    void Run() override;

private:
    void CountDecodeError();
    void DrainRaw();
    void DecodeOne(Frame *raw);
    void DecodeYuv(const uint8_t *payload, uint32_t length, Frame *frame);
    void DumpUnknownPacket(const uint8_t *subPacket, uint32_t bytes);

    FrameQueue *m_rawQueue;   // owned by the stream hub
    APIDepthRefine *m_refine; // owned by the stream hub; may be null
    FrameReadyFn m_frameReady;
    DropCounters *m_dropCounters = nullptr; // owned by the pipeline
    std::unique_ptr<FrameQueue> m_colorQueue;
    Frame *m_decoded = nullptr; // the frame being filled; touched only by the decoding thread
    void *m_tjHandle = nullptr; // kept across frames; touched only by the decoding thread

    std::atomic<int32_t> m_pixelFormat{kPixelBgr888};
    std::atomic<uint32_t> m_modeWidth{1280};
    std::atomic<uint32_t> m_modeHeight{720};
    std::atomic<uint32_t> m_modeFps{25};
    std::atomic<short> m_rotateType{-1};
    std::atomic<int> m_decodeType{kDecodeJpeg};
    std::atomic<bool> m_stream{true};
    std::atomic<bool> m_frameState{true};
    std::atomic<bool> m_recycle{false};
    std::atomic<bool> m_distortion{false};
    std::atomic<bool> m_correction{false};
    std::atomic<uint64_t> m_decodedFrames{0};
    std::atomic<uint64_t> m_oversizedJpegs{0};
    std::atomic<uint64_t> m_resolutionMismatches{0};
};
