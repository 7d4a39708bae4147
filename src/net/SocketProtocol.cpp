// SPDX-License-Identifier: Apache-2.0
// SocketProtocol: lifecycle, the camera operations as calls of the command table, the records of more than
// one value (lens, ranges, work and test modes, registers, upgrade states), the settings the network camera
// keeps to itself, the device texts, and the start of file transfers (announced by FileAnnouncer, followed
// by TransferProgress).
#include "net/SocketProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "net/ProtocolChecks.h"
#include "net/SocketProperties.h"
#include "protocol/StatusCodes.h"
#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

using namespace command_rows;

namespace {

constexpr int kCmdExposure = 0x03;
constexpr int kCmdRegister = 0x05;
constexpr int kCmdDualFreq = 0x08;
constexpr int kCmdMeasuringRange = 0x11;
constexpr int kCmdWorkMode = 0x12;
constexpr int kCmdDeviceInfo = 0x13;
constexpr int kCmdLens = 0x15;
constexpr int kCmdIdentity = 0x18;
constexpr int kCmdUpgrade = 0x1D;
constexpr int kCmdTestMode = 0x1E;

constexpr uint8_t kLowPowerWorkMode = 0x20;
constexpr auto kWorkModeSettle = std::chrono::milliseconds(100);
constexpr int kPayloadBytes = CommandTable::kPayloadBytes;
constexpr int kFullPayloadBytes = 64;
constexpr int kPeerIpBytes = 16;

constexpr uint8_t kInfoPcba = 1;
constexpr uint8_t kInfoSn = 2;
constexpr uint8_t kInfoFwVer = 3;
constexpr uint8_t kInfoHwVer = 4;
constexpr uint8_t kInfoDepthRangeList = 6;
constexpr uint8_t kInfoOutModeList = 7;
constexpr uint8_t kInfoAlias = 23;

constexpr uint8_t kIdentitySn = 2;
constexpr uint8_t kIdentityMac = 3;
constexpr uint8_t kIdentitySoftVer = 4;
constexpr uint8_t kIdentityIp = 5;
constexpr uint8_t kIdentitySubnetMask = 6;
/// A query of an identity item uses its setting's sub-id plus this.
constexpr uint8_t kIdentityGetOffset = 0x10;
constexpr uint8_t kJsonConfigQuery = 0x17;
constexpr uint8_t kUpgradeSelector = 1;
constexpr uint8_t kJsonSelector = 3;

/// A printable copy of a text of `length` bytes that need not end in a NUL.
std::string Shown(const char *text, int length)
{
    if (text == nullptr || length <= 0) {
        return std::string();
    }
    return std::string(text, strnlen(text, static_cast<size_t>(length)));
}

/// The calibration block of a sensor's intrinsics or distortion; nullptr (logged in `operation`'s name) for
/// an unknown sensor.
const CalibrationRow *SensorBlock(const char *operation, SensorType sensor, const CalibrationRow &tof,
                                  const CalibrationRow &color)
{
    if (sensor != kSensorTof && sensor != kSensorColor) {
        TFLOG_AS(operation, "cameraType:%d is invaild", static_cast<int>(sensor));
        return nullptr;
    }
    return sensor == kSensorTof ? &tof : &color;
}

/// Inertial sensor calibration stays on the camera: a setting is logged in `operation`'s name and accepted.
int AcceptImu(const char *operation, const IMUSensitivity &value)
{
    const float *v = value.values;
    TFLOG_AS(operation, "sensitivity:%08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f %08.6f", v[0],
             v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
    return 0;
}

int AcceptImu(const char *operation, const IMUOffset &value)
{
    TFLOG_AS(operation, "offset:%d %d %d %08.6f %08.6f %08.6f", value.flags[0], value.flags[1],
             value.flags[2], static_cast<double>(value.offsets[0]), static_cast<double>(value.offsets[1]),
             static_cast<double>(value.offsets[2]));
    return 0;
}

int AcceptImu(const char *operation, const IMUOffsetTemp &value)
{
    TFLOG_AS(operation, "offsetTemp:%d", value.values[0]);
    return 0;
}

int AcceptImu(const char *operation, const IMUDataMode &value)
{
    TFLOG_AS(operation, "datamode:%d", value.mode);
    return 0;
}

} // namespace

SocketProtocol::SocketProtocol(SessionInfo &info)
    : m_info(info), m_socketCtl(std::make_unique<SocketCtl>(info.ip, info.dataPort, info.cmdPort)),
      m_commands(*m_socketCtl, m_opened), m_announcer(*m_socketCtl),
      m_progress(
          [this](uint8_t *request, uint8_t *reply) {
              std::memcpy(reply, request, 2);
              return m_socketCtl->SetCmd(kCmdUpgrade, reinterpret_cast<char *>(reply), 4, 2, kKindGet);
          },
          [this] { return m_opened.load(); }, [this] { EndTransfer(); })
{
}

SocketProtocol::~SocketProtocol()
{
    m_opened.store(false);
    m_progress.Wake();
    m_progress.Join();
}

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
    m_streamOn.store(false);
    TFLOG("1");
    m_progress.Wake();
    // A transfer callback closing the device cannot wait for its own transfer's end.
    if (!m_progress.OnWorkerThread()) {
        {
            MutexLock lock(m_mutex);
            m_transferIdleCv.wait(lock.Native(), [this]() REQUIRES(m_mutex) { return m_transferIdle; });
        }
        m_progress.Join();
    }
    TFLOG("2");
    m_socketCtl->closeDevice();
    return 0;
}

bool SocketProtocol::TryBeginTransfer()
{
    MutexLock lock(m_mutex);
    if (!m_transferIdle) {
        return false;
    }
    m_transferIdle = false;
    return true;
}

int SocketProtocol::TransferFile(FileTransferParams &params)
{
    TF_RETURN_IF_NOT_OPENED(0);
    const std::string name(params.name, strnlen(params.name, sizeof(params.name)));
    TFLOG("%d %s %d %x %d %d", static_cast<int>(params.type), name.c_str(), static_cast<int>(params.value),
          params.flag, params.direction, params.index);
    if (!TryBeginTransfer()) {
        TFLOG("a transfer is running on this camera.");
        return kStatusNotSupported;
    }
    int jobId = -1;
    const int ret = m_announcer.Transfer(params, jobId);
    if (ret != 0) {
        EndTransfer();
        return ret;
    }
    m_progress.Start(params, jobId);
    return 0;
}

void SocketProtocol::BeginTransfer()
{
    MutexLock lock(m_mutex);
    m_transferIdle = false;
}

void SocketProtocol::EndTransfer()
{
    {
        MutexLock lock(m_mutex);
        m_transferIdle = true;
    }
    m_transferIdleCv.notify_all();
}

int SocketProtocol::ReadData(unsigned char *buf, int *len, int capacity)
{
    m_socketCtl->ReadData(buf, len, capacity);
    // The camera ended its stream with the connection it sent on; start it on the new one.
    if (m_socketCtl->TakeDataReconnected() && m_streamOn.load()) {
        TFLOG("stream started again on the new data connection: %d", m_commands.Set(kStartStream, 1));
    }
    return 0;
}

// The operations that are one call: a table row, a calibration block, a text, a list, or an answer the
// network camera gives without a transaction.
// clang-format off
int SocketProtocol::Transact(int cmd, uint8_t *payload, int cap, int len, int type)
    { return m_commands.Transact(cmd, payload, cap, len, type); }
int SocketProtocol::SetCmd(int cmd, char *buf, int cap, unsigned char len, int type)
    { return m_socketCtl->SetCmd(cmd, buf, cap, len, type); }
int SocketProtocol::ReadData(unsigned char *buf, int *len) { return ReadData(buf, len, kStreamBufferBytes); }
int SocketProtocol::StartStream() { return NoteStream(true, m_commands.Set(kStartStream, 1)); }
int SocketProtocol::SetToUpgradeMode_P(const char *imagePath) { return m_announcer.FirmwareImage(imagePath); }
int SocketProtocol::SetJsonPath_P(const char *path) { return m_announcer.JsonFile(path); }
int SocketProtocol::SetToJsonMode_P() { return m_announcer.JsonMode(); }
int SocketProtocol::StopStream() { return NoteStream(false, m_commands.Set(kStopStream, 0)); }
int SocketProtocol::SetTofFrameRate(uint8_t rate) { return m_commands.Set(kSetFrameRate, rate); }
int SocketProtocol::SetDataMode(const uint8_t &mode) { return m_commands.Set(kSetDataMode, mode); }
int SocketProtocol::GetDataMode(uint8_t *mode) { return m_commands.Get(kGetDataMode, mode); }
int SocketProtocol::GetDepthMode(uint8_t *) { return 0; }
int SocketProtocol::SetDepthRange(const DepthRange &range)
    { return m_commands.Set(kSetDepthRange, range.range); }
int SocketProtocol::GetDepthRange(DepthRange &range) { return m_commands.Get(kGetDepthRange, &range.range); }
int SocketProtocol::SetSlaveModeEnabled(bool enabled)
    { return m_commands.Set(kSetSlaveEnabled, enabled ? 1 : 0); }
int SocketProtocol::GetSlaveMode(uint8_t *mode) { return m_commands.Get(kGetSlaveMode, mode); }
int SocketProtocol::SetSlaveTrigger() { return m_commands.Set(kSlaveTrigger, 0); }
int SocketProtocol::SetGMMGain(uint8_t gain) { return m_commands.Set(kSetGmmGain, gain); }
int SocketProtocol::GetGMMGain(uint8_t *gain) { return m_commands.Get(kGetGmmGain, gain); }
int SocketProtocol::RebootCamera() { return m_commands.Set(kReboot, 0); }
int SocketProtocol::SendCameraParamsEnable(bool enabled)
    { return m_commands.Set(kCameraParams, enabled ? 1 : 0) == 0 ? 0 : -1; }
int SocketProtocol::GetUpgradeIsSupported(uint8_t &supported)
    { return m_commands.Get(kUpgradeSupport, &supported); }
int SocketProtocol::GetJsonIsSupported(uint8_t &supported)
    { return m_commands.Get(kJsonSupport, &supported); }
int SocketProtocol::SetCameraRotation(const double *values)
    { return m_commands.SetCalibration(kRotation, values); }
int SocketProtocol::GetCameraRotation(double *values) { return m_commands.GetCalibration(kRotation, values); }
int SocketProtocol::SetCameraTransfer(const double *values)
    { return m_commands.SetCalibration(kTranslation, values); }
int SocketProtocol::GetCameraTransfer(double *values)
    { return m_commands.GetCalibration(kTranslation, values); }
int SocketProtocol::SetCameraE(const double *values) { return m_commands.SetCalibration(kEssential, values); }
int SocketProtocol::GetCameraE(double *values) { return m_commands.GetCalibration(kEssential, values); }
int SocketProtocol::SetCameraF(const double *values)
    { return m_commands.SetCalibration(kFundamental, values); }
int SocketProtocol::GetCameraF(double *values) { return m_commands.GetCalibration(kFundamental, values); }
int SocketProtocol::GetFlashType(char *, int) { return 0; }
int SocketProtocol::SetACCSensitivity(const IMUSensitivity &value) { return AcceptImu(__func__, value); }
int SocketProtocol::SetACCOffset(const IMUOffset &value) { return AcceptImu(__func__, value); }
int SocketProtocol::SetACCOffsetTemp(const IMUOffsetTemp &value) { return AcceptImu(__func__, value); }
int SocketProtocol::SetGyroSensitivity(const IMUSensitivity &value) { return AcceptImu(__func__, value); }
int SocketProtocol::SetGyroOffset(const IMUOffset &value) { return AcceptImu(__func__, value); }
int SocketProtocol::SetGyroOffsetTemp(const IMUOffsetTemp &value) { return AcceptImu(__func__, value); }
int SocketProtocol::SetImuDataMode(const IMUDataMode &mode) { return AcceptImu(__func__, mode); }
int SocketProtocol::GetACCSensitivity(IMUSensitivity &) { return 0; }
int SocketProtocol::GetACCOffset(IMUOffset &) { return 0; }
int SocketProtocol::GetACCOffsetTemp(IMUOffsetTemp &) { return 0; }
int SocketProtocol::GetGyroSensitivity(IMUSensitivity &) { return 0; }
int SocketProtocol::GetGyroOffset(IMUOffset &) { return 0; }
int SocketProtocol::GetGyroOffsetTemp(IMUOffsetTemp &) { return 0; }
int SocketProtocol::GetImuDataMode(IMUDataMode &) { return 0; }
int SocketProtocol::GetHWVer(char *text, int length)
    { return m_commands.GetInfoString(kCmdDeviceInfo, kInfoHwVer, text, length); }
int SocketProtocol::SetOutModeList(DataModeList &list)
    { return m_commands.SetList(kInfoOutModeList, list.count, list.modes); }
int SocketProtocol::GetOutModeList(DataModeList &list)
    { return m_commands.GetList(kInfoOutModeList, list.count, list.modes); }
int SocketProtocol::SetDepthRangeList(DepthRangeList &list)
    { return m_commands.SetList(kInfoDepthRangeList, list.count, list.ranges); }
int SocketProtocol::GetDepthRangeList(DepthRangeList &list)
    { return m_commands.GetList(kInfoDepthRangeList, list.count, list.ranges); }
int SocketProtocol::SetDeviceSN(const char *text, int length)
    { return SetIdentity(__func__, "deviceSn", kIdentitySn, text, length); }
int SocketProtocol::GetDeviceSN(char *text, int length)
    { return GetIdentity(__func__, "deviceSn", kIdentitySn, text, length); }
int SocketProtocol::SetDeviceMACAddr(const char *text, int length)
    { return SetIdentity(__func__, "macAddr", kIdentityMac, text, length); }
int SocketProtocol::GetDeviceMACAddr(char *text, int length)
    { return GetIdentity(__func__, "macAddr", kIdentityMac, text, length); }
int SocketProtocol::SetDeviceSoftVer(const char *text, int length)
    { return SetIdentity(__func__, "softVer", kIdentitySoftVer, text, length); }
int SocketProtocol::GetDeviceSoftVer(char *text, int length)
    { return GetIdentity(__func__, "softVer", kIdentitySoftVer, text, length); }
int SocketProtocol::SetDeviceIPAddr(const char *text, int length)
    { return SetIdentity(__func__, "ipAddr", kIdentityIp, text, length); }
int SocketProtocol::SetDeviceSubnetMask(const char *text, int length)
    { return SetIdentity(__func__, "subnetMask", kIdentitySubnetMask, text, length); }
int SocketProtocol::GetDeviceSubnetMask(char *text, int length)
    { return GetIdentity(__func__, "subnetMask", kIdentitySubnetMask, text, length); }
int SocketProtocol::SetDspStatus(const DSPParameters &params) { return m_commands.SetDspStatus(params); }
int SocketProtocol::GetDspStatus(DSPParameters &params) { return m_commands.GetDspStatus(params); }
int SocketProtocol::SetConfidenceFilterParams(const ConfidenceFilterParams &params)
    { return m_commands.SetConfidenceFilterParams(params); }
int SocketProtocol::GetConfidenceFilterParams(ConfidenceFilterParams &params)
    { return m_commands.GetConfidenceFilterParams(params); }
int SocketProtocol::SetProperty(int key, const void *data, int size)
    { return SocketProperties(*this).SetProperty(key, data, size); }
int SocketProtocol::GetProperty(int key, void *data, int *size)
    { return SocketProperties(*this).GetProperty(key, data, size); }
// clang-format on

int SocketProtocol::GetHeartBeat()
{
    uint8_t none = 0;
    return m_commands.Get(kHeartBeat, &none);
}

int SocketProtocol::GetTofFrameRate(uint8_t *rate)
{
    // The query carries 0, not the caller's value.
    return m_commands.Get(kGetFrameRate, rate);
}

int SocketProtocol::SetSlaveMode(uint8_t mode)
{
    // Logged as given, sent reduced to the three modes the camera knows.
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("value:%d", mode);
    return m_commands.Set(kSetSlaveMode, mode % 3);
}

int SocketProtocol::SetCameraIntrinsic(SensorType sensor, const double *values)
{
    const CalibrationRow *row = SensorBlock(__func__, sensor, kTofIntrinsic, kColorIntrinsic);
    return row == nullptr ? 0 : m_commands.SetCalibration(*row, values);
}

int SocketProtocol::GetCameraIntrinsic(SensorType sensor, double *values)
{
    const CalibrationRow *row = SensorBlock(__func__, sensor, kTofIntrinsic, kColorIntrinsic);
    return row == nullptr ? 0 : m_commands.GetCalibration(*row, values);
}

int SocketProtocol::SetCameraDistortion(SensorType sensor, const double *values)
{
    const CalibrationRow *row = SensorBlock(__func__, sensor, kTofDistortion, kColorDistortion);
    return row == nullptr ? 0 : m_commands.SetCalibration(*row, values);
}

int SocketProtocol::GetCameraDistortion(SensorType sensor, double *values)
{
    const CalibrationRow *row = SensorBlock(__func__, sensor, kTofDistortion, kColorDistortion);
    return row == nullptr ? 0 : m_commands.GetCalibration(*row, values);
}

// Records of more than one value.

int SocketProtocol::SetLens(LensConfig &lens)
{
    TF_RETURN_IF_NOT_OPENED(0);
    TFLOG("");
    TFLOG("info LensConfig(type:%d state:%d fps:%d h:%d w:%d encodeType:%d)", lens.type, lens.state, lens.fps,
          lens.height, lens.width, lens.encodeType);
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU8(lens.type);
    writer.WriteU8(lens.state);
    writer.WriteU16Le(lens.width);
    writer.WriteU16Le(lens.height);
    writer.WriteU8(lens.fps);
    writer.WriteU8(lens.encodeType);
    TF_RETURN_IF_FAILED(Transact(kCmdLens, payload, 0, sizeof(LensConfig), kKindSet));
    return 0;
}

int SocketProtocol::GetLens(LensConfig &lens)
{
    uint8_t payload[kPayloadBytes] = {lens.type};
    TF_RETURN_IF_FAILED(Transact(kCmdLens, payload, 64, 1, kKindGet));
    ByteReader reader(payload, sizeof(payload));
    lens.type = reader.ReadU8();
    lens.state = reader.ReadU8();
    lens.width = reader.ReadU16Le();
    lens.height = reader.ReadU16Le();
    lens.fps = reader.ReadU8();
    lens.encodeType = reader.ReadU8();
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
    // The camera sends each number as one signed byte.
    const auto signedByte = [](uint8_t b) { return b >= 0x80 ? static_cast<int32_t>(b) - 256 : b; };
    mode->count = signedByte(payload[0]);
    for (int i = 0; i < 3; ++i) {
        mode->values[i] = signedByte(payload[1 + i]);
    }
    TFLOG("wdr:%d, %d, %d, %d", mode->count, mode->values[0], mode->values[1], mode->values[2]);
    return 0;
}

int SocketProtocol::SetExposureTime(const ExposureTime &exposure)
{
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU8(exposure.index);
    writer.WriteU32Le(exposure.exposureTime);
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
    ByteReader reader(payload + 1, 4);
    exposure->exposureTime = reader.ReadU32Le();
    TFLOG("%x %x %x %x %x", payload[0], payload[1], payload[2], payload[3], payload[4]);
    return 0;
}

int SocketProtocol::SetMeasuringRange(const MeasuringRange &range)
{
    TFLOG("range:%d, %d, %d, %d", range.mode, range.range2, range.range0, range.range1);
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU8(range.mode);
    writer.WriteU16Le(range.range0);
    writer.WriteU16Le(range.range1);
    writer.WriteU16Le(range.range2);
    TF_RETURN_IF_FAILED(Transact(kCmdMeasuringRange, payload, 0, sizeof(MeasuringRange), kKindSet));
    return 0;
}

int SocketProtocol::GetMeasuringRange(MeasuringRange &range)
{
    uint8_t payload[kPayloadBytes] = {range.mode};
    TF_RETURN_IF_FAILED(Transact(kCmdMeasuringRange, payload, sizeof(MeasuringRange), 1, kKindGet));
    ByteReader reader(payload, sizeof(payload));
    range.mode = reader.ReadU8();
    range.range0 = reader.ReadU16Le();
    range.range1 = reader.ReadU16Le();
    range.range2 = reader.ReadU16Le();
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

int SocketProtocol::SetRegVal(uint16_t reg, uint16_t value)
{
    TF_RETURN_IF_NOT_OPENED(0);
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU16Le(reg);
    writer.WriteU16Le(value);
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
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU16Le(reg);
    const int ret = Transact(kCmdRegister, payload, 8, 8, kKindGet);
    if (ret == 0) {
        ByteReader reader(payload + 2, 2);
        *value = reader.ReadU16Le();
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

// Device information, identity texts and lists.

int SocketProtocol::GetPCBA(char *text, int length)
{
    TFLOG("No implement!");
    return m_commands.GetInfoString(kCmdDeviceInfo, kInfoPcba, text, length);
}

int SocketProtocol::SetSN(const char *text, int length)
{
    TFLOG("sn:%s.", Shown(text, length).c_str());
    return m_commands.SetInfoString(kCmdDeviceInfo, kInfoSn, text, length);
}

int SocketProtocol::GetSN(char *text, int length)
{
    const int ret = m_commands.GetInfoString(kCmdDeviceInfo, kInfoSn, text, length);
    if (ret == 0) {
        TFLOG("sn:%s.", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::GetFWVer(char *text, int length)
{
    const int ret = m_commands.GetInfoString(kCmdDeviceInfo, kInfoFwVer, text, length);
    if (ret == 0) {
        TFLOG("fwVer:%s", Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::GetAlias(char *text, int length)
{
    const int ret = m_commands.GetInfoString(kCmdDeviceInfo, kInfoAlias, text, length);
    if (ret == 0) {
        const std::string alias = Shown(text, length);
        TFLOG("alias:%s %d %d", alias.c_str(), length, static_cast<int>(alias.size()));
    }
    return ret;
}

int SocketProtocol::SetIdentity(const char *operation, const char *label, uint8_t subId, const char *text,
                                int length)
{
    if (!m_opened.load()) {
        TFLOG_AS(operation, "device is not opened.");
        return 0;
    }
    TFLOG_AS(operation, "%s:%s", label, Shown(text, length).c_str());
    return m_commands.SetInfoString(kCmdIdentity, subId, text, length);
}

int SocketProtocol::GetIdentity(const char *operation, const char *label, uint8_t subId, char *text,
                                int length)
{
    if (!m_opened.load()) {
        TFLOG_AS(operation, "device is not opened.");
        return 0;
    }
    const int ret = m_commands.GetInfoString(kCmdIdentity, subId + kIdentityGetOffset, text, length);
    if (ret == 0) {
        TFLOG_AS(operation, "%s:%s", label, Shown(text, length).c_str());
    }
    return ret;
}

int SocketProtocol::GetDeviceIPAddr(char *text, int length)
{
    TF_RETURN_IF_NOT_OPENED(0);
    if (text == nullptr || length <= 0) {
        TFLOG("invalid param: len:%d", length);
        return -1;
    }
    // The connection knows the address it was opened with; the camera is asked only without one.
    char peer[kPeerIpBytes] = {};
    if (m_socketCtl->GetPeerIP(peer) == 0) {
        std::memset(text, 0, static_cast<size_t>(length));
        std::memcpy(text, peer, static_cast<size_t>(std::min(length, kPeerIpBytes)));
        TFLOG("ipAddr:%s", peer);
        return 0;
    }
    return GetIdentity(__func__, "ipAddr", kIdentityIp, text, length);
}

int SocketProtocol::IsSupportJSONConfig()
{
    uint8_t payload[kPayloadBytes] = {kJsonConfigQuery, 0};
    const int ret = Transact(kCmdIdentity, payload, kFullPayloadBytes, 2, kKindGet);
    if (ret != 0 || payload[0] != kJsonConfigQuery || payload[1] != 1) {
        TFLOG("ret:%d is failed.", -1);
        return -1;
    }
    return 0;
}

// The upgrade and JSON configuration states.

int SocketProtocol::SetTransferState(uint8_t selector, uint32_t state, uint32_t param1, uint32_t param2)
{
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU8(selector);
    writer.WriteU8(static_cast<uint8_t>(state));
    writer.WriteU32Le(param1);
    writer.WriteU32Le(param2);
    return Transact(kCmdUpgrade, payload, 0, 10, kKindSet);
}

int SocketProtocol::SetUpgradeState(UpgradeState state)
{
    TFLOG("param:%d 0x%0x %d", static_cast<int>(state.state), state.param1, static_cast<int>(state.param2));
    TF_RETURN_IF_FAILED(SetTransferState(kUpgradeSelector, state.state, state.param1, state.param2));
    return 0;
}

int SocketProtocol::GetUpgradeState(UpgradeState &state)
{
    uint8_t payload[kPayloadBytes] = {kUpgradeSelector};
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, 10, 10, kKindGet));
    state.state = payload[1];
    state.param1 = payload[2];
    state.param2 = payload[3];
    return 0;
}

int SocketProtocol::SetJsonState(JsonState state)
{
    TFLOG("param:%d 0x%0x %d", static_cast<int>(state.state), state.param1, static_cast<int>(state.param2));
    TF_RETURN_IF_FAILED(SetTransferState(kJsonSelector, state.state, state.param1, state.param2));
    return 0;
}

int SocketProtocol::GetJsonState(JsonState &state)
{
    uint8_t payload[kPayloadBytes] = {kJsonSelector, 2};
    TF_RETURN_IF_FAILED(Transact(kCmdUpgrade, payload, 10, 10, kKindGet));
    state.state = payload[2];
    state.param1 = payload[3];
    state.param2 = payload[4];
    return 0;
}
