// SPDX-License-Identifier: Apache-2.0
// TofDecode: the worker that turns raw ToF frames into depth, IR and confidence frames and runs the refine
// library over them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pipeline/DepthRanges.h"
#include "pipeline/DeviceStatus.h"
#include "pipeline/DropCounters.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/StreamSource.h"
#include "protocol/ProtocolTypes.h"
#include "runtime/StoppableThread.h"

class APIDepthRefine;

class TofDecode : public StoppableThread
{
public:
    static constexpr uint32_t kDepthQueueCapacity = 2, kDepthPoolFrames = 12;
    static constexpr uint32_t kIrQueueCapacity = 2, kIrPoolFrames = 10;
    static constexpr uint32_t kConfidenceQueueCapacity = 2, kConfidencePoolFrames = 10;
    static constexpr char kDefaultConfigDir[] = "./Config/";

    /// Called with a HasFrameType bit after each pushed frame (the synchroniser's notification).
    using FrameReadyFn = std::function<void(uint8_t bit)>;

    /// rawQueue, refine and the session (the source of the camera's status record) are owned by the
    /// stream hub's owner and outlive the decoder; refine and source may be null (no filtering; a zero
    /// status). Reads the lookup tables and the IR background from configDir.
    TofDecode(FrameQueue *rawQueue, APIDepthRefine *refine, StreamSource *source,
              const std::string &configDir = kDefaultConfigDir);
    ~TofDecode() override;

    /// Must be set before Start.
    void SetFrameReadyCallback(FrameReadyFn callback) { m_frameReady = std::move(callback); }
    /// Where the decoder and its output queues count what they drop; set before the thread starts, the
    /// counters outlive the decoder.
    void SetDropCounters(DropCounters *counters);

    FrameQueue *GetDepthQueue() { return m_depthQueue.get(); }
    FrameQueue *GetIrQueue() { return m_irQueue.get(); }
    FrameQueue *GetConfidenceQueue() { return m_confidenceQueue.get(); }
    int GetTOFDepth(Frame **frame);
    int GetTOFIr(Frame **frame);
    int GetTOFConfidence(Frame **frame);
    void RecycleDecodedTofDepthFrame(Frame *frame) { m_depthQueue->RecycleFrame(frame); }
    void RecycleDecodedTofIrFrame(Frame *frame) { m_irQueue->RecycleFrame(frame); }
    void RecycleDecodedTofConfidenceFrame(Frame *frame) { m_confidenceQueue->RecycleFrame(frame); }
    bool TOFDepthIsReady() const { return m_depthQueue->Size() != 0; }
    bool TOFIrIsReady() const { return m_irQueue->Size() != 0; }
    bool TOFConfidenceIsReady() const { return m_confidenceQueue->Size() != 0; }

    /// Decodes the first block of a raw ToF frame of rawLength bytes; returns the bytes consumed (block
    /// length + 5) or 0. `deliver` reports whether the frames are to be pushed (a first-range WDR
    /// sub-frame only becomes the reference).
    uint32_t DecodeADI(uint8_t *rawBuffer, uint32_t rawLength, Frame &depth, Frame &ir,
                       bool *deliver = nullptr);
    /// The same with an explicit confidence frame.
    uint32_t DecodeADI(uint8_t *rawBuffer, uint32_t rawLength, Frame &depth, Frame &ir, Frame &confidence,
                       bool *deliver);
    int Decode_SONY_RAW_A_B(uint8_t *payload, int length, Frame &depth, Frame &ir, Frame &confidence);
    int Decode_SONY_WDR_RAW_A_B(uint8_t *payload, int length, Frame &depth, Frame &ir, Frame &confidence);
    int Decode_SONY_Depth_IR_Confidence(uint8_t *payload, int length, Frame &depth, Frame &ir,
                                        Frame &confidence);
    /// `length` counts the bytes from the payload to the end of the raw frame, so that the optional IR
    /// and confidence blocks behind the depth block are found within it.
    int Decode_SONY_Depth(uint8_t *payload, int length, Frame &depth, Frame &ir, Frame &confidence);
    int postProcFrame(bool depth, bool ir);
    void ConfidenceFilter(Frame &depth, const Frame &ir, const Frame &confidence);
    void IRAdjustByGmmGain(Frame &ir, uint8_t gain);

    void SetStream(bool on) { m_stream = on; }
    void SetFrameState(bool on) { m_frameState = on; }
    void SetRecycle(bool on) { m_recycle = on; }
    void SetWaitTime(uint16_t waitTimeMs);
    void SetIRPixelFormat(PixelFormat format);
    void SetIRGmmGain(uint8_t gain);
    void SetConfidenceFilterEnable(bool enabled);
    void SetConfidenceFilterParams(const ConfidenceFilterParams &params);
    void SetTemperatureOffsetEnable(bool enabled) { m_temperatureOffset = enabled; }
    void SetComputeRealDepthEnable(bool enabled) { m_computeRealDepth = enabled; }
    void SetComputeRealDepthEnabled(bool enabled) { m_computeRealDepth = enabled; }
    void SetSmoothingFilterEnabled(bool enabled) { m_smoothingFilter = enabled; }
    bool GetComputeRealDepthEnabled() const { return m_computeRealDepth; }
    bool GetSmoothingFilterEnabled() const { return m_smoothingFilter; }
    void SetSaveComputeDepthTab(bool enabled);
    void SetRawDepthCut(bool enabled) { m_ranges.SetRawDepthCut(enabled); }
    void SetDataMode(uint32_t dataMode);
    void SetDepthRange(uint32_t range);
    uint32_t GetDepthRange() const { return m_currentRange; }
    int SetDualFreqMode(DualFreqMode &mode) { return m_ranges.SetDualFreqMode(mode); }
    int SetWDRStyle(WDRStyle style);
    void SetRangeValue(const std::vector<MeasuringRange> &ranges) { m_ranges.SetRangeValue(ranges); }
    void SetFrameMode(FrameType type, const FrameMode &mode);
    DepthRanges &GetDepthRanges() { return m_ranges; }

    /// ToF blocks rejected because they did not fit their raw frame or carried an unknown type/length.
    uint64_t GetRejectedBlockCount() const { return m_rejectedBlocks; }
    uint64_t GetDecodedFrameCount() const { return m_decodedFrames; }

protected:
    void Run() override;

private:
    void LoadConfig(const std::string &configDir);
    int DecodeFourPhase(uint8_t *payload, int length, Frame &depth, Frame &ir, Frame &confidence,
                        bool wdrBlock);
    /// Fuses a dual-frequency sub-frame with the reference, or keeps a first-range one as the reference;
    /// false when the frame is not to be filtered and delivered as it stands.
    bool FuseDualFrequency(Frame &depth, bool wdrBlock);
    /// The refine library's depth filters, the IR gain, post-processing and the confidence filter.
    /// The library's geometric step on the images of one frame (null: not filled by this frame).
    void Undistort(Frame &depth, Frame *ir, Frame *confidence);
    void FilterDecoded(Frame &depth, Frame &ir, Frame &confidence);
    DeviceStatus StatusSnapshot() const;
    int PostProc(Frame &depthFrame, Frame &irFrame, bool depth, bool ir);
    bool AllocMissingFrames();
    void DecodeOne(Frame *raw);
    void PushOutputs(const Frame &raw);
    void DrainRaw();

    FrameQueue *m_rawQueue;   // owned by the stream hub
    APIDepthRefine *m_refine; // owned by the stream hub; may be null
    StreamSource *m_source;   // the session; may be null
    FrameReadyFn m_frameReady;
    DropCounters *m_dropCounters = nullptr; // owned by the pipeline

    std::unique_ptr<FrameQueue> m_depthQueue;
    std::unique_ptr<FrameQueue> m_irQueue;
    std::unique_ptr<FrameQueue> m_confidenceQueue;
    // The frames being filled; touched only by the decoding thread (and the constructor/destructor).
    Frame *m_depth = nullptr;
    Frame *m_ir = nullptr;
    Frame *m_confidence = nullptr;

    DepthRanges m_ranges;
    std::array<std::vector<int32_t>, DepthRanges::kRangeCount> m_lookup;
    std::vector<uint16_t> m_background;
    std::vector<uint16_t> m_reference; // the last first-range WDR depth image
    Frame m_referenceHeader{};
    bool m_hasDecoded = false;
    bool m_deliver = true;

    std::atomic<bool> m_stream{true};
    std::atomic<bool> m_frameState{true};
    std::atomic<bool> m_recycle{false};
    std::atomic<uint32_t> m_dataMode{0};
    std::atomic<uint32_t> m_currentRange{0};
    std::atomic<int32_t> m_irPixelFormat{kPixelGray8};
    std::atomic<uint32_t> m_irGain{64};
    std::atomic<bool> m_temperatureOffset{true};
    std::atomic<bool> m_computeRealDepth{false};
    std::atomic<bool> m_smoothingFilter{false};
    std::atomic<uint32_t> m_wdrStyle{kWdrStyleFuse};
    mutable std::mutex m_paramMutex; // guards m_confidenceParams and the frame modes
    ConfidenceFilterParams m_confidenceParams{1, 0, 20, 4600};
    FrameMode m_depthFrameMode{640, 480, 0};
    FrameMode m_irFrameMode{640, 480, 0};
    std::atomic<uint64_t> m_rejectedBlocks{0};
    std::atomic<uint64_t> m_decodedFrames{0};
};
