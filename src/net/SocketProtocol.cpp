// SPDX-License-Identifier: Apache-2.0
// SocketProtocol: lifecycle, transactions, stream and mode commands, the stubs and the property keys.
#include "net/SocketProtocol.h"
#include "net/WireBytes.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "net/ProtocolChecks.h"
#include "runtime/LogCustom.h"

namespace {

constexpr int kCmdCameraParams = 0x01;
constexpr int kCmdSlaveMode = 0x02;
constexpr int kCmdExposure = 0x03;
constexpr int kCmdFrameRate = 0x04;
constexpr int kCmdRegister = 0x05;
constexpr int kCmdDataMode = 0x06;
constexpr int kCmdDepthRange = 0x07;
constexpr int kCmdDualFreq = 0x08;
constexpr int kCmdMeasuringRange = 0x11;
constexpr int kCmdWorkMode = 0x12;
constexpr int kCmdLens = 0x15;
constexpr int kCmdStream = 0x1B;
constexpr int kCmdTestMode = 0x1E;
constexpr int kCmdSlaveTrigger = 0x1F;
constexpr int kCmdHeartBeat = 0x9C;

constexpr uint8_t kSlaveEnableSelector = 8;
constexpr uint8_t kGmmGainSelector = 4;
constexpr uint8_t kRebootSelector = 8;
constexpr uint8_t kLowPowerWorkMode = 0x20;
constexpr auto kWorkModeSettle = std::chrono::milliseconds(100);

/// Room for any request payload and any reply data (the data length is one byte).
constexpr int kPayloadBytes = 256;

void MeasuringRangeToBytes(const MeasuringRange &range, uint8_t *p)
{
    p[0] = range.mode;
    PutU16(p + 1, range.range0);
    PutU16(p + 3, range.range1);
    PutU16(p + 5, range.range2);
}

void LensToBytes(const LensConfig &lens, uint8_t *p)
{
    p[0] = lens.type;
    p[1] = lens.state;
    PutU16(p + 2, lens.width);
    PutU16(p + 4, lens.height);
    p[6] = lens.fps;
    p[7] = lens.encodeType;
}

/// Copies a property record of `size` bytes into `record` (zero-filled first), never reading past either.
template <typename Record> bool RecordFromProperty(const void *data, int size, Record &record)
{
    std::memset(&record, 0, sizeof(record));
    if (data == nullptr || size <= 0) {
        TFLOG("invalid param: size:%d", size);
        return false;
    }
    std::memcpy(&record, data, std::min(sizeof(record), static_cast<size_t>(size)));
    return true;
}

/// Copies `record` back into a property buffer of `size` bytes.
template <typename Record> void RecordToProperty(const Record &record, void *data, int size)
{
    std::memcpy(data, &record, std::min(sizeof(record), static_cast<size_t>(size)));
}

/// A list property holds a count byte and at most size - 1 entries.
template <typename List> void ClampListToProperty(List &list, int size)
{
    const int room = std::min(size - 1, kMaxListEntries);
    if (list.count > room) {
        TFLOG("list count:%d is cut to %d", static_cast<int>(list.count), room);
        list.count = static_cast<uint8_t>(std::max(room, 0));
    }
}

} // namespace

SocketProtocol::SocketProtocol(SessionInfo &info)
    : m_info(info), m_socketCtl(std::make_unique<SocketCtl>(info.ip, info.dataPort, info.cmdPort))
{
}

SocketProtocol::~SocketProtocol() = default;

int SocketProtocol::OpenDevice()
{
    const int ret = m_socketCtl->openDevice();
    if (ret == 0) {
        m_opened.store(true);
    }
    return ret;
}

int SocketProtocol::CloseDevice()
{
    m_opened.store(false);
    TFLOG("1");
    std::unique_lock<std::mutex> lock(m_mutex);
    m_transferIdleCv.wait(lock, [this] { return m_transferIdle; });
    TFLOG("2");
    m_socketCtl->closeDevice();
    return 0;
}

void SocketProtocol::BeginTransfer()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transferIdle = false;
}

void SocketProtocol::EndTransfer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_transferIdle = true;
    }
    m_transferIdleCv.notify_all();
}

int SocketProtocol::Transact(int cmd, uint8_t *payload, int cap, int len, int type)
{
    return m_socketCtl->SetCmd(cmd, reinterpret_cast<char *>(payload), cap, len, type);
}

int SocketProtocol::SetCmd(int cmd, char *buf, int cap, unsigned char len, int type)
{
    return m_socketCtl->SetCmd(cmd, buf, cap, len, type);
}

int SocketProtocol::GetHeartBeat()
{
    uint8_t payload[kPayloadBytes] = {1};
    TF_RETURN_IF_FAILED(Transact(kCmdHeartBeat, payload, 1, 1, kKindGet));
    return 0;
}

int SocketProtocol::ReadData(unsigned char *buf, int *len)
{
    return ReadData(buf, len, kStreamBufferBytes);
}

int SocketProtocol::ReadData(unsigned char *buf, int *len, int capacity)
{
    m_socketCtl->ReadData(buf, len, capacity);
    return 0;
}

int SocketProtocol::StartStream()
{
    TF_RETURN_IF_NOT_OPENED(SocketCtl::kOpenFailed);
    uint8_t payload[kPayloadBytes] = {1};
    TF_RETURN_IF_FAILED(Transact(kCmdStream, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::StopStream()
{
    TF_RETURN_IF_NOT_OPENED(SocketCtl::kOpenFailed);
    uint8_t payload[kPayloadBytes] = {0};
    TF_RETURN_IF_FAILED(Transact(kCmdStream, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::SetTofFrameRate(uint8_t rate)
{
    TFLOG("%d", rate);
    uint8_t payload[kPayloadBytes] = {rate};
    TF_RETURN_IF_FAILED(Transact(kCmdFrameRate, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::GetTofFrameRate(uint8_t *rate)
{
    TF_RETURN_IF_NULL(rate);
    uint8_t payload[kPayloadBytes] = {0};
    TF_RETURN_IF_FAILED(Transact(kCmdFrameRate, payload, 1, 1, kKindGet));
    *rate = payload[0];
    TFLOG("%d", *rate);
    return 0;
}

int SocketProtocol::SetDataMode(const uint8_t &mode)
{
    TFLOG("%d", mode);
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {mode};
    TF_RETURN_IF_FAILED(Transact(kCmdDataMode, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::GetDataMode(uint8_t *mode)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TF_RETURN_IF_NULL(mode);
    uint8_t payload[kPayloadBytes] = {*mode};
    TF_RETURN_IF_FAILED(Transact(kCmdDataMode, payload, 1, 1, kKindGet));
    *mode = payload[0];
    TFLOG(" %d", *mode);
    return 0;
}

int SocketProtocol::GetDepthMode(uint8_t *)
{
    return 0;
}

int SocketProtocol::SetDepthRange(const DepthRange &range)
{
    TFLOG("%d", static_cast<int>(range.range));
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {static_cast<uint8_t>(range.range)};
    TF_RETURN_IF_FAILED(Transact(kCmdDepthRange, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::GetDepthRange(DepthRange &range)
{
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {};
    TF_RETURN_IF_FAILED(Transact(kCmdDepthRange, payload, 1, 0, kKindGet));
    range.range = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(payload[0])));
    TFLOG("%d", static_cast<int>(range.range));
    return 0;
}

int SocketProtocol::SetSlaveMode(uint8_t mode)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("value:%d", mode);
    uint8_t payload[kPayloadBytes] = {static_cast<uint8_t>(mode % 3)};
    TF_RETURN_IF_FAILED(Transact(kCmdSlaveMode, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::SetSlaveModeEnabled(bool enabled)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("bEnabled:%d", enabled ? 1 : 0);
    uint8_t payload[kPayloadBytes] = {kSlaveEnableSelector, static_cast<uint8_t>(enabled ? 1 : 0)};
    TF_RETURN_IF_FAILED(Transact(kCmdSlaveMode, payload, 0, 2, kKindSet));
    return 0;
}

int SocketProtocol::GetSlaveMode(uint8_t *mode)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TF_RETURN_IF_NULL(mode);
    uint8_t payload[kPayloadBytes] = {*mode};
    TF_RETURN_IF_FAILED(Transact(kCmdSlaveMode, payload, 1, 1, kKindGet));
    *mode = payload[0];
    TFLOG("value:%d", *mode);
    return 0;
}

int SocketProtocol::SetSlaveTrigger()
{
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {0};
    TF_RETURN_IF_FAILED(Transact(kCmdSlaveTrigger, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::SetGMMGain(uint8_t gain)
{
    TFLOG("%d", gain);
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {kGmmGainSelector, gain};
    TF_RETURN_IF_FAILED(Transact(kCmdLens, payload, 0, 2, kKindSet));
    return 0;
}

int SocketProtocol::GetGMMGain(uint8_t *gain)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TF_RETURN_IF_NULL(gain);
    uint8_t payload[kPayloadBytes] = {kGmmGainSelector};
    TF_RETURN_IF_FAILED(Transact(kCmdLens, payload, 2, 1, kKindGet));
    *gain = payload[1];
    return 0;
}

int SocketProtocol::SetLens(LensConfig &lens)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("");
    TFLOG("info LensConfig(type:%d state:%d fps:%d h:%d w:%d encodeType:%d)", lens.type, lens.state, lens.fps,
          lens.height, lens.width, lens.encodeType);
    uint8_t payload[kPayloadBytes] = {};
    LensToBytes(lens, payload);
    TF_RETURN_IF_FAILED(Transact(kCmdLens, payload, 0, sizeof(LensConfig), kKindSet));
    return 0;
}

int SocketProtocol::GetLens(LensConfig &lens)
{
    uint8_t payload[kPayloadBytes] = {lens.type};
    TF_RETURN_IF_FAILED(Transact(kCmdLens, payload, 64, 1, kKindGet));
    lens.type = payload[0];
    lens.state = payload[1];
    lens.width = GetU16(payload + 2);
    lens.height = GetU16(payload + 4);
    lens.fps = payload[6];
    lens.encodeType = payload[7];
    return 0;
}

int SocketProtocol::SetDualFreqMode(DualFreqMode &mode)
{
    TFLOG("wdr:%d, %d, %d, %d", mode.count, mode.values[0], mode.values[1], mode.values[2]);
    // A malformed setting is refused before anything else, open or not.
    if (mode.count != 2) {
        TFLOG("wdr range count:%d is invalid.", mode.count);
        return -1;
    }
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {2, static_cast<uint8_t>(mode.values[0]),
                                      static_cast<uint8_t>(mode.values[1]),
                                      static_cast<uint8_t>(mode.values[2])};
    TF_RETURN_IF_FAILED(Transact(kCmdDualFreq, payload, 0, 4, kKindSet));
    return 0;
}

int SocketProtocol::GetDualFreqMode(DualFreqMode *mode)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TF_RETURN_IF_NULL(mode);
    uint8_t payload[kPayloadBytes] = {};
    TF_RETURN_IF_FAILED(Transact(kCmdDualFreq, payload, 4, 4, kKindGet));
    mode->count = static_cast<int8_t>(payload[0]);
    for (int i = 0; i < 3; ++i) {
        mode->values[i] = static_cast<int8_t>(payload[1 + i]);
    }
    TFLOG("wdr:%d, %d, %d, %d", mode->count, mode->values[0], mode->values[1], mode->values[2]);
    return 0;
}

int SocketProtocol::SetExposureTime(const ExposureTime &exposure)
{
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {exposure.index};
    PutU32(payload + 1, exposure.exposureTime);
    TFLOG("%x %x %x %x %x", payload[0], payload[1], payload[2], payload[3], payload[4]);
    TF_RETURN_IF_FAILED(Transact(kCmdExposure, payload, 0, 5, kKindSet));
    return 0;
}

int SocketProtocol::GetExposureTime(ExposureTime *exposure)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TF_RETURN_IF_NULL(exposure);
    uint8_t payload[kPayloadBytes] = {exposure->index};
    TF_RETURN_IF_FAILED(Transact(kCmdExposure, payload, 5, 1, kKindGet));
    exposure->exposureTime = GetU32(payload + 1);
    TFLOG("%x %x %x %x %x", payload[0], payload[1], payload[2], payload[3], payload[4]);
    return 0;
}

int SocketProtocol::SetMeasuringRange(const MeasuringRange &range)
{
    TFLOG("range:%d, %d, %d, %d", range.mode, range.range2, range.range0, range.range1);
    uint8_t payload[kPayloadBytes] = {};
    MeasuringRangeToBytes(range, payload);
    TF_RETURN_IF_FAILED(Transact(kCmdMeasuringRange, payload, 0, sizeof(MeasuringRange), kKindSet));
    return 0;
}

int SocketProtocol::GetMeasuringRange(MeasuringRange &range)
{
    uint8_t payload[kPayloadBytes] = {range.mode};
    TF_RETURN_IF_FAILED(Transact(kCmdMeasuringRange, payload, sizeof(MeasuringRange), 1, kKindGet));
    range.mode = payload[0];
    range.range0 = GetU16(payload + 1);
    range.range1 = GetU16(payload + 3);
    range.range2 = GetU16(payload + 5);
    TFLOG("range:%d, %d, %d, %d", range.mode, range.range2, range.range0, range.range1);
    return 0;
}

int SocketProtocol::SetWorkMode(const WorkMode &mode)
{
    uint8_t payload[kPayloadBytes] = {mode.mode,
                                      static_cast<uint8_t>(mode.flag1 != 0),
                                      static_cast<uint8_t>(mode.flag2 != 0),
                                      static_cast<uint8_t>(mode.flag3 != 0),
                                      static_cast<uint8_t>(mode.option % 3),
                                      0};
    TF_RETURN_IF_FAILED(Transact(kCmdWorkMode, payload, 0, 6, kKindSet));
    return 0;
}

int SocketProtocol::GetWorkMode(WorkMode *mode)
{
    TF_RETURN_IF_NULL(mode);
    uint8_t payload[kPayloadBytes] = {mode->mode, mode->flag1, mode->flag2, mode->flag3, mode->option};
    TF_RETURN_IF_FAILED(Transact(kCmdWorkMode, payload, sizeof(WorkMode), sizeof(WorkMode), kKindGet));
    mode->mode = payload[0];
    mode->flag1 = payload[1];
    mode->flag2 = payload[2];
    mode->flag3 = payload[3];
    mode->option = payload[4];
    return 0;
}

int SocketProtocol::RebootCamera()
{
    uint8_t payload[kPayloadBytes] = {kRebootSelector};
    TF_RETURN_IF_FAILED(Transact(kCmdWorkMode, payload, 0, 1, kKindSet));
    return 0;
}

int SocketProtocol::SetLowPowerModeEnabled(bool enabled)
{
    WorkMode mode{};
    TF_RETURN_IF_FAILED(GetWorkMode(&mode));
    // The camera needs a moment between reporting its work mode and taking a new one.
    std::this_thread::sleep_for(kWorkModeSettle);
    mode.mode = kLowPowerWorkMode;
    mode.flag3 = static_cast<uint8_t>(enabled ? 0 : 1);
    mode.option = mode.flag3;
    TF_RETURN_IF_FAILED(SetWorkMode(mode));
    return 0;
}

int SocketProtocol::SetTestModeState(TestMode mode, const TestModeParams &params)
{
    TF_RETURN_IF_NOT_OPENED(0);
    const uint32_t *p = params.values;
    TFLOG("testModeType:%d %d %d %d %d", static_cast<int>(mode), static_cast<int>(p[0]),
          static_cast<int>(p[1]), static_cast<int>(p[2]), static_cast<int>(p[3]));
    uint8_t payload[kPayloadBytes] = {};
    if (mode == kTestModeOff) {
        payload[0] = 1;
        payload[1] = static_cast<uint8_t>(p[0]);
    } else if (mode == kTestModeOn) {
        payload[0] = 2;
        payload[1] = static_cast<uint8_t>(p[0]);
        if (p[0] == 1) {
            payload[2] = static_cast<uint8_t>(p[1]);
            payload[3] = static_cast<uint8_t>(p[2]);
            payload[4] = static_cast<uint8_t>(p[3]);
        }
    } else {
        TFLOG("%d is invalid.", static_cast<int>(mode));
    }
    TF_RETURN_IF_FAILED(Transact(kCmdTestMode, payload, 0, 5, kKindSet));
    return 0;
}

int SocketProtocol::SendCameraParamsEnable(bool enabled)
{
    uint8_t payload[kPayloadBytes] = {static_cast<uint8_t>(enabled ? 1 : 0)};
    const int ret = Transact(kCmdCameraParams, payload, 0, 64, kKindSet);
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
        return -1;
    }
    return 0;
}

int SocketProtocol::SetRegVal(uint16_t reg, uint16_t value)
{
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {};
    PutU16(payload, reg);
    PutU16(payload + 2, value);
    const int ret = Transact(kCmdRegister, payload, 0, 8, kKindSet);
    TFLOG("%d 0x%0x = 0x%0x", ret, reg, value);
    TF_RETURN_IF_FAILED(ret);
    return 0;
}

int SocketProtocol::GetRegVal(uint16_t reg, uint16_t *value)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TF_RETURN_IF_NULL(value);
    uint8_t payload[kPayloadBytes] = {};
    PutU16(payload, reg);
    const int ret = Transact(kCmdRegister, payload, 8, 8, kKindGet);
    if (ret == 0) {
        *value = GetU16(payload + 2);
    }
    TFLOG("%d 0x%0x = 0x%0x", ret, reg, *value);
    TF_RETURN_IF_FAILED(ret);
    return 0;
}

int SocketProtocol::SetRegVal(uint16_t *regs, uint16_t *values, uint8_t count)
{
    TF_RETURN_IF_NULL(regs);
    TF_RETURN_IF_NULL(values);
    if (count > 2 || count == 0) {
        TFLOG("regNum:%d is invliad.", count);
        // Without a first pair there is nothing to set.
        if (count == 0) {
            return -1;
        }
    }
    return SetRegVal(regs[0], values[0]);
}

int SocketProtocol::GetRegVal(uint16_t *regs, uint16_t *values, uint8_t count)
{
    TF_RETURN_IF_NULL(regs);
    TF_RETURN_IF_NULL(values);
    if (count > 2 || count == 0) {
        TFLOG("regNum:%d is invliad.", count);
        if (count == 0) {
            return -1;
        }
    }
    return GetRegVal(regs[0], &values[0]);
}

// The network camera keeps these settings to itself: accepted, checked where they can be wrong, and
// answered without a transaction.

int SocketProtocol::SetMeasuringStatus(MeasuringStatusSet &status)
{
    TF_RETURN_IF_NOT_OPENED(0);
    if (status.values[1] > 1) {
        TFLOG("SetMeasuringStatus para wrong");
    }
    return 0;
}

int SocketProtocol::GetMeasuringStatus(MeasuringStatusGet *status)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TF_RETURN_IF_NULL(status);
    std::memset(status, 0, sizeof(*status));
    return 0;
}

int SocketProtocol::SetPulseCount(const PulseCountConfig &config)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("%d", config.counts[0]);
    return 0;
}

int SocketProtocol::GetPulseCount(PulseCountGet &)
{
    TF_RETURN_IF_NOT_OPENED(0);
    return 0;
}

int SocketProtocol::SetLDEnable(const LDEnable &)
{
    TF_RETURN_IF_NOT_OPENED(0);
    return 0;
}

int SocketProtocol::GetLDEnable(LDEnable &)
{
    TF_RETURN_IF_NOT_OPENED(0);
    return 0;
}

int SocketProtocol::GetFlashType(char *, int)
{
    return 0;
}

int SocketProtocol::SetPCBA(const char *, int)
{
    TFLOG("No implement!");
    return 0;
}

int SocketProtocol::SetTalDelay(const TalDelay &)
{
    TF_RETURN_IF_NOT_OPENED(0);
    return 0;
}

int SocketProtocol::GetTalDelay(TalDelay &delay)
{
    TF_RETURN_IF_NOT_OPENED(0);
    std::memset(&delay, 0, sizeof(delay));
    return 0;
}

int SocketProtocol::SetProperty(int key, const void *data, int size)
{
    switch (key) {
    case kPropOutModeList: {
        DataModeList list;
        if (!RecordFromProperty(data, size, list)) {
            return -1;
        }
        ClampListToProperty(list, size);
        return SetOutModeList(list);
    }
    case kPropDepthRangeList: {
        DepthRangeList list;
        if (!RecordFromProperty(data, size, list)) {
            return -1;
        }
        ClampListToProperty(list, size);
        return SetDepthRangeList(list);
    }
    case kPropTalDelay: {
        TalDelay delay;
        if (!RecordFromProperty(data, size, delay)) {
            return -1;
        }
        return SetTalDelay(delay);
    }
    case kPropDeviceSN:
        return SetDeviceSN(static_cast<const char *>(data), size);
    case kPropDeviceMACAddr:
        return SetDeviceMACAddr(static_cast<const char *>(data), size);
    case kPropDeviceSoftVer:
        return SetDeviceSoftVer(static_cast<const char *>(data), size);
    case kPropDeviceIPAddr:
        return SetDeviceIPAddr(static_cast<const char *>(data), size);
    case kPropDeviceSubnetMask:
        return SetDeviceSubnetMask(static_cast<const char *>(data), size);
    case kPropDspStatus: {
        DSPParameters params;
        if (!RecordFromProperty(data, size, params)) {
            return -1;
        }
        return SetDspStatus(params);
    }
    default:
        return kNotSupported;
    }
}

int SocketProtocol::GetProperty(int key, void *data, int *size)
{
    if (key == kPropHeartBeat) {
        return GetHeartBeat();
    }
    if (size == nullptr) {
        TFLOG("invalid param: size is null");
        return -1;
    }
    // A list is read into a whole record and written back within the caller's size.
    auto getList = [this, data, size](auto list, int (SocketProtocol::*get)(decltype(list) &)) {
        if (!RecordFromProperty(data, *size, list)) {
            return -1;
        }
        const int ret = (this->*get)(list);
        if (ret == 0) {
            ClampListToProperty(list, *size);
            RecordToProperty(list, data, *size);
        }
        return ret;
    };
    switch (key) {
    case kPropOutModeList:
        return getList(DataModeList{}, &SocketProtocol::GetOutModeList);
    case kPropDepthRangeList:
        return getList(DepthRangeList{}, &SocketProtocol::GetDepthRangeList);
    case kPropTalDelay: {
        TalDelay delay;
        if (!RecordFromProperty(data, *size, delay)) {
            return -1;
        }
        const int ret = GetTalDelay(delay);
        if (ret == 0 && m_opened.load()) {
            RecordToProperty(delay, data, *size);
        }
        return ret;
    }
    case kPropDeviceSN:
        return GetDeviceSN(static_cast<char *>(data), *size);
    case kPropDeviceMACAddr:
        return GetDeviceMACAddr(static_cast<char *>(data), *size);
    case kPropDeviceSoftVer:
        return GetDeviceSoftVer(static_cast<char *>(data), *size);
    case kPropDeviceIPAddr:
        return GetDeviceIPAddr(static_cast<char *>(data), *size);
    case kPropDeviceSubnetMask:
        return GetDeviceSubnetMask(static_cast<char *>(data), *size);
    case kPropDspStatus: {
        DSPParameters params;
        if (!RecordFromProperty(data, *size, params)) {
            return -1;
        }
        const int ret = GetDspStatus(params);
        if (ret == 0) {
            RecordToProperty(params, data, *size);
        }
        return ret;
    }
    default:
        return kNotSupported;
    }
}
