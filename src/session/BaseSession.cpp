// SPDX-License-Identifier: Apache-2.0
// BaseSession: open, initialise, stream, configure and close a camera over its protocol and pipeline.
#include "session/BaseSession.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "net/SocketProtocol.h"
#include "pipeline/ImageProc.h"
#include "protocol/DataModes.h"
#include "protocol/PropertyKeys.h"
#include "runtime/LogCustom.h"
#include "session/PipelineForwarder.h"
#include "session/ProtocolStreamSource.h"
#include "session/SessionGuards.h"
#include "session/TransferFileCheck.h"

namespace {
constexpr uint32_t kDspConfigToFDistortion = 6;
} // namespace

PipelineForwarder BaseSession::Pipeline() const
{
    return PipelineForwarder(m_imageProc.get());
}

// One row per operation a helper carries out: the helper, the operation's signature, then the call on it.
#define FORWARD_TO(helper, signature, call)                                                                  \
    int BaseSession::signature                                                                               \
    {                                                                                                        \
        return helper.call;                                                                                  \
    }

// ---- Construction

BaseSession::BaseSession() = default;

BaseSession::BaseSession(const SessionInfo &info) : BaseSession()
{
    m_info = info;
    m_imageProc = std::make_unique<ImageProc>(this);
    if (IsNetworkType(m_info.deviceType)) {
        m_protocol = std::make_unique<SocketProtocol>(m_info);
        m_frames.SetNetworkDefaults();
        m_modes.Lists().SetNetworkDefaults();
    } else {
        TFLOG("devicetype:%d is invalid.", static_cast<int>(m_info.deviceType));
    }
    m_modes.Attach(m_protocol.get(), m_imageProc.get());
    m_frames.Attach(m_protocol.get(), m_imageProc.get());
    m_properties.Attach(m_protocol.get(), m_imageProc.get());
    m_calibration.Attach(m_protocol.get(), m_imageProc.get());
    m_filters.Attach(m_protocol.get(), m_imageProc.get());
    m_acquisition.Attach(m_protocol.get(), m_imageProc.get());
    m_upgrade.Attach(m_protocol.get());
    SetFrameMode(m_modes.CurrentDataMode().load());
    m_modes.CurrentDualFreq() = DualFreqMode{};
}

BaseSession::~BaseSession()
{
    // A fake without pipeline has nothing to tear down.
    if (m_imageProc) {
        BaseSession::StopStream();
    }
    // Closing the connections wakes the hub thread out of its read; the protocol object itself stays
    // until the hub thread, which reads through it, has ended.
    if (m_protocol) {
        BaseSession::CloseDevice();
    }
    if (m_imageProc) {
        m_imageProc->Close();
    }
    m_protocol.reset();
    m_imageProc.reset();
}

int BaseSession::GetSessionInfo(SessionInfo &out) const
{
    if (&out != &m_info) {
        out = m_info;
    }
    return kStatusOk;
}

// ---- The hub's session interface

bool BaseSession::ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length)
{
    if (!ReadStreamBuffer(m_protocol.get(), buffer, capacity, length)) {
        return false;
    }
    m_confirm.OnBufferRead(buffer, length);
    return true;
}

void BaseSession::StoreInitCameraParams(const InitCameraParams &params)
{
    m_storedInitParams = params;
    m_hasStoredInitParams.store(true);
}

int BaseSession::SendCameraParamsEnable(bool enabled)
{
    REQUIRE_PROTOCOL();
    return m_protocol->SendCameraParamsEnable(enabled);
}

// ---- Open, stream, close

int BaseSession::OpenDevice(bool)
{
    if (m_opened.load()) {
        TFLOG("has opened");
        return kStatusAlreadyOpened;
    }
    if (!m_protocol) {
        return kNotSupported;
    }
    const int ret = m_protocol->OpenDevice();
    if (ret != kStatusOk) {
        return ret;
    }
    if (!m_imageProc->IsRunning()) {
        m_imageProc->Start();
    }
    m_opened.store(true);
    m_protocol->SendCameraParamsEnable(true);
    m_paramsRequested.store(true);
    StartStream();
    return kStatusOk;
}

int BaseSession::StartStream()
{
    TFLOG("");
    std::lock_guard<std::mutex> lock(m_mutex);
    // Checked under the lock so that two callers never both start the camera.
    if (m_streamStarted.load()) {
        TFLOG("The device image stream has been started. Do not start it again.");
        return kStatusOk;
    }
    REQUIRE_PROTOCOL();
    m_confirm.OnStreamStarting();
    const int ret = m_protocol->StartStream();
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    if (!m_initialised.load()) {
        InitDevice();
        m_initialised.store(true);
    }
    m_streamStarted.store(true);
    m_imageProc->SetStream(true);
    m_imageProc->SetConnectStatus(true);
    return kStatusOk;
}

int BaseSession::StopStream()
{
    TFLOG("");
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_streamStarted.load()) {
        TFLOG("The device image stream has been stopped. Do not stop it again.");
        return kStatusOk;
    }
    REQUIRE_PROTOCOL();
    m_streamStarted.store(false);
    m_imageProc->SetStream(false);
    const int ret = m_protocol->StopStream();
    if (ret == kStatusOk) {
        m_confirm.OnStreamStopped();
    }
    return ret;
}

int BaseSession::CloseDevice()
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->CloseDevice();
    if (ret != kStatusOk) {
        TFLOG("error ret:%d.", ret);
        return ret;
    }
    {
        // The camera's stream ends with its connection: a session opened again must start it again.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_streamStarted.load()) {
            m_streamStarted.store(false);
            m_imageProc->SetStream(false);
        }
    }
    // A recording ends with the camera's connection.
    if (m_imageProc) {
        m_imageProc->StopRawRecording();
    }
    m_initialised.store(false);
    m_opened.store(false);
    return kStatusOk;
}

bool BaseSession::GetRawBufferStatus()
{
    if (!m_imageProc) {
        TFLOG("Not Support.");
        return false;
    }
    return m_imageProc->GetStreamStatus() != 0;
}

int BaseSession::OnMessage(int type)
{
    if (type == TF_HOTPLUG_REMOVED && m_imageProc) {
        m_imageProc->SetConnectStatus(false);
    }
    return kStatusOk;
}

// ---- Initialisation

int BaseSession::InitDevice()
{
    if (!m_imageProc) {
        TFLOG("Not Support.");
        return kStatusOk;
    }
    InitCameraParams params{};
    if (!m_paramsRequested.load()) {
        InitFromUVCCMD();
    } else if (int waitedMs = 0; SessionCalibration::AwaitBlock(*m_imageProc, params, waitedMs)) {
        TFLOG("wait:%d.", waitedMs);
        InitFromUVCFrameData(params);
    } else {
        TFLOG("first frame data is toot late.");
        InitFromUVCCMD();
    }

    // The ToF switch takes the camera's answer (a failed query keeps the session's), the library is told
    // both switches, and the session keeps what the library applies; the depth-to-world table follows.
    DSPParameters dsp{kDspConfigToFDistortion, 0, 0, 0};
    int dspBytes = static_cast<int>(sizeof(dsp));
    if (GetProperty(kSessionDspStatus, &dsp, &dspBytes) == kStatusOk) {
        m_calibration.SetTofUndistorted(dsp.enable != 0);
    }
    ApplyUndistortionSwitches();
    m_filters.ReadFromCamera();
    char serial[63] = {};
    if (GetSN(serial, static_cast<int>(sizeof(serial))) == kStatusOk) {
        m_serialNumber.assign(serial, strnlen(serial, sizeof(serial)));
    }
    InitLens();
    return kStatusOk;
}

void BaseSession::InitPipeline()
{
    PipelineInitParams p;
    p.colorMode = m_frames.Color();
    p.measuringRanges = m_modes.Lists().MeasuringRanges();
    p.depthMode = m_frames.Depth();
    p.irMode = m_frames.Ir();
    m_calibration.FillCameraParams(p.cameraParams);
    p.dataMode = m_modes.CurrentDataMode().load();
    p.serialNumber = m_serialNumber.substr(0, 63);
    m_imageProc->SetColorIntrinsic(m_calibration.Params().colorIntrinsic.data());
    m_imageProc->Init(p);
    ApplyTofSettings();
}

void BaseSession::ApplyTofSettings()
{
    TofDecode *tof = m_imageProc ? m_imageProc->GetTofDecode() : nullptr;
    if (tof == nullptr) {
        return;
    }
    tof->SetDepthRange(m_modes.CurrentDepthRange().load());
    m_filters.ApplyTo(*tof);
}

void BaseSession::InitFromUVCFrameData(const InitCameraParams &params)
{
    m_calibration.TakeBlock(params);
    InitDepthFrame2WorldTab(m_calibration.Params().tofIntrinsic.data());
    SetSynchronizeEnabled(true);
    m_modes.CurrentDataMode().store(params.mode);
    SetFrameMode(params.mode);
    m_frames.Color().width = params.rgbW;
    m_frames.Color().height = params.rgbH;
    m_modes.Lists().TakeBlock(params);
    m_modes.CurrentDepthRange().store(params.range);
    InitPipeline();

    static_assert(sizeof(params.wdr) == sizeof(m_modes.CurrentDualFreq()),
                  "the block's wdr is a dual-frequency record");
    std::memcpy(&m_modes.CurrentDualFreq(), params.wdr, sizeof(m_modes.CurrentDualFreq()));
    if (IsDualFrequencyMode(params.mode)) {
        if (TofDecode *tof = m_imageProc->GetTofDecode()) {
            DualFreqMode dual = m_modes.CurrentDualFreq();
            tof->SetDualFreqMode(dual);
        }
        SetWDRStyle(kWdrStyleFuse);
    }
}

void BaseSession::InitFromUVCCMD()
{
    // Each query fills a copy, so that a failed one leaves the session's value as it was.
    auto query = [](auto &target, auto &&ask) {
        auto copy = target;
        if (ask(copy.data()) == kStatusOk) {
            target = copy;
        }
    };
    SessionCalibration::Parameters &c = m_calibration.Params();
    // The calibration is kept as the camera reports it: the intrinsics of delivered images are derived
    // from it whenever asked, so undistortion is never applied twice.
    query(c.tofIntrinsic, [this](double *v) { return GetCameraIntrinsic_(kSensorTof, v); });
    query(c.colorIntrinsic, [this](double *v) { return GetCameraIntrinsic_(kSensorColor, v); });
    query(c.tofDistortion, [this](double *v) { return GetCameraDistortion(kSensorTof, v); });
    query(c.colorDistortion, [this](double *v) { return GetCameraDistortion(kSensorColor, v); });
    query(c.rotation, [this](double *v) { return GetCameraRotation(v); });
    query(c.translation, [this](double *v) { return GetCameraTransfer(v); });
    InitDepthFrame2WorldTab(c.tofIntrinsic.data());
    SetSynchronizeEnabled(true);
    InitDepthRangeList();
    if (m_modes.Lists().DepthRangeCount() != 0) {
        for (auto &record : m_modes.Lists().MeasuringRanges()) {
            MeasuringRange answer = record;
            if (GetMeasuringRange(answer) == kStatusOk && answer.range2 != 0) {
                record = answer;
            }
        }
    }
    if (m_modes.Lists().DataModeCount() == 0) {
        InitDataModeList();
    }
    uint8_t mode = m_modes.CurrentDataMode().load();
    if (GetDataMode(&mode) == kStatusOk) {
        m_modes.CurrentDataMode().store(mode);
    }
    if (IsDualFrequencyMode(m_modes.CurrentDataMode().load())) {
        DualFreqMode dual = m_modes.CurrentDualFreq();
        if (GetDualFreqMode(&dual) == kStatusOk) {
            m_modes.CurrentDualFreq() = dual;
        }
    }
    DepthRange range{m_modes.CurrentDepthRange().load()};
    if (GetDepthRange(range) == kStatusOk) {
        m_modes.CurrentDepthRange().store(range.range);
    }
    // The ToF decoder comes with the pipeline's initialisation, which then takes the range.
    InitPipeline();
}

template <size_t N> bool BaseSession::QueryCountedList(int key, const char *name, std::array<uint8_t, N> &out)
{
    return m_modes.QueryCountedList(key, name, out);
}

void BaseSession::InitDepthRangeList()
{
    QueryCountedList(kSessionRangeList, "rangeList", m_modes.Lists().DepthRanges());
}

void BaseSession::InitDataModeList()
{
    if (m_modes.Lists().DataModeCount() != 0) {
        return;
    }
    m_modes.Lists().DataModes().fill(0);
    if (!QueryCountedList(kSessionModeList, "modeList", m_modes.Lists().DataModes()) &&
        !IsNetworkType(m_info.deviceType)) {
        TFLOG("devicetype:%d is invalid.", static_cast<int>(m_info.deviceType));
    }
}

void BaseSession::InitLens()
{
    if (!IsNetworkType(m_info.deviceType)) {
        TFLOG("devicetype:%d is invalid.", static_cast<int>(m_info.deviceType));
    } else {
        m_frames.TakeNetworkDataMode(m_modes.CurrentDataMode().load());
    }
    SetLens(m_frames.Lens());
}

// ---- Frames and frame modes

int BaseSession::PrepareNextFrame(FrameReady *ready)
{
    REQUIRE_PIPELINE();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_streamStarted.load()) {
        return kStatusDeviceNotFound; // a frame read while stopped
    }
    return m_imageProc->PrepareNextFrame(ready);
}

int BaseSession::GetFrame(FrameType type, Frame *frame)
{
    REQUIRE_PIPELINE();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_streamStarted.load()) {
        return kStatusDeviceNotFound; // a frame read while stopped
    }
    return m_imageProc->GetFrame(type, frame);
}

bool BaseSession::RegisterNotify(TfFrameNotifyCallback callback)
{
    if (!m_imageProc) {
        TFLOG("Not Support.");
        return false;
    }
    return m_imageProc->RegisterNotify(callback) == 1;
}

bool BaseSession::UnRegisterNotify()
{
    if (!m_imageProc) {
        TFLOG("Not Support.");
        return false;
    }
    m_imageProc->UnRegisterNotify();
    return true;
}

FORWARD_TO(m_frames, GetFrameMode(FrameType type, FrameMode *mode), GetFrameMode(type, mode))
FORWARD_TO(m_frames, SetLens(const LensConfig &lens), SetLens(lens))
FORWARD_TO(m_frames, GetLens(LensConfig &lens), GetLens(lens))
FORWARD_TO(m_frames, SetImageRotation(int rotation), SetImageRotation(rotation))

float BaseSession::GetRGBExposuretime()
{
    TFLOG("GetExposuretime is not support..");
    return 0.0f;
}

// ---- Modes and ranges

FORWARD_TO(m_modes, SetDataMode(uint8_t mode), SetDataMode(mode))
FORWARD_TO(m_modes, GetDataMode(uint8_t *mode), GetDataMode(mode))
FORWARD_TO(m_modes, SetDepthRange(const DepthRange &range), SetDepthRange(range))
FORWARD_TO(m_modes, SetDualFreqMode(DualFreqMode &mode), SetDualFreqMode(mode))
FORWARD_TO(m_modes, GetDualFreqMode(DualFreqMode *mode), GetDualFreqMode(mode))
FORWARD_TO(m_modes, GetMeasuringRange(MeasuringRange &range), GetMeasuringRange(range))
FORWARD_TO(m_modes, GetMeasuringRangeInternal(MeasuringRange &range), GetMeasuringRangeInternal(range))
FORWARD_TO(m_modes, SetWDRStyle(WDRStyle style), SetWDRStyle(style))

// ---- Settings the camera's status confirms

FORWARD_TO(m_acquisition, SetTofFrameRate(uint8_t fps), SetTofFrameRate(fps))
FORWARD_TO(m_acquisition, SetExposureTime(const ExposureTime &exposure), SetExposureTime(exposure))
FORWARD_TO(m_acquisition, SetGMMGain(uint8_t gain), SetGMMGain(gain))
FORWARD_TO(m_acquisition, SetSlaveMode(uint8_t mode), SetSlaveMode(mode))
FORWARD_TO(m_acquisition, SetSlaveModeEnabled(bool enabled), SetSlaveModeEnabled(enabled))
FORWARD_TO(m_acquisition, SetWorkMode(const WorkMode &mode), SetWorkMode(mode))
FORWARD_TO(m_acquisition, SetLowPowerModeEnabled(bool enabled), SetLowPowerModeEnabled(enabled))

// ---- Calibration and undistortion

int BaseSession::GetCameraIntrinsic(SensorType sensor, double *intrinsic)
{
    return GetDeliveredIntrinsic(sensor, intrinsic, 0, 0);
}

int BaseSession::GetDeliveredIntrinsic(SensorType sensor, double *intrinsic, uint32_t width, uint32_t height)
{
    const int ret = GetCameraIntrinsic_(sensor, intrinsic);
    if (ret != kStatusOk) {
        // A failed query must not be turned into made-up intrinsics.
        return ret;
    }
    m_calibration.DeliveredIntrinsic(sensor, intrinsic, m_imageProc ? m_imageProc->GetRefine() : nullptr,
                                     width, height);
    return ret;
}

FORWARD_TO(m_calibration, GetCameraIntrinsic_(SensorType sensor, double *intrinsic),
           GetCameraIntrinsic_(sensor, intrinsic))
FORWARD_TO(m_calibration, GetCameraDistortion(SensorType sensor, double *distortion),
           GetCameraDistortion(sensor, distortion))
FORWARD_TO(m_calibration, SetApplyRGBDistortionEnabled(bool enabled), SetApplyRGBDistortionEnabled(enabled))
FORWARD_TO(m_calibration, GetApplyRGBDistortionEnabled(bool *enabled), GetApplyRGBDistortionEnabled(enabled))

int BaseSession::SetApplyToFDistortionEnabled(bool enabled)
{
    int ret = -1; // the plain failure, without a camera to ask
    if (m_protocol) {
        DSPParameters record{kDspConfigToFDistortion, 0, static_cast<uint8_t>(enabled ? 1 : 0), 0};
        ret = SetProperty(kSessionDspStatus, &record, static_cast<int>(sizeof(record)));
        m_calibration.SetTofUndistorted(enabled);
    }
    if (ApplyUndistortionSwitches() != kStatusOk && ret == kStatusOk && enabled) {
        ret = kStatusInvalidArgument; // the library refused the calibration: nothing is undistorted
    }
    return ret;
}

int BaseSession::ApplyUndistortionSwitches()
{
    APIDepthRefine *refine = m_imageProc ? m_imageProc->GetRefine() : nullptr;
    int ret = kStatusOk;
    if (refine != nullptr) {
        // A lens the library refuses is not undistorted: the session's switch says so too.
        if (refine->SetApplyToFDistortionEnabled(m_calibration.IsTofUndistorted(), 0) != kRefineOk) {
            TFLOG("ToF distortion coefficients refused: ToF images are not undistorted.");
            m_calibration.SetTofUndistorted(false);
            refine->SetApplyToFDistortionEnabled(false, 0);
            ret = kStatusInvalidArgument;
        }
        if (RgbDecode *rgb = m_imageProc->GetRgbDecode();
            rgb != nullptr &&
            rgb->SetApplyRGBDistortionEnabled(m_calibration.IsColorUndistorted()) != kRefineOk) {
            TFLOG("colour distortion coefficients refused: colour images are not undistorted.");
            m_calibration.SetColorUndistorted(false);
            rgb->SetApplyRGBDistortionEnabled(false);
        }
    }
    InitDepthFrame2WorldTab(m_calibration.Params().tofIntrinsic.data());
    return ret;
}

int BaseSession::GetApplyToFDistortionEnabled(bool *enabled)
{
    if (!m_protocol) {
        return -1; // the plain failure, without a camera to ask
    }
    if (enabled == nullptr) {
        return kStatusNullPointer;
    }
    DSPParameters record{kDspConfigToFDistortion, 0, 0, 0};
    int size = static_cast<int>(sizeof(record));
    const int ret = GetProperty(kSessionDspStatus, &record, &size);
    if (ret == kStatusOk) {
        if ((record.enable != 0) != m_calibration.IsTofUndistorted()) {
            m_calibration.SetTofUndistorted(record.enable != 0);
            ApplyUndistortionSwitches();
        }
        // What the library applies: a lens it refused is not undistorted whatever the camera says.
        *enabled = m_calibration.IsTofUndistorted();
    }
    return ret;
}

FORWARD_TO(m_calibration, InitDepthFrame2WorldTab(const double *intrinsic),
           InitDepthFrame2WorldTab(intrinsic))

// ---- Filters the camera or the library runs

FORWARD_TO(m_filters, SetTimeFilterEnabled(bool enabled), SetTimeFilterEnabled(enabled))
FORWARD_TO(m_filters, GetTimeFilterEnabled(bool *enabled), GetTimeFilterEnabled(enabled))
FORWARD_TO(m_filters, SetConfidenceFilterEnable(bool enabled), SetConfidenceFilterEnable(enabled))
FORWARD_TO(m_filters, SetConfidenceFilterParams(const ConfidenceFilterParams &params),
           SetConfidenceFilterParams(params))
FORWARD_TO(m_filters, GetConfidenceFilterParams(ConfidenceFilterParams &params),
           GetConfidenceFilterParams(params))
FORWARD_TO(m_filters, SetComputeRealDepthEnabled(bool enabled), SetComputeRealDepthEnabled(enabled))
FORWARD_TO(m_filters, GetComputeRealDepthEnabled(bool *enabled), GetComputeRealDepthEnabled(enabled))
FORWARD_TO(m_filters, SetSmoothingFilterEnabled(bool enabled), SetSmoothingFilterEnabled(enabled))
FORWARD_TO(m_filters, GetSmoothingFilterEnabled(bool *enabled), GetSmoothingFilterEnabled(enabled))
FORWARD_TO(m_filters, SetRawDepthCut(bool enabled), SetRawDepthCut(enabled))

// ---- Properties and file transfer

FORWARD_TO(m_properties, SetProperty(int key, const void *data, int size), SetProperty(key, data, size))
FORWARD_TO(m_properties, GetProperty(int key, void *data, int *size), GetProperty(key, data, size))
FORWARD_TO(m_properties, ProbeWhileClosed(), ProbeWhileClosed(m_opened.load()))

int BaseSession::TransferFile(FileTransferParams &params)
{
    if (params.direction != 0) {
        // The camera names its upload after its serial number: the tag is exactly that, with nothing of
        // the caller's text after it, and the file may grow to the size its type requires.
        std::memset(params.name, 0, sizeof(params.name));
        const size_t n = std::min(m_serialNumber.size(), sizeof(params.name) - 1);
        std::memcpy(params.name, m_serialNumber.data(), n);
        params.value = TransferFileCheck::RequiredBytes(params.type, params.index);
    } else if (!CheckTransferFile(params)) {
        return kStatusInvalidArgument;
    }
    REQUIRE_PROTOCOL();
    return m_protocol->TransferFile(params);
}

bool BaseSession::CheckTransferFile(FileTransferParams &params)
{
    return TransferFileCheck::CheckTransferFile(params);
}

// ---- Firmware and JSON configuration upgrade

FORWARD_TO(m_upgrade, CheckFirmwareVersion(const char *path, int &fileLength, int &checksum),
           CheckFirmwareVersion(path, fileLength, checksum))
FORWARD_TO(m_upgrade, StartUpgradeFirmWare(const char *path), StartUpgradeFirmWare(path))
FORWARD_TO(m_upgrade, SetUpgradeStatusCallback(TfUpgradeStatusCallback callback),
           SetUpgradeStatusCallback(callback))
FORWARD_TO(m_upgrade, EnterJsonConfigMode(TfUpgradeStatusCallback callback), EnterJsonConfigMode(callback))
FORWARD_TO(m_upgrade, StartUpgradeJson(const char *path), StartUpgradeJson(path))

// ---- Pure forwarders to the protocol

#define FORWARD_TO_PROTOCOL(signature, call)                                                                 \
    int BaseSession::signature                                                                               \
    {                                                                                                        \
        REQUIRE_PROTOCOL();                                                                                  \
        return m_protocol->call;                                                                             \
    }

FORWARD_TO_PROTOCOL(GetTofFrameRate(uint8_t *fps), GetTofFrameRate(fps))
FORWARD_TO_PROTOCOL(GetMeasuringStatus(MeasuringStatusGet *status), GetMeasuringStatus(status))
FORWARD_TO_PROTOCOL(SetRegVal(uint16_t *addresses, uint16_t *values, uint8_t count),
                    SetRegVal(addresses, values, count))
FORWARD_TO_PROTOCOL(GetRegVal(uint16_t *addresses, uint16_t *values, uint8_t count),
                    GetRegVal(addresses, values, count))
FORWARD_TO_PROTOCOL(GetGMMGain(uint8_t *gain), GetGMMGain(gain))
FORWARD_TO_PROTOCOL(SetMeasuringRange(const MeasuringRange &range), SetMeasuringRange(range))
FORWARD_TO_PROTOCOL(GetDepthMode(uint8_t *mode), GetDepthMode(mode))
FORWARD_TO_PROTOCOL(GetDepthRange(DepthRange &range), GetDepthRange(range))
FORWARD_TO_PROTOCOL(SetLDEnable(const LDEnable &enable), SetLDEnable(enable))
FORWARD_TO_PROTOCOL(GetLDEnable(LDEnable &enable), GetLDEnable(enable))
FORWARD_TO_PROTOCOL(SetCameraIntrinsic(SensorType sensor, const double *v), SetCameraIntrinsic(sensor, v))
FORWARD_TO_PROTOCOL(SetCameraDistortion(SensorType sensor, const double *v), SetCameraDistortion(sensor, v))
FORWARD_TO_PROTOCOL(SetCameraRotation(const double *v), SetCameraRotation(v))
FORWARD_TO_PROTOCOL(GetCameraRotation(double *v), GetCameraRotation(v))
FORWARD_TO_PROTOCOL(SetCameraTransfer(const double *v), SetCameraTransfer(v))
FORWARD_TO_PROTOCOL(GetCameraTransfer(double *v), GetCameraTransfer(v))
FORWARD_TO_PROTOCOL(SetCameraE(const double *v), SetCameraE(v))
FORWARD_TO_PROTOCOL(GetCameraE(double *v), GetCameraE(v))
FORWARD_TO_PROTOCOL(SetCameraF(const double *v), SetCameraF(v))
FORWARD_TO_PROTOCOL(GetCameraF(double *v), GetCameraF(v))
FORWARD_TO_PROTOCOL(GetWorkMode(WorkMode *mode), GetWorkMode(mode))
FORWARD_TO_PROTOCOL(SetPCBA(const char *text, int length), SetPCBA(const_cast<char *>(text), length))
FORWARD_TO_PROTOCOL(GetPCBA(char *text, int length), GetPCBA(text, length))
FORWARD_TO_PROTOCOL(SetSN(const char *text, int length), SetSN(const_cast<char *>(text), length))
FORWARD_TO_PROTOCOL(GetSN(char *text, int length), GetSN(text, length))
FORWARD_TO_PROTOCOL(GetFWVer(char *text, int length), GetFWVer(text, length))
FORWARD_TO_PROTOCOL(GetHWVer(char *text, int length), GetHWVer(text, length))
FORWARD_TO_PROTOCOL(GetFlashType(char *text, int length), GetFlashType(text, length))
FORWARD_TO_PROTOCOL(SetACCSensitivity(const IMUSensitivity &v), SetACCSensitivity(v))
FORWARD_TO_PROTOCOL(GetACCSensitivity(IMUSensitivity &v), GetACCSensitivity(v))
FORWARD_TO_PROTOCOL(SetACCOffset(const IMUOffset &v), SetACCOffset(v))
FORWARD_TO_PROTOCOL(GetACCOffset(IMUOffset &v), GetACCOffset(v))
FORWARD_TO_PROTOCOL(SetACCOffsetTemp(const IMUOffsetTemp &v), SetACCOffsetTemp(v))
FORWARD_TO_PROTOCOL(GetACCOffsetTemp(IMUOffsetTemp &v), GetACCOffsetTemp(v))
FORWARD_TO_PROTOCOL(SetGyroSensitivity(const IMUSensitivity &v), SetGyroSensitivity(v))
FORWARD_TO_PROTOCOL(GetGyroSensitivity(IMUSensitivity &v), GetGyroSensitivity(v))
FORWARD_TO_PROTOCOL(SetGyroOffset(const IMUOffset &v), SetGyroOffset(v))
FORWARD_TO_PROTOCOL(GetGyroOffset(IMUOffset &v), GetGyroOffset(v))
FORWARD_TO_PROTOCOL(SetGyroOffsetTemp(const IMUOffsetTemp &v), SetGyroOffsetTemp(v))
FORWARD_TO_PROTOCOL(GetGyroOffsetTemp(IMUOffsetTemp &v), GetGyroOffsetTemp(v))
FORWARD_TO_PROTOCOL(SetImuDataMode(const IMUDataMode &v), SetImuDataMode(v))
FORWARD_TO_PROTOCOL(GetImuDataMode(IMUDataMode &v), GetImuDataMode(v))
FORWARD_TO_PROTOCOL(SetRgbExplosureTimeAndGain(float exposureTime, float gain),
                    SetRgbExplosureTimeAndGain(exposureTime, gain))
FORWARD_TO_PROTOCOL(GetRgbExplosureTimeAndGain(float *exposureTime, float *gain),
                    GetRgbExplosureTimeAndGain(exposureTime, gain))
FORWARD_TO_PROTOCOL(SetTestModeState(TestMode mode, const TestModeParams &params),
                    SetTestModeState(mode, params))
FORWARD_TO_PROTOCOL(GetExposureTime(ExposureTime *exposure), GetExposureTime(exposure))
FORWARD_TO_PROTOCOL(SetSoftwareSlaveTrigger(), SetSlaveTrigger())

#undef FORWARD_TO_PROTOCOL

int BaseSession::SetMeasuringStatus(const MeasuringStatusSet &status)
{
    REQUIRE_PROTOCOL();
    MeasuringStatusSet copy = status;
    return m_protocol->SetMeasuringStatus(copy);
}

// ---- Pure forwarders to the pipeline and the refine library behind it

// One row per operation: its signature, then its call on the pipeline (or the refine library). A READ row
// writes the call's answer to `out`.
#define FORWARD_TO_PIPELINE(signature, call)                                                                 \
    int BaseSession::signature                                                                               \
    {                                                                                                        \
        return Pipeline().Forward(__func__, [&](ImageProc &p) { return p.call; });                           \
    }
#define READ_FROM_PIPELINE(signature, out, call)                                                             \
    int BaseSession::signature                                                                               \
    {                                                                                                        \
        return Pipeline().Forward(__func__, ReadInto(out, [](ImageProc &p) { return p.call; }));             \
    }
#define READ_FROM_REFINE(signature, out, call)                                                               \
    int BaseSession::signature                                                                               \
    {                                                                                                        \
        return Pipeline().ForwardToRefine(__func__,                                                          \
                                          ReadInto(out, [](APIDepthRefine &r) { return r.call; }));          \
    }
#define FORWARD_TO_REFINE(signature, call)                                                                   \
    int BaseSession::signature                                                                               \
    {                                                                                                        \
        return Pipeline().ForwardToRefine(__func__, [&](APIDepthRefine &r) { return r.call; });              \
    }

FORWARD_TO_PIPELINE(SetStreamEnable(StreamType type, bool enabled), SetStreamEnable(type, enabled))
FORWARD_TO_PIPELINE(GetStreamEnable(StreamType type), GetStreamEnable(type))
FORWARD_TO_PIPELINE(SetColorPixelFormat(PixelFormat format), SetColorPixelFormat(format))
READ_FROM_PIPELINE(GetColorPixelFormat(PixelFormat *format), format, GetColorPixelFormat())
FORWARD_TO_PIPELINE(SetIRPixelFormat(PixelFormat format), SetIRPixelFormat(format))
FORWARD_TO_PIPELINE(SetSaveRawBufferEnabled(bool enabled), SetSaveRawBufferEnabled(enabled))
FORWARD_TO_PIPELINE(SetImageMirror(int mirror), SetImageMirror(mirror))
FORWARD_TO_PIPELINE(GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize,
                                             TfVector2u16 *colorPoint),
                    GetMappedPointDepthToRGB(depthPoint, colorSize, colorPoint))
FORWARD_TO_PIPELINE(SetApplyRGBCorrectionEnabled(bool enabled),
                    GetRgbDecode()->SetApplyRGBCorrectionEnabled(enabled))
READ_FROM_PIPELINE(GetApplyRGBCorrectionEnabled(bool *enabled), enabled,
                   GetRgbDecode()->GetApplyRGBCorrectionEnabled())
FORWARD_TO_PIPELINE(SetTransformColorImgToDepthCameraEnabled(bool enabled),
                    SetTransformColorImgToDepthCameraEnabled(enabled))
READ_FROM_PIPELINE(IsTransformColorImgToDepthCameraEnabled(bool *enabled), enabled,
                   IsTransformColorImgToDepthCameraEnabled())
FORWARD_TO_PIPELINE(SetTransformDepthImgToColorCameraEnabled(bool enabled),
                    SetTransformDepthImgToColorCameraEnabled(enabled))
READ_FROM_PIPELINE(IsTransformDepthImgToColorCameraEnabled(bool *enabled), enabled,
                   IsTransformDepthImgToColorCameraEnabled())
FORWARD_TO_PIPELINE(SetTransformIRImgToColorCameraEnabled(bool enabled),
                    SetTransformIRImgToColorCameraEnabled(enabled))
READ_FROM_PIPELINE(IsTransformIRImgToColorCameraEnabled(bool *enabled), enabled,
                   IsTransformIRImgToColorCameraEnabled())
FORWARD_TO_PIPELINE(SetSynchronizeEnabled(bool enabled), SetSynchronizeEnabled(enabled))
READ_FROM_PIPELINE(GetSynchronizeEnabled(bool *enabled), enabled, GetSynchronizeEnabled())
FORWARD_TO_REFINE(SetOutofMaxRangeHandle(int handling), SetOutofMaxRangeHandle(handling))
FORWARD_TO_REFINE(SetTimeFilterDepthEnabled(bool enabled), SetTimeFilterDepthEnabled(enabled))
FORWARD_TO_REFINE(SetFilterThreshold(const FilterThreshold &threshold),
                  SetFilterThreshold(ToRefineThreshold(threshold)))
FORWARD_TO_REFINE(SetAlgoType(int first, int second), SetAlgoType(first, second))
FORWARD_TO_REFINE(SetFlyingPixelFilterParams(const FlyingPixelFilterParams &params),
                  SetFlyingPixelFilterParams(Twin<TfFlyingPixelFilterParams>(params)))
FORWARD_TO_REFINE(SetSpatialFilterParams(const SpatialFilterParams &params),
                  SetSpatialFilterParams(Twin<TfSpatialFilterParams>(params)))
FORWARD_TO_REFINE(SetFillHoleFilterParams(const FillHoleFilterParams &params),
                  SetFillHoleFilterParams(Twin<TfFillHoleFilterParams>(params)))
FORWARD_TO_REFINE(MappedDepthToPoints(const uint16_t *depth, uint32_t count, uint32_t colorWidth,
                                      uint32_t colorHeight, const int32_t *rayIndex, TfVector3f *points),
                  MappedDepthToPoints(depth, count, colorWidth, colorHeight, rayIndex, points))

bool BaseSession::GetAppliedTransform(const void *data, uint32_t frameIndex, int &rotation, int &mirror)
{
    if (!m_imageProc) {
        return false;
    }
    FrameDelivery::AppliedTransform applied;
    if (!m_imageProc->GetAppliedTransform(data, frameIndex, applied)) {
        // A copy the application made: laid out as delivery lays frames out now.
        applied.rotation = m_imageProc->GetImageRotation();
        applied.mirror = m_imageProc->GetImageMirror();
    }
    rotation = applied.rotation;
    mirror = applied.mirror;
    return true;
}

int BaseSession::GetFlyingPixelFilterParams(FlyingPixelFilterParams &params)
{
    return Pipeline().ForwardToRefine(__func__,
                                      ReadTwin(params, &APIDepthRefine::GetFlyingPixelFilterParams));
}

int BaseSession::GetSpatialFilterParams(SpatialFilterParams &params)
{
    return Pipeline().ForwardToRefine(__func__, ReadTwin(params, &APIDepthRefine::GetSpatialFilterParams));
}

int BaseSession::GetFillHoleFilterParams(FillHoleFilterParams &params)
{
    return Pipeline().ForwardToRefine(__func__, ReadTwin(params, &APIDepthRefine::GetFillHoleFilterParams));
}

READ_FROM_REFINE(GetOutofMaxRangeHandle(int *handling), handling, GetOutofMaxRangeHandle())

#undef FORWARD_TO_PIPELINE
#undef READ_FROM_PIPELINE
#undef FORWARD_TO_REFINE
#undef READ_FROM_REFINE

void BaseSession::setFramePixelFormat(int frameType, int pixelFormat)
{
    if (m_imageProc) {
        m_imageProc->setFramePixelFormat(frameType, pixelFormat);
    }
}

int BaseSession::SetWaitTime(uint16_t waitTimeMs)
{
    if (m_imageProc) {
        m_imageProc->SetWaitTime(waitTimeMs);
    }
    return kStatusOk;
}

#undef FORWARD_TO
