// SPDX-License-Identifier: Apache-2.0
// TofDecode: the ToF decoding worker, its block dispatch, the camera-computed images and the refine steps.
#include "pipeline/TofDecode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pipeline/SonyRawDecoder.h"
#include "pipeline/StreamLayout.h"
#include "protocol/DataModes.h"
#include "refine/APIDepthRefine.h"
#include "runtime/LogCustom.h"

using namespace StreamLayout;

namespace {
constexpr uint32_t kPixels = static_cast<uint32_t>(SonyRawDecoder::kPixels);
constexpr uint32_t kImage16Bytes = kPixels * 2;
constexpr uint32_t kImage8Bytes = kPixels;
constexpr uint16_t kWidth = SonyRawDecoder::kWidth;
constexpr uint16_t kHeight = SonyRawDecoder::kHeight;

uint32_t ReadLength24(const uint8_t *header)
{
    return uint32_t(header[1]) | (uint32_t(header[2]) << 8) | (uint32_t(header[3]) << 16);
}

uint16_t *Pixels16(Frame &frame)
{
    return reinterpret_cast<uint16_t *>(frame.pFrameData);
}

AlgImage Image16(Frame &frame)
{
    return AlgImage{frame.pFrameData, ALG_16UC1, frame.width, frame.height};
}

bool HoldsImage(const Frame &frame, uint32_t bytes)
{
    return frame.pFrameData != nullptr && frame.bufferSize >= bytes;
}

// Reads a whole file of at most maxBytes; false when it is missing, unreadable or larger.
bool ReadSmallFile(const std::string &path, size_t maxBytes, std::vector<uint8_t> &out)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    out.assign(maxBytes + 1, 0);
    const size_t got = std::fread(out.data(), 1, out.size(), file);
    std::fclose(file);
    if (got > maxBytes) {
        return false;
    }
    out.resize(got);
    return true;
}
} // namespace

TofDecode::TofDecode(FrameQueue *rawQueue, APIDepthRefine *refine, StreamSource *source,
                     const std::string &configDir)
    : StoppableThread("TofDecode"), m_rawQueue(rawQueue), m_refine(refine), m_source(source),
      m_depthQueue(std::make_unique<FrameQueue>(kFrameDepth, kDepthQueueCapacity, kDepthPoolFrames)),
      m_irQueue(std::make_unique<FrameQueue>(kFrameIr, kIrQueueCapacity, kIrPoolFrames)),
      m_confidenceQueue(
          std::make_unique<FrameQueue>(kFrameConfidence, kConfidenceQueueCapacity, kConfidencePoolFrames)),
      m_ranges(refine), m_reference(kPixels, 0)
{
    AllocMissingFrames();
    LoadConfig(configDir);
}

TofDecode::~TofDecode()
{
    Stop();
    Join();
    m_depthQueue->RecycleFrame(m_depth);
    m_irQueue->RecycleFrame(m_ir);
    m_confidenceQueue->RecycleFrame(m_confidence);
}

void TofDecode::LoadConfig(const std::string &configDir)
{
    std::string missing;
    std::vector<uint8_t> bytes;
    m_background.assign(kPixels, 0);
    const std::string backgroundPath = configDir + "ir_background.bin";
    if (ReadSmallFile(backgroundPath, kImage16Bytes, bytes)) {
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            m_background[i / 2] = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        }
    } else {
        missing += " ir_background.bin";
    }
    for (uint32_t r = 0; r < DepthRanges::kRangeCount; ++r) {
        const size_t entries = size_t(DepthRanges::GetSonyMaxDepth(r)) + 1;
        std::vector<int32_t> &table = m_lookup[r];
        table.resize(entries);
        for (size_t i = 0; i < entries; ++i) {
            table[i] = static_cast<int32_t>(i);
        }
        char name[32];
        std::snprintf(name, sizeof name, "rangeOffset_%u.bin", r);
        if (ReadSmallFile(configDir + name, entries * 2, bytes)) {
            for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
                table[i / 2] = static_cast<int16_t>(static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8)));
            }
        } else {
            missing += std::string(" ") + name;
        }
    }
    if (!missing.empty()) {
        TFLOG("no usable calibration in %s (%s): identity lookup tables and a zero IR background are used.",
              configDir.c_str(), missing.c_str() + 1);
    }
}

bool TofDecode::AllocMissingFrames()
{
    if (m_depth == nullptr) {
        m_depth = m_depthQueue->AllocFrame(kFrameDepth);
    }
    if (m_ir == nullptr) {
        m_ir = m_irQueue->AllocFrame(kFrameIr);
    }
    if (m_confidence == nullptr) {
        m_confidence = m_confidenceQueue->AllocFrame(kFrameConfidence);
    }
    return m_depth != nullptr && m_ir != nullptr && m_confidence != nullptr;
}

DeviceStatus TofDecode::StatusSnapshot() const
{
    return m_source != nullptr ? m_source->ReadDeviceStatus() : DeviceStatus{};
}

void TofDecode::SetDropCounters(DropCounters *counters)
{
    m_dropCounters = counters;
    m_depthQueue->SetDropCounters(counters);
    m_irQueue->SetDropCounters(counters);
    m_confidenceQueue->SetDropCounters(counters);
}

void TofDecode::Run()
{
    while (IsRunning()) {
        if (m_rawQueue == nullptr) {
            WaitForStop(100);
            continue;
        }
        if (!m_stream || !m_frameState || m_recycle) {
            DrainRaw();
            continue;
        }
        Frame *raw = m_rawQueue->Pop(kFrameRawTof);
        if (raw == nullptr || m_depth == nullptr || m_ir == nullptr || m_confidence == nullptr) {
            if (m_hasDecoded) {
                TFLOG("ret:%d %p %p %p", raw != nullptr ? 0 : -1, static_cast<void *>(m_depth),
                      static_cast<void *>(m_ir), static_cast<void *>(m_confidence));
            }
            if (raw != nullptr && m_dropCounters != nullptr) {
                // Every output frame is still held downstream: the raw frame has nowhere to go.
                m_dropCounters->CountFrame(*raw, DropReason::kQueueFull);
            }
            m_rawQueue->RecycleFrame(raw);
            AllocMissingFrames();
            continue;
        }
        DecodeOne(raw);
        m_rawQueue->RecycleFrame(raw);
    }
}

void TofDecode::DrainRaw()
{
    // Give back what is queued until the queue is empty or the stream is on again.
    while (IsRunning() && m_rawQueue->DropOne(kFrameRawTof) && !m_stream) {
    }
    m_recycle = false;
}

void TofDecode::DecodeOne(Frame *raw)
{
    m_depth->frameType = kFrameDepth;
    m_ir->frameType = kFrameIr;
    bool deliver = true;
    const uint32_t rawLength = raw->dataLen < raw->bufferSize ? raw->dataLen : raw->bufferSize;
    const uint32_t used = DecodeADI(raw->pFrameData, rawLength, *m_depth, *m_ir, &deliver);
    m_hasDecoded = true;
    if (used != 0 && deliver) {
        PushOutputs(*raw);
        ++m_decodedFrames;
        return;
    }
    if (used == 0 && m_dropCounters != nullptr) {
        m_dropCounters->Count(DropStream::kTof, DropReason::kDecodeError);
    }
    // The frame is reused: "left as it was" pixels of the next decode must not show this one.
    if (HoldsImage(*m_depth, kImage16Bytes)) {
        std::memset(m_depth->pFrameData, 0, kImage16Bytes);
    }
}

void TofDecode::PushOutputs(const Frame &raw)
{
    struct Slot
    {
        uint8_t bit;
        Frame **frame;
        FrameQueue *queue;
        FrameType type;
    };
    const Slot slots[] = {{kHasDepth, &m_depth, m_depthQueue.get(), kFrameDepth},
                          {kHasIr, &m_ir, m_irQueue.get(), kFrameIr},
                          {kHasConfidence, &m_confidence, m_confidenceQueue.get(), kFrameConfidence}};
    for (const Slot &slot : slots) {
        if ((raw.hasFrameMask & slot.bit) == 0) {
            continue;
        }
        Frame *frame = *slot.frame;
        frame->frameIndex = raw.frameIndex;
        frame->imuFrameNo = raw.imuFrameNo;
        frame->hasFrameMask = raw.hasFrameMask;
        frame->timestamp = raw.timestamp;
        slot.queue->Push(frame);
        if (m_frameReady) {
            m_frameReady(slot.bit);
        }
        *slot.frame = slot.queue->AllocFrame(slot.type);
    }
}

uint32_t TofDecode::DecodeADI(uint8_t *rawBuffer, uint32_t rawLength, Frame &depth, Frame &ir, bool *deliver)
{
    if (m_confidence == nullptr) {
        m_confidence = m_confidenceQueue->AllocFrame(kFrameConfidence);
    }
    if (m_confidence == nullptr) {
        return 0;
    }
    return DecodeADI(rawBuffer, rawLength, depth, ir, *m_confidence, deliver);
}

uint32_t TofDecode::DecodeADI(uint8_t *rawBuffer, uint32_t rawLength, Frame &depth, Frame &ir,
                              Frame &confidence, bool *deliver)
{
    m_deliver = true;
    if (deliver != nullptr) {
        *deliver = true;
    }
    if (rawBuffer == nullptr || rawLength < kHeaderBytes) {
        TFLOG("raw ToF frame of %u bytes holds no block.", rawLength);
        ++m_rejectedBlocks;
        return 0;
    }
    const uint8_t typeId = rawBuffer[0];
    const uint32_t length = ReadLength24(rawBuffer);
    const uint32_t range = CarriesRange(typeId) ? RangeOfSpareByte(rawBuffer[4]) : m_currentRange.load();
    depth.depthRange = range;
    ir.depthRange = range;
    if (range > 5) {
        TFLOG("depthRange:%d is invalid.", static_cast<int>(range));
        TFLOG("range:%d is invalid.", static_cast<int>(range));
        ++m_rejectedBlocks;
        return 0;
    }
    uint32_t expected = 0;
    switch (typeId) {
    case kTypeTofRaw:
    case kTypeTofWdr:
        expected = kTofRawBytes;
        break;
    case kTypeTofComputed:
        expected = kTofComputedBytes;
        break;
    case kTypeTofDepth:
        expected = kTofImageBytes;
        break;
    default:
        break;
    }
    if (expected == 0 || length != expected) {
        TFLOG("typeId:0x%x dataLenth:%d is invalid.", typeId, static_cast<int>(length));
        ++m_rejectedBlocks;
        return 0;
    }
    if (length > rawLength - kHeaderBytes) {
        TFLOG("typeId:0x%x dataLenth:%d does not fit the raw frame of %u bytes.", typeId,
              static_cast<int>(length), rawLength);
        ++m_rejectedBlocks;
        return 0;
    }
    if (!HoldsImage(depth, kImage16Bytes) || !HoldsImage(ir, kImage16Bytes) ||
        !HoldsImage(confidence, kImage16Bytes)) {
        TFLOG("output frames cannot hold a %ux%u image.", kWidth, kHeight);
        return 0;
    }
    uint8_t *payload = rawBuffer + kHeaderBytes;
    int result = -1;
    switch (typeId) {
    case kTypeTofRaw:
        result = Decode_SONY_RAW_A_B(payload, static_cast<int>(length), depth, ir, confidence);
        break;
    case kTypeTofWdr:
        result = Decode_SONY_WDR_RAW_A_B(payload, static_cast<int>(length), depth, ir, confidence);
        break;
    case kTypeTofComputed:
        result = Decode_SONY_Depth_IR_Confidence(payload, static_cast<int>(length), depth, ir, confidence);
        break;
    default:
        result =
            Decode_SONY_Depth(payload, static_cast<int>(rawLength - kHeaderBytes), depth, ir, confidence);
        break;
    }
    if (deliver != nullptr) {
        *deliver = m_deliver;
    }
    return result == 0 ? length + kHeaderBytes : 0;
}

int TofDecode::Decode_SONY_RAW_A_B(uint8_t *payload, int length, Frame &depth, Frame &ir, Frame &confidence)
{
    return DecodeFourPhase(payload, length, depth, ir, confidence, false);
}

int TofDecode::Decode_SONY_WDR_RAW_A_B(uint8_t *payload, int length, Frame &depth, Frame &ir,
                                       Frame &confidence)
{
    return DecodeFourPhase(payload, length, depth, ir, confidence, true);
}

int TofDecode::DecodeFourPhase(uint8_t *payload, int length, Frame &depth, Frame &ir, Frame &confidence,
                               bool wdrBlock)
{
    if (payload == nullptr || length < static_cast<int>(kTofRawBytes) || !HoldsImage(depth, kImage16Bytes) ||
        !HoldsImage(ir, kImage16Bytes) || !HoldsImage(confidence, kImage16Bytes)) {
        return -1;
    }
    const uint8_t *phases[SonyRawDecoder::kPhaseCount];
    bool phaseNumbersOk = true;
    for (size_t k = 0; k < SonyRawDecoder::kPhaseCount; ++k) {
        phases[k] = payload + k * SonyRawDecoder::kPhaseBlockBytes;
        phaseNumbersOk = phaseNumbersOk && phases[k][SonyRawDecoder::kPhaseNumberOffset] == k;
    }
    if (!phaseNumbersOk) {
        TFLOG("package content error!");
    }

    const uint32_t range = depth.depthRange;
    const DeviceStatus status = StatusSnapshot();
    FourPhaseParams params{};
    params.phaseToMm = SonyRawDecoder::PhaseToMmFactor(range);
    params.temperatureOffset =
        m_temperatureOffset ? DepthRanges::GetTemperatureOffset(range, status.temperatureLD) : 0;
    params.lookup = m_lookup[range].data();
    params.lookupEntries = static_cast<int32_t>(m_lookup[range].size());
    params.maxDepthMm = m_ranges.GetMaxDepth(range);
    params.background = m_background.data();
    SonyRawDecoder::DecodeFourPhase(phases, params, Pixels16(depth), Pixels16(ir), Pixels16(confidence),
                                    kPixels);

    const float temperature = static_cast<float>(status.temperature);
    depth.width = ir.width = confidence.width = kWidth;
    depth.height = ir.height = confidence.height = kHeight;
    depth.dataLen = ir.dataLen = confidence.dataLen = kImage16Bytes;
    ir.pixelFormat = kPixelGray16;
    confidence.frameType = kFrameConfidence;
    confidence.depthRange = depth.depthRange;
    depth.exposureTime = ir.exposureTime = confidence.exposureTime = temperature;
    if (temperature < 30.0f) {
        TFLOG("temperature:%.1f", static_cast<double>(temperature));
    }

    if (!FuseDualFrequency(depth, wdrBlock)) {
        return 0;
    }
    FilterDecoded(depth, ir, confidence);
    return 0;
}

bool TofDecode::FuseDualFrequency(Frame &depth, bool wdrBlock)
{
    const uint32_t range = depth.depthRange;
    const uint32_t mode = m_dataMode;
    const bool fuse = m_wdrStyle.load() == kWdrStyleFuse;
    if (IsDualFrequencyMode(mode) && fuse) {
        const uint32_t first = m_ranges.GetWdrRange(0);
        const uint32_t second = m_ranges.GetWdrRange(1);
        if (range == first) {
            std::memcpy(m_reference.data(), depth.pFrameData, kImage16Bytes);
            m_referenceHeader = depth;
            m_referenceHeader.pFrameData = nullptr;
            m_deliver = !wdrBlock;
            return false;
        }
        if (range == second) {
            DepthRanges::MakeMultiRangeFrame_Sony(Pixels16(depth), m_reference.data(), kPixels,
                                                  m_ranges.GetMaxDepth(range));
        } else {
            TFLOG("wdr range:%d is invalid.", static_cast<int>(range));
        }
    } else if (wdrBlock && fuse && range == m_ranges.GetWdrRange(0)) {
        m_deliver = false;
        return false;
    }
    return true;
}

void TofDecode::FilterDecoded(Frame &depth, Frame &ir, Frame &confidence)
{
    if (m_refine != nullptr) {
        // The range limits must be this frame's before the first filter applies them: after a range
        // change the first frame would otherwise be cut at the previous range's maximum.
        if (!IsMultiRangeMode(m_dataMode) && depth.depthRange != m_currentRange) {
            m_currentRange = depth.depthRange;
            m_ranges.adaptRangeValue(depth.depthRange);
        }
        AlgImage image = Image16(depth);
        m_refine->PreFilterDepth(&image);
        m_refine->PostFilterDepth(&image);
        Undistort(depth, &ir, &confidence);
    }
    if (m_irPixelFormat == kPixelGray8) {
        IRAdjustByGmmGain(ir, static_cast<uint8_t>(m_irGain.load()));
    }
    PostProc(depth, ir, true, true);
    ConfidenceFilterParams filter;
    {
        std::lock_guard<std::mutex> lock(m_paramMutex);
        filter = m_confidenceParams;
    }
    if (filter.enable != 0) {
        if (m_refine != nullptr) {
            AlgImage image = Image16(confidence);
            m_refine->FilterIrImage(&image);
        }
        ConfidenceFilter(depth, ir, confidence);
    }
}

int TofDecode::Decode_SONY_Depth_IR_Confidence(uint8_t *payload, int length, Frame &depth, Frame &ir,
                                               Frame &confidence)
{
    if (payload == nullptr || length < static_cast<int>(kTofComputedBytes) ||
        !HoldsImage(depth, kImage16Bytes) || !HoldsImage(ir, kImage8Bytes) ||
        !HoldsImage(confidence, kImage16Bytes)) {
        return -1;
    }
    const DeviceStatus status = StatusSnapshot();
    const uint32_t mode = m_dataMode;
    const uint32_t range = depth.depthRange;
    std::memcpy(depth.pFrameData, payload, kImage16Bytes);
    depth.width = kWidth;
    depth.height = kHeight;
    depth.dataLen = kImage16Bytes;
    // The multi-range modes other than the dual-frequency ones report one exposure per range.
    const bool perRangeExposure = IsMultiRangeMode(mode) && !IsDualFrequencyMode(mode);
    if (perRangeExposure) {
        if (status.wdr[2] == static_cast<int>(range)) {
            depth.exposureTime = static_cast<float>(status.wdrExposureTime[0]);
        } else if (status.wdr[3] == static_cast<int>(range)) {
            depth.exposureTime = static_cast<float>(status.wdrExposureTime[1]);
        } else {
            TFLOG("depthRange:%d is invalid(%d, %d).", static_cast<int>(range), status.wdr[2], status.wdr[3]);
        }
    } else {
        depth.exposureTime = static_cast<float>(status.exposureTime);
    }
    std::memcpy(ir.pFrameData, payload + kImage16Bytes, kImage8Bytes);
    ir.width = kWidth;
    ir.height = kHeight;
    ir.pixelFormat = kPixelGray8;
    ir.dataLen = kImage8Bytes;
    std::memcpy(confidence.pFrameData, payload + kImage16Bytes + kImage8Bytes, kImage16Bytes);
    confidence.frameType = kFrameConfidence;
    confidence.width = kWidth;
    confidence.height = kHeight;
    confidence.dataLen = kImage16Bytes;
    confidence.depthRange = range;
    if (!perRangeExposure && range != m_currentRange && m_refine != nullptr) {
        m_ranges.adaptRangeValue(range);
    }
    Undistort(depth, &ir, &confidence);
    PostProc(depth, ir, true, false);
    return 0;
}

int TofDecode::Decode_SONY_Depth(uint8_t *payload, int length, Frame &depth, Frame &ir, Frame &confidence)
{
    if (payload == nullptr || length < static_cast<int>(kTofImageBytes) ||
        !HoldsImage(depth, kImage16Bytes)) {
        return -1;
    }
    std::memcpy(depth.pFrameData, payload, kImage16Bytes);
    depth.width = kWidth;
    depth.height = kHeight;
    depth.dataLen = kImage16Bytes;
    size_t offset = kTofImageBytes;
    const size_t available = static_cast<size_t>(length);
    auto nextBlock = [&](uint8_t typeId) -> const uint8_t * {
        if (available - offset < kHeaderBytes + kTofImageBytes) {
            return nullptr;
        }
        const uint8_t *header = payload + offset;
        if (header[0] != typeId || ReadLength24(header) != kTofImageBytes) {
            return nullptr;
        }
        offset += kHeaderBytes + kTofImageBytes;
        return header + kHeaderBytes;
    };
    bool irFilled = false;
    bool confidenceFilled = false;
    if (const uint8_t *irData = nextBlock(kTypeTofIr); irData != nullptr && HoldsImage(ir, kImage16Bytes)) {
        irFilled = true;
        std::memcpy(ir.pFrameData, irData, kImage16Bytes);
        ir.width = kWidth;
        ir.height = kHeight;
        ir.dataLen = kImage16Bytes;
        ir.pixelFormat = kPixelGray16;
    }
    if (const uint8_t *confData = nextBlock(kTypeTofConfidence);
        confData != nullptr && HoldsImage(confidence, kImage16Bytes)) {
        confidenceFilled = true;
        std::memcpy(confidence.pFrameData, confData, kImage16Bytes);
        confidence.frameType = kFrameConfidence;
        confidence.width = kWidth;
        confidence.height = kHeight;
        confidence.dataLen = kImage16Bytes;
        confidence.depthRange = depth.depthRange;
    }
    // Only the images this block filled: the others still hold an earlier, already resampled frame.
    Undistort(depth, irFilled ? &ir : nullptr, confidenceFilled ? &confidence : nullptr);
    return 0;
}

void TofDecode::Undistort(Frame &depth, Frame *ir, Frame *confidence)
{
    if (m_refine == nullptr) {
        return;
    }
    AlgImage depthImage = Image16(depth);
    AlgImage irImage{};
    if (ir != nullptr) {
        irImage = AlgImage{ir->pFrameData, ir->pixelFormat == kPixelGray8 ? ALG_8UC1 : ALG_16UC1, ir->width,
                           ir->height};
    }
    AlgImage confidenceImage{};
    if (confidence != nullptr) {
        confidenceImage = Image16(*confidence);
    }
    m_refine->UndistortTof(&depthImage, ir != nullptr ? &irImage : nullptr,
                           confidence != nullptr ? &confidenceImage : nullptr);
}

int TofDecode::postProcFrame(bool depth, bool ir)
{
    if (m_depth == nullptr || m_ir == nullptr) {
        return -1;
    }
    return PostProc(*m_depth, *m_ir, depth, ir);
}

int TofDecode::PostProc(Frame &depthFrame, Frame &irFrame, bool depth, bool ir)
{
    if (m_refine == nullptr) {
        return -1;
    }
    if (ir) {
        AlgImage image{irFrame.pFrameData, irFrame.pixelFormat == kPixelGray16 ? ALG_16UC1 : ALG_8UC1,
                       irFrame.width, irFrame.height};
        m_refine->FilterIrImage(&image);
    }
    if (depth) {
        const uint32_t range = depthFrame.depthRange;
        if (!IsMultiRangeMode(m_dataMode) && range != m_currentRange) {
            m_currentRange = range;
            m_ranges.adaptRangeValue(range);
        }
        const uint16_t w = depthFrame.width;
        const uint16_t h = depthFrame.height;
        if (w == 480 || w == 360 || h == 480 || h == 360) {
            AlgImage image = Image16(depthFrame);
            m_refine->ProcessDepth(&image, w == 360);
        } else {
            TFLOG("m_dataMode %d  w %d  h %d", static_cast<int>(m_dataMode.load()), w, h);
        }
    }
    return 0;
}

void TofDecode::ConfidenceFilter(Frame &depth, const Frame & /*ir*/, const Frame &confidence)
{
    ConfidenceFilterParams filter;
    {
        std::lock_guard<std::mutex> lock(m_paramMutex);
        filter = m_confidenceParams;
    }
    // Frame is packed: its fields are copied before std::min takes references to them.
    const size_t depthCapacity = depth.bufferSize / 2;
    const size_t confidenceCapacity = confidence.bufferSize / 2;
    const size_t pixels =
        std::min(size_t(depth.width) * depth.height, std::min(depthCapacity, confidenceCapacity));
    uint16_t *depthMm = Pixels16(depth);
    const uint16_t *conf = reinterpret_cast<const uint16_t *>(confidence.pFrameData);
    for (size_t i = 0; i < pixels; ++i) {
        if (conf[i] < filter.threshold) {
            depthMm[i] = 65535;
        } else if (conf[i] > filter.value) {
            depthMm[i] = 0;
        }
    }
}

void TofDecode::IRAdjustByGmmGain(Frame &ir, uint8_t gain)
{
    const size_t pixels = std::min<size_t>(size_t(ir.width) * ir.height, ir.bufferSize / 2);
    const uint16_t *in = Pixels16(ir);
    uint8_t *out = ir.pFrameData;
    // Byte i is written after 16-bit value i was read and never overlaps a value still to come.
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t scaled = (uint32_t(in[i]) * gain) >> 10;
        out[i] = static_cast<uint8_t>(scaled > 255 ? 255 : scaled);
    }
    ir.pixelFormat = kPixelGray8;
    ir.dataLen = static_cast<uint32_t>(pixels);
}

int TofDecode::GetTOFDepth(Frame **frame)
{
    *frame = m_depthQueue->Pop(kFrameDepth);
    return *frame != nullptr ? 0 : -1;
}

int TofDecode::GetTOFIr(Frame **frame)
{
    *frame = m_irQueue->Pop(kFrameIr);
    return *frame != nullptr ? 0 : -1;
}

int TofDecode::GetTOFConfidence(Frame **frame)
{
    *frame = m_confidenceQueue->Pop(kFrameConfidence);
    return *frame != nullptr ? 0 : -1;
}

void TofDecode::SetWaitTime(uint16_t waitTimeMs)
{
    m_depthQueue->SetWaitTime(waitTimeMs);
    m_irQueue->SetWaitTime(waitTimeMs);
    m_confidenceQueue->SetWaitTime(waitTimeMs);
}

void TofDecode::SetIRPixelFormat(PixelFormat format)
{
    TFLOG("pixelFormat:%d", static_cast<int>(format));
    m_irPixelFormat = format;
}

void TofDecode::SetIRGmmGain(uint8_t gain)
{
    TFLOG("gain:%d", gain);
    m_irGain = gain;
}

void TofDecode::SetConfidenceFilterEnable(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_paramMutex);
    m_confidenceParams.enable = enabled ? 1 : 0;
}

void TofDecode::SetConfidenceFilterParams(const ConfidenceFilterParams &params)
{
    std::lock_guard<std::mutex> lock(m_paramMutex);
    m_confidenceParams = params;
}

void TofDecode::SetSaveComputeDepthTab(bool enabled)
{
    if (m_refine != nullptr) {
        m_refine->SetSaveComputeDepthTab(enabled);
    }
}

void TofDecode::SetDataMode(uint32_t dataMode)
{
    if (dataMode != m_dataMode && IsMultiRangeMode(dataMode)) {
        m_ranges.adaptRangeValue(5);
    }
    m_dataMode = dataMode;
}

void TofDecode::SetDepthRange(uint32_t range)
{
    if (IsMultiRangeMode(m_dataMode)) {
        return;
    }
    m_currentRange = range;
    m_ranges.adaptRangeValue(range);
}

int TofDecode::SetWDRStyle(WDRStyle style)
{
    if (!IsDualFrequencyMode(m_dataMode)) {
        TFLOG("wdrStyle:%d is invalid on m_dataMode:%d", static_cast<int>(style),
              static_cast<int>(m_dataMode.load()));
        return -1;
    }
    m_wdrStyle = style;
    if (style == kWdrStyleFuse) {
        m_ranges.adaptRangeValue(5);
    }
    return 0;
}

void TofDecode::SetFrameMode(FrameType type, const FrameMode &mode)
{
    std::lock_guard<std::mutex> lock(m_paramMutex);
    if (type == kFrameDepth) {
        m_depthFrameMode = mode;
    } else if (type == kFrameIr) {
        m_irFrameMode = mode;
    } else {
        TFLOG("frameType:%d is invalid.", static_cast<int>(type));
    }
}
