// SPDX-License-Identifier: Apache-2.0
// StreamHub: the receive thread, the sub-packet rules of a stream buffer and the raw-frame commit.
#include "pipeline/StreamHub.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "pipeline/StreamLayout.h"
#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

using namespace StreamLayout;

namespace {

bool IsKnownType(uint8_t typeId)
{
    switch (typeId) {
    case kTypeTimestamp:
    case kTypeImu:
    case kTypeColorYuv:
    case kTypeUnused:
    case kTypeDeviceStatus:
    case kTypeInitParams:
    case kTypeJsonResult:
    case kTypeDeviceError:
    case kTypeTofRaw:
    case kTypeTofDepth:
    case kTypeTofIr:
    case kTypeTofConfidence:
    case kTypeTofComputed:
    case kTypeTofWdr:
        return true;
    default:
        return IsCompressedColor(typeId);
    }
}

/// Whether a payload length obeys its type's rule.
bool LengthIsValid(uint8_t typeId, uint32_t dataLength)
{
    switch (typeId) {
    case kTypeTimestamp:
        return dataLength == 8;
    case kTypeImu:
        return dataLength == 1;
    case kTypeColorYuv:
        return dataLength == kColorYuvBytes;
    case kTypeUnused:
        return dataLength % kUnusedBlockUnit == 0 && dataLength <= kUnusedBlockMax;
    case kTypeDeviceStatus:
        return dataLength <= kDeviceStatusBytes;
    case kTypeJsonResult:
        return dataLength < 4;
    case kTypeDeviceError:
        return dataLength > 8;
    case kTypeTofRaw:
    case kTypeTofWdr:
        return dataLength == kTofRawBytes;
    case kTypeTofComputed:
        return dataLength == kTofComputedBytes;
    case kTypeTofDepth:
    case kTypeTofIr:
    case kTypeTofConfidence:
        return dataLength == kTofImageBytes;
    default:
        return true; // compressed colour and the calibration block: any length that fits
    }
}

} // namespace

StreamHub::StreamHub(StreamSource *source)
    : StoppableThread("ImageProc"), m_source(source), m_receiveBuffer(kReceiveBufferBytes),
      m_rawTofQueue(std::make_unique<FrameQueue>(kFrameRawTof, kRawQueueCapacity, kRawPoolFrames)),
      m_rawColorQueue(std::make_unique<FrameQueue>(kFrameRawColor, kRawQueueCapacity, kRawPoolFrames))
{
    for (auto &flag : m_streamEnable) {
        flag.store(true);
    }
    m_streamEnable[kStreamConfidence].store(false);
    m_rawTof = m_rawTofQueue->AllocFrame(kFrameRawTof);
    m_rawColor = m_rawColorQueue->AllocFrame(kFrameRawColor);
}

StreamHub::~StreamHub()
{
    Stop();
    Join();
    // The frames being filled are out of their pools, which free only what they hold.
    m_rawTofQueue->RecycleFrame(m_rawTof);
    m_rawColorQueue->RecycleFrame(m_rawColor);
}

void StreamHub::SetWaitTime(uint16_t waitTimeMs)
{
    m_rawTofQueue->SetWaitTime(waitTimeMs);
    m_rawColorQueue->SetWaitTime(waitTimeMs);
}

int StreamHub::GetStreamStatus() const
{
    if (m_consecutiveFailedReads.load() > kStreamLostFailedReads) {
        return 0;
    }
    return m_connect.load() ? 1 : 0;
}

void StreamHub::SetDropCounters(DropCounters *counters)
{
    m_dropCounters = counters;
    m_dropLog = counters != nullptr ? std::make_unique<DropCountersLog>(*counters) : nullptr;
    m_rawTofQueue->SetDropCounters(counters);
    m_rawColorQueue->SetDropCounters(counters);
}

void StreamHub::CountLostBuffer(DropReason reason, bool tofTaken, bool colorTaken)
{
    if (m_dropCounters == nullptr) {
        return;
    }
    const bool tofWanted = IsEnabled(kStreamDepth) || IsEnabled(kStreamIr) || IsEnabled(kStreamConfidence);
    if (!tofTaken && tofWanted && m_committedTof.load() > 0) {
        m_dropCounters->Count(DropStream::kTof, reason);
    }
    if (!colorTaken && IsEnabled(kStreamColor) && m_committedColor.load() > 0) {
        m_dropCounters->Count(DropStream::kColor, reason);
    }
}

void StreamHub::CountRefusedByConnection()
{
    const uint64_t refused = m_source->GetRefusedBufferCount();
    // A new connection counts from 0 again: its refusals are all new.
    const uint64_t before = refused < m_refusedBuffersSeen ? 0 : m_refusedBuffersSeen;
    for (uint64_t i = before; i < refused; ++i) {
        CountLostBuffer(DropReason::kBufferRefused, false, false);
    }
    m_refusedBuffersSeen = refused;
}

void StreamHub::Run()
{
    while (IsRunning()) {
        if (m_dropLog) {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            m_dropLog->Poll(
                static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
        }
        if (m_source == nullptr || !m_source->HasProtocol() || !m_connect.load()) {
            WaitForStop(kRetryPauseMs);
            continue;
        }
        uint32_t length = 0;
        const bool read = m_source->ReadData(m_receiveBuffer.data(), kReceiveBufferBytes, length);
        // A read that yields no buffer is a failure too: a silent or closed connection must back off
        // and show in the failed-read count instead of spinning.
        if (read && length >= 1 && length <= kReceiveBufferBytes) {
            m_consecutiveFailedReads.store(0);
            m_buffersRead.fetch_add(1);
            if (RawRecorder *recorder = m_rawRecorder.load()) {
                recorder->Offer(m_receiveBuffer.data(), length);
            }
            ProcessData(length, nullptr);
        } else {
            m_consecutiveFailedReads.fetch_add(1);
            m_failedReads.fetch_add(1);
            CountRefusedByConnection();
            WaitForStop(kRetryPauseMs);
        }
    }
}

void StreamHub::ProcessData(uint32_t length, uint8_t *buffer)
{
    if (buffer == nullptr) {
        buffer = m_receiveBuffer.data();
        if (length > kReceiveBufferBytes) {
            TFLOG("bufferSize:%u is larger than the receive buffer.", length);
            m_malformedBuffers.fetch_add(1);
            CountLostBuffer(DropReason::kBufferRefused, false, false);
            return;
        }
    }
    if (m_rawTof == nullptr || m_rawColor == nullptr) {
        TFLOG("mPtrRaw:%p %p is NULL.", static_cast<void *>(m_rawTof), static_cast<void *>(m_rawColor));
        if (m_rawTof == nullptr) {
            m_rawTof = m_rawTofQueue->AllocFrame(kFrameRawTof);
        }
        if (m_rawColor == nullptr) {
            m_rawColor = m_rawColorQueue->AllocFrame(kFrameRawColor);
        }
        m_droppedNoFrame.fetch_add(1);
        CountLostBuffer(DropReason::kQueueFull, false, false);
        return;
    }
    m_hasFrameType = 0;
    m_timestamp = 0;
    m_imuFrameNo = 0;
    m_tofBytes = 0;
    // Colour is committed only with the buffer that carried it, never under a later frame index.
    m_rawColor->dataLen = 0;

    m_bufferCarriedStatus = false;
    bool clean = false;
    if (length == 0) {
        clean = true;
    } else if (length < kHeaderBytes) {
        TFLOG("bufferSize:%d  unUsed:%d   RAWDATAHEADER:%d   <", static_cast<int>(length),
              static_cast<int>(length), static_cast<int>(kHeaderBytes));
        m_malformedBuffers.fetch_add(1);
    } else {
        clean = ParseSubPackets(buffer, length) == Outcome::Clean;
        if (!clean) {
            m_malformedBuffers.fetch_add(1);
        }
    }
    if (!clean) {
        // What was parsed before the bad part is still committed; only the parts not taken are lost.
        CountLostBuffer(DropReason::kBufferRefused, m_tofBytes > 0, m_rawColor->dataLen > 0);
    }

    // Only a buffer that really had no status says the camera sends none: the session may ask while a
    // buffer that carried one is being parsed.
    if (clean && !m_bufferCarriedStatus && m_source != nullptr && m_source->IsDeviceStatusRequested()) {
        m_source->SetDeviceStatusRequested(false);
        m_source->SetDeviceStatusFollowed(false);
        TFLOG("set DeviceSync false only once");
    }
    if (m_saveRawBuffer.load() && length != 0) {
        if (m_dumpedBuffers.fetch_add(1) + 1 >= kRawDumpBuffers) {
            m_saveRawBuffer.store(false);
        }
    }
    m_buffersParsed.fetch_add(1);
    Commit();
}

StreamHub::Outcome StreamHub::ParseSubPackets(const uint8_t *data, uint32_t length)
{
    ByteReader reader(data, length);
    while (true) {
        const size_t start = reader.Position();
        const size_t remaining = reader.Remaining();
        const uint8_t typeId = reader.ReadU8();
        uint32_t dataLength = 0;
        uint8_t unUsed = 0;
        uint32_t headerBytes = kHeaderBytes;
        if (typeId == kTypeDeviceStatus) {
            dataLength = reader.ReadU16Le();
            headerBytes = kStatusHeaderBytes;
        } else {
            dataLength = reader.ReadU24Le();
            unUsed = reader.ReadU8();
        }
        if (dataLength > remaining - headerBytes) {
            TFLOG("bufferSize:%d typeId:%d dataLenth.lenth:%d   unUsed:%d   >", static_cast<int>(length),
                  typeId, static_cast<int>(dataLength), static_cast<int>(remaining - headerBytes));
            return Outcome::Stopped;
        }
        if (!IsKnownType(typeId)) {
            return Outcome::Stopped;
        }
        if (!LengthIsValid(typeId, dataLength)) {
            const int unused = static_cast<int>(remaining) - static_cast<int>(kHeaderBytes);
            if (typeId == kTypeImu) {
                TFLOG("imu bufferSize:%d typeId:0x%x lenth:%d unUsed:%d", static_cast<int>(length), typeId,
                      static_cast<int>(dataLength), unused);
            } else if (typeId == kTypeDeviceStatus) {
                TFLOG("error bufferSize:%d typeId:0x%x lenth:%d unUsed:%d", static_cast<int>(length), typeId,
                      static_cast<int>(dataLength), unused);
                TFLOG("");
            } else {
                TFLOG("bufferSize:%d typeId:0x%x lenth:%d unUsed:%d", static_cast<int>(length), typeId,
                      static_cast<int>(dataLength), unused);
            }
            return Outcome::Stopped;
        }
        if (!ApplySubPacket(typeId, data + start, dataLength, unUsed)) {
            return Outcome::Stopped;
        }
        reader.Skip(dataLength);
        const size_t left = reader.Remaining();
        if (left == 0) {
            return Outcome::Clean;
        }
        if (left < kHeaderBytes) {
            TFLOG("bufferSize:%d  unUsed:%d   RAWDATAHEADER:%d   <", static_cast<int>(length),
                  static_cast<int>(left), static_cast<int>(kHeaderBytes));
            return Outcome::Stopped;
        }
    }
}

bool StreamHub::ApplySubPacket(uint8_t typeId, const uint8_t *packet, uint32_t dataLength, uint8_t unUsed)
{
    const uint8_t *payload = packet + (typeId == kTypeDeviceStatus ? kStatusHeaderBytes : kHeaderBytes);
    ByteReader fields(payload, dataLength);
    const bool tofWanted = IsEnabled(kStreamDepth) || IsEnabled(kStreamIr) || IsEnabled(kStreamConfidence);
    switch (typeId) {
    case kTypeTimestamp:
        m_timestamp = fields.ReadU64Le();
        return true;
    case kTypeImu:
        if (IsEnabled(kStreamImu)) {
            m_imuFrameNo = fields.ReadU8();
        }
        return true;
    case kTypeUnused:
        return true;
    case kTypeDeviceStatus:
        m_bufferCarriedStatus = true;
        StoreDeviceStatus(payload, static_cast<uint16_t>(dataLength));
        return true;
    case kTypeInitParams:
        DecodeDeviceInitParams(payload, static_cast<int>(dataLength));
        return true;
    case kTypeJsonResult:
        StoreJsonResult(payload, dataLength);
        return true;
    case kTypeDeviceError:
        m_deviceErrorCode.store(static_cast<int8_t>(fields.ReadU8()));
        return true;
    case kTypeTofRaw:
    case kTypeTofComputed:
    case kTypeTofWdr: {
        if (!tofWanted) {
            return true;
        }
        uint8_t bits = kHasDepth | kHasIr;
        if (IsEnabled(kStreamConfidence)) {
            bits |= kHasConfidence;
        }
        if (!AppendTof(packet, dataLength, bits)) {
            return false;
        }
        if (m_saveRawBuffer.load()) {
            DumpRaw(payload, dataLength,
                    typeId == kTypeTofWdr ? static_cast<int>(RangeOfSpareByte(unUsed)) : -1);
        }
        return true;
    }
    case kTypeTofDepth:
        return !IsEnabled(kStreamDepth) || AppendTof(packet, dataLength, kHasDepth);
    case kTypeTofIr:
        return !IsEnabled(kStreamIr) || AppendTof(packet, dataLength, kHasIr);
    case kTypeTofConfidence:
        return !IsEnabled(kStreamConfidence) || AppendTof(packet, dataLength, kHasConfidence);
    default: // compressed colour and the 12-bit colour frame
        return !IsEnabled(kStreamColor) || CopyColor(packet, dataLength);
    }
}

bool StreamHub::AppendTof(const uint8_t *packet, uint32_t dataLength, uint8_t bits)
{
    const uint32_t blockBytes = dataLength + kHeaderBytes;
    if (blockBytes > m_rawTof->bufferSize - m_tofBytes) {
        TFLOG("typeId:0x%x lenth:%u does not fit the raw ToF frame (%u of %u bytes used), rejected.",
              packet[0], dataLength, m_tofBytes, m_rawTof->bufferSize);
        m_rejectedBlocks.fetch_add(1);
        return false;
    }
    std::memcpy(m_rawTof->pFrameData + m_tofBytes, packet, blockBytes);
    m_tofBytes += blockBytes;
    m_hasFrameType |= bits;
    return true;
}

bool StreamHub::CopyColor(const uint8_t *packet, uint32_t dataLength)
{
    const uint32_t blockBytes = dataLength + kHeaderBytes;
    if (blockBytes > m_rawColor->bufferSize) {
        TFLOG("typeId:0x%x lenth:%u does not fit the raw colour frame (%u bytes), rejected.", packet[0],
              dataLength, m_rawColor->bufferSize);
        m_rejectedBlocks.fetch_add(1);
        return false;
    }
    std::memcpy(m_rawColor->pFrameData, packet, blockBytes);
    m_rawColor->dataLen = blockBytes;
    m_hasFrameType |= kHasColor;
    return true;
}

void StreamHub::StoreDeviceStatus(const uint8_t *payload, uint16_t payloadLength)
{
    if (m_source == nullptr) {
        return;
    }
    if (m_source->IsDeviceStatusRequested()) {
        m_source->SetDeviceStatusRequested(false);
        m_source->SetDeviceStatusFollowed(true);
    }
    DeviceStatus *stored = m_source->GetDeviceStatus();
    if (stored == nullptr) {
        return;
    }
    uint8_t before[kDeviceStatusBytes];
    EncodeDeviceStatus(*stored, before);
    uint8_t after[kDeviceStatusBytes];
    std::memcpy(after, before, sizeof(after));
    // A short record updates only the bytes it carries; the rest keep their stored values.
    ByteReader(payload, payloadLength).ReadBytes(after, payloadLength);

    // Temperatures follow the camera silently: copy them first so that they never count as a change.
    constexpr size_t kLaserAt = offsetof(DeviceStatus, temperatureLD);
    constexpr size_t kSensorAt = offsetof(DeviceStatus, temperature);
    if (payloadLength >= kLaserAt + 2) {
        std::memcpy(before + kLaserAt, after + kLaserAt, 2);
        const auto laser = static_cast<int16_t>(after[kLaserAt] | (after[kLaserAt + 1] << 8));
        if (laser == 0) {
            TFLOG("temperature:%d", laser);
        }
    }
    if (payloadLength > kSensorAt) {
        before[kSensorAt] = after[kSensorAt];
    }
    const bool changed = std::memcmp(before, after, payloadLength) != 0;
    DeviceStatus updated{};
    DecodeDeviceStatus(after, sizeof(after), updated);
    {
        std::lock_guard<std::mutex> lock(m_source->StatusLock());
        *stored = updated;
    }
    if (changed) {
        const DeviceStatus &s = updated;
        TFLOG("DeviceStatus: workMode:%d, slaveMode:%d, w:%d, h:%d, mode:%d, range:%d, exposureTime:%d, "
              "gmmGain:%d, "
              "temperatureLD:%d,             wdr:(%d %d %d %d %d), exposureTime:(%d, %d, %d), gmmGain:(%d, "
              "%d, %d), "
              "bgThreshold:(%d, %d, %d), temperature:%d,             dsp:(%d, %d, %d, %d, %d, %d), rgb:(%d, "
              "%d, %d, "
              "%d, %d)",
              s.workMode, s.slaveMode, s.width, s.height, s.mode, s.range, static_cast<int>(s.exposureTime),
              s.gmmGain, s.temperatureLD, s.wdr[0], s.wdr[1], s.wdr[2], s.wdr[3], s.wdr[4],
              static_cast<int>(s.wdrExposureTime[0]), static_cast<int>(s.wdrExposureTime[1]),
              static_cast<int>(s.wdrExposureTime[2]), s.wdrGmmGain[0], s.wdrGmmGain[1], s.wdrGmmGain[2],
              s.bgThreshold[0], s.bgThreshold[1], s.bgThreshold[2], s.temperature, s.dsp[0], s.dsp[1],
              s.dsp[2], s.dsp[3], s.dsp[4], s.dsp[5], s.rgb1, s.rgb2, s.rgb3, s.rgb4, s.rgb5);
    }
}

void StreamHub::StoreJsonResult(const uint8_t *payload, uint32_t payloadLength)
{
    // Only the bytes the camera sent are taken: a short result never reads into the next sub-packet.
    if (payloadLength < 1) {
        return;
    }
    m_jsonStatus.store(payload[0]);
    if (payload[0] > 1 && payloadLength >= 3) {
        m_jsonSuccess.store(payload[1]);
        m_jsonErrorCode.store(payload[2]);
        if (payload[1] == 0) {
            TFLOG("Json config error:%d.", payload[2]);
        }
    }
}

int StreamHub::DecodeDeviceInitParams(const uint8_t *data, int length)
{
    if (data == nullptr || length < static_cast<int>(kHeaderBytes)) {
        TFLOG("pData:%p, length:%d is invalid.", static_cast<const void *>(data), length);
        return -1;
    }
    if (!m_bReceiveInitCameraParams.load()) {
        InitCameraParams received{};
        if (length == static_cast<int>(kInitCameraParamsBytes) &&
            DecodeInitCameraParams(data, static_cast<size_t>(length), received) &&
            // Bytes, not values: a block that differs in any byte (a NaN included) is a new block.
            // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
            std::memcmp(&received, &m_initParams, sizeof(received)) != 0) {
            m_initParams = received;
            LogInitParams();
            if (m_source != nullptr) {
                m_source->StoreInitCameraParams(m_initParams);
            }
        } else {
            TFLOG("length is invalid:(%d != %d)", length, static_cast<int>(kInitCameraParamsBytes));
        }
        m_bReceiveInitCameraParams.store(true);
        TFLOG("m_bReceiveInitCameraParams TRUE");
    }
    if (m_source != nullptr) {
        m_source->SendCameraParamsEnable(false);
    }
    return 0;
}

void StreamHub::LogInitParams() const
{
    const InitCameraParams &p = m_initParams;
    // The doubles lead the packed record; an aligned copy keeps every read aligned.
    double v[46];
    std::memcpy(v, &p, sizeof(v));
    const double *k = v;
    const double *d = v + 9;
    const double *rk = v + 17;
    const double *rd = v + 26;
    const double *r = v + 34;
    const double *t = v + 43;
    TFLOG("InitCameraParams: tofIntrinsic:(%8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f) "
          "tofDistortion:(%8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f) "
          "rgbIntrinsic:(%8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f) "
          "rgbDistortion:(%8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f) "
          "rotation:(%8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f %8.6f) translation:(%8.6f %8.6f %8.6f) "
          "depthMax:(%d %d %d, %d %d %d, %d %d %d, %d %d %d, %d %d %d, %d %d %d) range:%d mode:%d "
          "wdr:(%u %u %u %u) rangeList:%d modeList:%d rgbEnable:%d rgbW:%d rgbH:%d",
          k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8], d[0], d[1], d[2], d[3], d[4], d[5], d[6],
          d[7], rk[0], rk[1], rk[2], rk[3], rk[4], rk[5], rk[6], rk[7], rk[8], rd[0], rd[1], rd[2], rd[3],
          rd[4], rd[5], rd[6], rd[7], r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], t[0], t[1], t[2],
          p.depthMax[0][0], p.depthMax[1][0], p.depthMax[2][0], p.depthMax[0][1], p.depthMax[1][1],
          p.depthMax[2][1], p.depthMax[0][2], p.depthMax[1][2], p.depthMax[2][2], p.depthMax[0][3],
          p.depthMax[1][3], p.depthMax[2][3], p.depthMax[0][4], p.depthMax[1][4], p.depthMax[2][4],
          p.depthMax[0][5], p.depthMax[1][5], p.depthMax[2][5], p.range, p.mode, p.wdr[0], p.wdr[1], p.wdr[2],
          p.wdr[3], p.rangeListCount, p.modeListCount, p.rgbEnable, p.rgbW, p.rgbH);
}

bool StreamHub::GetDeviceInitParams(InitCameraParams &params) const
{
    // The record is written once, on the receiving thread, before the flag is set; read it only after.
    if (!m_bReceiveInitCameraParams.load()) {
        return false;
    }
    params = m_initParams;
    return true;
}

DeviceStatus *StreamHub::GetDeviceStatus()
{
    return m_source == nullptr ? nullptr : m_source->GetDeviceStatus();
}

void StreamHub::SetConnectStatus(bool connected)
{
    TFLOG("isConnect:%d", connected ? 1 : 0);
    m_connect.store(connected);
}

int StreamHub::SetStreamEnable(StreamType type, bool enabled)
{
    if (static_cast<uint32_t>(type) > kStreamConfidence) {
        return -1;
    }
    m_streamEnable[type].store(enabled);
    return 0;
}

int StreamHub::GetStreamEnable(StreamType type) const
{
    if (static_cast<uint32_t>(type) > kStreamConfidence) {
        return -1;
    }
    return m_streamEnable[type].load() ? 1 : 0;
}

void StreamHub::SetSaveRawBufferEnabled(bool enabled)
{
    m_dumpedBuffers.store(0);
    m_saveRawBuffer.store(enabled);
}

void StreamHub::DumpRaw(const uint8_t *payload, uint32_t payloadLength, int rangeOrMinus1)
{
    char name[64];
    if (rangeOrMinus1 < 0) {
        std::snprintf(name, sizeof(name), "raw_TOF_%ud.bin", m_frameCounter);
    } else {
        std::snprintf(name, sizeof(name), "raw_TOF_%d_%ud.bin", rangeOrMinus1, m_frameCounter);
    }
    ++m_frameCounter;
    FILE *file = std::fopen(name, "ab");
    if (file == nullptr) {
        TFLOG("open %s failed.", name);
        return;
    }
    if (std::fwrite(payload, 1, payloadLength, file) != payloadLength) {
        TFLOG("write %s failed.", name);
    }
    std::fclose(file);
}

void StreamHub::ClearFrame(Frame *frame)
{
    frame->frameIndex = 0;
    frame->imuFrameNo = 0;
    frame->dataLen = 0;
    frame->exposureTime = 0;
    frame->depthRange = 0;
    frame->width = 0;
    frame->height = 0;
    frame->hasFrameMask = 0;
    frame->timestamp = 0;
    std::memset(frame->pFrameData, 0, frame->bufferSize);
}

void StreamHub::Commit()
{
    if (!m_streamOn.load()) {
        return;
    }
    if (!m_frameState.load()) {
        m_discardCount = kDiscardAfterFrameState;
    }
    if (m_discardCount > 0) {
        ClearFrame(m_rawTof);
        ClearFrame(m_rawColor);
        --m_discardCount;
        m_discardedBuffers.fetch_add(1);
        return;
    }
    if (m_hasFrameType != 0) {
        ++m_frameCounter;
    }
    auto stamp = [this](Frame *frame, uint32_t bytes) {
        frame->dataLen = bytes;
        frame->frameIndex = m_frameCounter;
        frame->imuFrameNo = m_imuFrameNo;
        frame->hasFrameMask = m_hasFrameType;
        frame->timestamp = m_timestamp;
    };
    if (m_tofBytes > 0 && m_frameCounter >= kFirstCommittedFrame) {
        stamp(m_rawTof, m_tofBytes);
        m_rawTofQueue->Push(m_rawTof);
        m_committedTof.fetch_add(1);
        m_rawTof = m_rawTofQueue->AllocFrame(kFrameRawTof);
    } else {
        m_rawTof->dataLen = 0;
    }
    if (m_rawColor->dataLen > 0 && m_frameCounter >= kFirstCommittedFrame) {
        stamp(m_rawColor, m_rawColor->dataLen);
        m_rawColorQueue->Push(m_rawColor);
        m_committedColor.fetch_add(1);
        m_rawColor = m_rawColorQueue->AllocFrame(kFrameRawColor);
    }
}

int StreamHub::GetTofRawData(Frame **frame)
{
    *frame = m_rawTofQueue->Pop(kFrameRawTof);
    return *frame == nullptr ? -1 : 0;
}

int StreamHub::GetRGBRawData(Frame **frame)
{
    *frame = m_rawColorQueue->Pop(kFrameRawColor);
    return *frame == nullptr ? -1 : 0;
}

void StreamHub::RecycleRawTofFrame(Frame *frame)
{
    m_rawTofQueue->RecycleFrame(frame);
}

void StreamHub::RecycleRawColorFrame(Frame *frame)
{
    m_rawColorQueue->RecycleFrame(frame);
}

HubCounters StreamHub::GetCounters() const
{
    HubCounters c;
    c.buffersRead = m_buffersRead.load();
    c.failedReads = m_failedReads.load();
    c.consecutiveFailedReads = m_consecutiveFailedReads.load();
    c.buffersParsed = m_buffersParsed.load();
    c.malformedBuffers = m_malformedBuffers.load();
    c.rejectedBlocks = m_rejectedBlocks.load();
    c.committedTof = m_committedTof.load();
    c.committedColor = m_committedColor.load();
    c.discardedBuffers = m_discardedBuffers.load();
    c.droppedNoFrame = m_droppedNoFrame.load();
    return c;
}
