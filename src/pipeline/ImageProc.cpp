// SPDX-License-Identifier: Apache-2.0
// ImageProc: builds and wires the pipeline's stages, starts and stops them, and fans the session's
// settings out to the stages they concern.
#include "pipeline/ImageProc.h"

#include <cstring>

#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

namespace {
/// Init hands the ToF decoder the offset tables of ranges 0 to 2.
constexpr uint32_t kInitRangeOffsets = 3;
} // namespace

ImageProc::ImageProc(StreamSource *source) : ImageProc(source, Get_APIDepthRefine())
{
    // The library object made for this pipeline alone is its own: another camera's calibration and
    // filter state never reach it.
    m_ownedRefine.reset(m_refine);
}

ImageProc::ImageProc(StreamSource *source, APIDepthRefine *refine)
    : m_refine(refine), m_source(source), m_hub(std::make_unique<StreamHub>(source))
{
    if (m_refine == nullptr) {
        TFLOG("no depth refine library: decoding without filters");
    }
    m_hub->SetDropCounters(&m_dropCounters);
    m_hub->SetRawRecorder(&m_rawRecorder);
    m_rgbDecode = std::make_unique<RgbDecode>(m_hub->GetRawColorQueue(), m_refine);
    m_rgbDecode->SetFrameReadyCallback([this](uint8_t bit) { SetSingleFrameReady(bit); });
    m_rgbDecode->SetDropCounters(&m_dropCounters);
    m_delivery = std::make_unique<FrameDelivery>(m_refine);
    m_delivery->SetDropCounters(&m_dropCounters);
}

ImageProc::~ImageProc()
{
    Close();
    m_delivery.reset();
    StopTofDecoder();
    m_rgbDecode.reset();
    m_hub.reset();
}

void ImageProc::Close()
{
    // Consumers first, producers last: nothing waits on a queue whose filler is gone.
    StoppableThread *const threads[] = {m_delivery.get(), m_sync.get(), m_tofDecode.get(), m_rgbDecode.get(),
                                        m_hub.get()};
    for (StoppableThread *thread : threads) {
        if (thread != nullptr) {
            thread->Stop();
        }
    }
    // Wake whoever waits on a queue, so no thread sits out its wait time before it sees the stop.
    std::vector<FrameQueue *> queues = {m_hub->GetRawTofQueue(), m_hub->GetRawColorQueue(),
                                        m_rgbDecode->GetColorQueue()};
    if (m_tofDecode) {
        queues.insert(queues.end(), {m_tofDecode->GetDepthQueue(), m_tofDecode->GetIrQueue(),
                                     m_tofDecode->GetConfidenceQueue()});
    }
    for (FrameQueue *queue : queues) {
        queue->Interrupt(true);
    }
    if (m_sync) {
        m_sync->SetSingleFrameReady(0); // wakes its worker with nothing to collect
    }
    for (StoppableThread *thread : threads) {
        if (thread != nullptr) {
            thread->Join();
        }
    }
    for (FrameQueue *queue : queues) {
        queue->Interrupt(false);
    }
    // With the hub ended nothing more arrives: the recording is complete.
    m_rawRecorder.Stop();
}

int ImageProc::Init(const PipelineInitParams &params)
{
    m_rgbDecode->SetRotateType(params.colorRotateType);
    m_rgbDecode->SetMode(params.colorMode);
    m_rgbDecode->SetWaitTime(m_waitTimeMs.load());
    if (!m_rgbDecode->IsRunning()) {
        m_rgbDecode->Start();
    }

    EnsureTofDecoder(params.configDir);
    if (!params.measuringRanges.empty()) {
        m_tofDecode->SetRangeValue(params.measuringRanges);
    }
    // The offset tables of the first three ranges are read again: a camera may have sent new ones
    // (a transfer to the configuration directory) since the decoder was built.
    for (uint32_t range = 0; range < kInitRangeOffsets; ++range) {
        m_tofDecode->LoadRangeOffset(params.configDir, range);
    }
    m_tofDecode->SetFrameMode(kFrameDepth, params.depthMode);
    m_tofDecode->SetFrameMode(kFrameIr, params.irMode);
    if (m_refine != nullptr) {
        const int ret = m_refine->Init(params.cameraParams, params.configDir.c_str());
        if (ret != kRefineOk) {
            TFLOG("refine Init ret:%d", ret);
        }
    }
    SetColorIntrinsic(params.cameraParams.colorIntrinsic);
    m_tofDecode->SetDataMode(params.dataMode);
    EnsureSync();
    if (!m_tofDecode->IsRunning()) {
        m_tofDecode->Start();
    }

    if (!m_sync->IsRunning()) {
        m_sync->Init(params.serialNumber.substr(0, 63).c_str());
        m_sync->Start();
    }
    return 0;
}

void ImageProc::EnsureTofDecoder(const std::string &configDir)
{
    if (m_tofDecode) {
        return;
    }
    m_tofDecode = std::make_unique<TofDecode>(m_hub->GetRawTofQueue(), m_refine, m_source, configDir);
    m_tofDecode->SetFrameReadyCallback([this](uint8_t bit) { SetSingleFrameReady(bit); });
    m_tofDecode->SetDropCounters(&m_dropCounters);
    m_tofDecode->SetWaitTime(m_waitTimeMs.load());
    if (m_irPixelFormat.load() != kPixelRaw) {
        m_tofDecode->SetIRPixelFormat(static_cast<PixelFormat>(m_irPixelFormat.load()));
    }
}

void ImageProc::EnsureSync()
{
    if (m_sync || !m_tofDecode) {
        return;
    }
    m_sync = std::make_unique<Sync>(m_tofDecode->GetDepthQueue(), m_tofDecode->GetIrQueue(),
                                    m_tofDecode->GetConfidenceQueue(), m_rgbDecode->GetColorQueue());
    m_sync->SetWaitTime(m_waitTimeMs.load());
    m_sync->SetDropCounters(&m_dropCounters);
    m_sync->SetSyncEnable(m_delivery->GetSynchronizeEnabled());
    m_sync->SetStream(m_hub->IsStreamOn());
    m_sync->SetFrameState(m_hub->IsFrameStateOn());
    m_syncForProducers.store(m_sync.get());
    m_delivery->SetSources({m_sync.get(), m_tofDecode->GetDepthQueue(), m_tofDecode->GetIrQueue(),
                            m_tofDecode->GetConfidenceQueue(), m_rgbDecode->GetColorQueue()});
}

int ImageProc::StartTofDecoder(const std::string &configDir)
{
    if (m_tofDecode) {
        return 0;
    }
    EnsureTofDecoder(configDir);
    EnsureSync();
    m_tofDecode->Start();
    return 0;
}

void ImageProc::StopTofDecoder()
{
    // The synchroniser reads the decoder's queues: it goes first.
    if (m_sync) {
        if (m_delivery) {
            m_delivery->SetSources({});
        }
        m_syncForProducers.store(nullptr);
        m_sync.reset();
    }
    if (m_tofDecode) {
        m_tofDecode->Stop();
        m_tofDecode->Join();
        m_tofDecode.reset();
    }
}

void ImageProc::SetSingleFrameReady(uint8_t bits)
{
    Sync *sync = m_syncForProducers.load();
    if (sync != nullptr) {
        sync->SetSingleFrameReady(bits);
    }
}

int ImageProc::PrepareNextFrame(FrameReady *ready)
{
    if (ready != nullptr) {
        *ready = FrameReady{};
    }
    if (!m_hub->IsConnected()) {
        return kStatusNotConnectedStream;
    }
    if (m_delivery->HasNotify()) {
        // Frames go to the notification function; a poll only learns whether the stream still runs.
        return m_hub->GetConsecutiveFailedReads() < kCallbackModeFailedReads ? kStatusDeviceNotFound
                                                                             : kStatusNotSupported;
    }
    const int32_t deviceError = m_hub->GetDeviceErrorCode();
    if (deviceError != 0) {
        return deviceError;
    }
    return m_delivery->PrepareNextFrame(ready);
}

void ImageProc::SetSynchronizeEnabled(bool enabled)
{
    m_delivery->SetSynchronizeEnabled(enabled);
    if (m_sync) {
        m_sync->SetSyncEnable(enabled);
    }
}

void ImageProc::SetStream(bool on)
{
    m_hub->SetStream(on);
    m_delivery->SetStream(on);
    m_rgbDecode->SetStream(on);
    if (m_tofDecode) {
        m_tofDecode->SetStream(on);
    }
    if (m_sync) {
        m_sync->SetStream(on);
    }
}

void ImageProc::SetFrameState(bool on)
{
    m_hub->SetFrameState(on);
    m_delivery->SetFrameState(on);
    m_rgbDecode->SetFrameState(on);
    if (m_tofDecode) {
        m_tofDecode->SetFrameState(on);
    }
    if (m_sync) {
        m_sync->SetFrameState(on);
    }
}

void ImageProc::SetRecycle(bool on)
{
    m_rgbDecode->SetRecycle(on);
    if (m_tofDecode) {
        m_tofDecode->SetRecycle(on);
    }
    if (m_sync) {
        m_sync->SetRecycle(on);
    }
}

void ImageProc::SetIRPixelFormat(PixelFormat format)
{
    m_irPixelFormat.store(format);
    if (m_tofDecode) {
        m_tofDecode->SetIRPixelFormat(format);
    }
}

void ImageProc::SetFrameMode(FrameType type, const FrameMode &mode)
{
    switch (type) {
    case kFrameDepth:
    case kFrameIr:
        if (m_tofDecode) {
            m_tofDecode->SetFrameMode(type, mode);
        }
        break;
    case kFrameColor:
        m_rgbDecode->SetMode(mode);
        SetPreProcRgbIntrinsic();
        break;
    default:
        TFLOG("frameType:%d is invalid.", static_cast<int>(type));
        break;
    }
}

void ImageProc::SetColorIntrinsic(const double *intrinsic9)
{
    {
        std::lock_guard<std::mutex> lock(m_intrinsicMutex);
        if (intrinsic9 == nullptr) {
            m_hasColorIntrinsic = false;
        } else {
            std::memcpy(m_colorIntrinsic.data(), intrinsic9, sizeof(double) * 9);
            m_hasColorIntrinsic = true;
        }
    }
    SetPreProcRgbIntrinsic();
}

int ImageProc::SetPreProcRgbIntrinsic()
{
    std::array<double, 9> intrinsic{};
    {
        std::lock_guard<std::mutex> lock(m_intrinsicMutex);
        if (!m_hasColorIntrinsic) {
            return -1;
        }
        intrinsic = m_colorIntrinsic;
    }
    return m_rgbDecode->SetPreProcRgbIntrinsic(intrinsic.data());
}

void ImageProc::SetWaitTime(uint16_t waitTimeMs)
{
    m_waitTimeMs.store(waitTimeMs);
    m_rgbDecode->SetWaitTime(waitTimeMs);
    if (m_tofDecode) {
        m_tofDecode->SetWaitTime(waitTimeMs);
    }
    if (m_sync) {
        m_sync->SetWaitTime(waitTimeMs);
    }
    m_hub->SetWaitTime(waitTimeMs);
}
