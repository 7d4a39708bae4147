// SPDX-License-Identifier: Apache-2.0
// BaseSession lifecycle: construction, open, initialisation, stream start and stop, close, frame reads,
// the hub's session interface and the forwarders to the protocol and the pipeline.
#include "session/BaseSession.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>

#include "net/SocketProtocol.h"
#include "pipeline/DepthRanges.h"
#include "pipeline/ImageProc.h"
#include "runtime/LogCustom.h"
#include "session/ProtocolStreamSource.h"
#include "session/SessionGuards.h"

namespace {
/// Measuring ranges report at most this near limit, whatever the range's wrap distance.
constexpr uint16_t kNearLimitCapMm = 4200;
constexpr int kPropDspStatus = 0x0E000017;
constexpr uint32_t kDspConfigToFDistortion = 6;
} // namespace

BaseSession::BaseSession()
{
    for (int i = 0; i < kMeasuringRangeCount; ++i) {
        const auto maxMm = static_cast<uint16_t>(DepthRanges::GetSonyMaxDepth(static_cast<uint32_t>(i)));
        m_measuringRanges.push_back(
            MeasuringRange{static_cast<uint8_t>(i), std::min(maxMm, kNearLimitCapMm), 0, maxMm});
    }
}

BaseSession::BaseSession(const SessionInfo &info) : BaseSession()
{
    m_info = info;
    m_imageProc = std::make_unique<ImageProc>(this);
    if (IsNetworkType(m_info.deviceType)) {
        m_protocol = std::make_unique<SocketProtocol>(m_info);
        m_colorFrameMode.height = 480;
        m_lens.width = static_cast<uint16_t>(m_colorFrameMode.width);
        m_lens.height = 480;
        m_depthRangeList = {6, 0, 1, 2, 3, 4, 5};
        m_dataModeList = {8, 1, 2, 3, 5, 6, 7, 9, 10};
    } else {
        TFLOG("devicetype:%d is invalid.", static_cast<int>(m_info.deviceType));
    }
    SetFrameMode(m_dataMode.load());
    m_dualFreq = DualFreqMode{};
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

int BaseSession::GetSonyMaxDepth(int range)
{
    if (range < 0 || range >= kMeasuringRangeCount) {
        TFLOG("range:%d is invalid.", range);
        return 0;
    }
    return DepthRanges::GetSonyMaxDepth(static_cast<uint32_t>(range));
}

int BaseSession::GetSessionInfo(SessionInfo &out) const
{
    if (&out != &m_info) {
        out = m_info;
    }
    return 0;
}

uint32_t BaseSession::GetDeviceType()
{
    return m_info.deviceType;
}

void BaseSession::SleepMs(unsigned ms) const
{
    // sleep_for resumes after a signal until the whole time has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---------------------------------------------------------------------------------------------
// The hub's session interface
// ---------------------------------------------------------------------------------------------

bool BaseSession::ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length)
{
    return ReadStreamBuffer(m_protocol.get(), buffer, capacity, length);
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

// ---------------------------------------------------------------------------------------------
// Open, stream, close
// ---------------------------------------------------------------------------------------------

int BaseSession::OpenDevice(bool)
{
    if (m_opened.load()) {
        TFLOG("has opened");
        return -103;
    }
    if (!m_protocol) {
        return kNotSupported;
    }
    const int ret = m_protocol->OpenDevice();
    if (ret != 0) {
        return ret;
    }
    if (!m_imageProc->IsRunning()) {
        m_imageProc->Start();
    }
    m_opened.store(true);
    m_protocol->SendCameraParamsEnable(true);
    m_paramsRequested.store(true);
    StartStream();
    return 0;
}

int BaseSession::StartStream()
{
    TFLOG("");
    std::lock_guard<std::mutex> lock(m_mutex);
    // Checked under the lock so that two callers never both start the camera.
    if (m_streamStarted.load()) {
        TFLOG("The device image stream has been started. Do not start it again.");
        return 0;
    }
    REQUIRE_PROTOCOL();
    if (!m_statusFollowed.load()) {
        // Stopped before: the first buffer of the new stream tells whether the camera reports its status.
        m_statusRequested.store(true);
    }
    const int ret = m_protocol->StartStream();
    if (ret != 0) {
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
    return 0;
}

int BaseSession::StopStream()
{
    TFLOG("");
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_streamStarted.load()) {
        TFLOG("The device image stream has been stopped. Do not stop it again.");
        return 0;
    }
    REQUIRE_PROTOCOL();
    m_streamStarted.store(false);
    m_imageProc->SetStream(false);
    const int ret = m_protocol->StopStream();
    if (ret == 0) {
        // A stopped camera sends no buffers and so no status: settings made while it is stopped cannot
        // be confirmed and count as taken once the camera accepted them. Buffers still on their way
        // leave this alone; the next start asks the first buffer to settle it again.
        m_statusRequested.store(false);
        m_statusFollowed.store(false);
    }
    return ret;
}

int BaseSession::CloseDevice()
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->CloseDevice();
    if (ret != 0) {
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
    m_initialised.store(false);
    m_opened.store(false);
    return 0;
}

bool BaseSession::GetStreamStatus()
{
    return m_streamStarted.load();
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
    if (type == 1 && m_imageProc) {
        m_imageProc->SetConnectStatus(false);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Initialisation
// ---------------------------------------------------------------------------------------------

int BaseSession::InitDevice()
{
    if (!m_imageProc) {
        TFLOG("Not Support.");
        return 0;
    }
    InitCameraParams params{};
    if (m_paramsRequested.load()) {
        bool received = false;
        int waitedMs = 0;
        // The looks follow a fixed schedule from the first one, so late wake-ups of a busy machine do not
        // add up: the k-th look happens k x 10 ms after the first, and the logged wait says when.
        const auto firstLook = std::chrono::steady_clock::now();
        for (int failed = 0; failed < kCalibrationTries; ++failed) {
            if (m_imageProc->GetDeviceInitParams(params)) {
                received = true;
                waitedMs = failed * static_cast<int>(kCalibrationPauseMs);
                break;
            }
            std::this_thread::sleep_until(firstLook +
                                          std::chrono::milliseconds((failed + 1) * kCalibrationPauseMs));
        }
        if (!received && m_imageProc->GetDeviceInitParams(params)) {
            received = true;
            waitedMs = kCalibrationTries * static_cast<int>(kCalibrationPauseMs);
        }
        if (received) {
            TFLOG("wait:%d.", waitedMs);
            InitFromUVCFrameData(params);
        } else {
            TFLOG("first frame data is toot late.");
            InitFromUVCCMD();
        }
    } else {
        InitFromUVCCMD();
    }

    // A failed query keeps the pipeline's switches as they are rather than turning them off.
    DSPParameters dsp{kDspConfigToFDistortion, 0, 0, 0};
    int dspBytes = static_cast<int>(sizeof(dsp));
    if (GetProperty(kPropDspStatus, &dsp, &dspBytes) == 0 && m_imageProc->GetRefine() != nullptr) {
        m_imageProc->GetRefine()->SetApplyToFDistortionEnabled(dsp.enable != 0, 0);
    }
    if (m_protocol) {
        ConfidenceFilterParams confidence{};
        if (m_protocol->GetConfidenceFilterParams(confidence) == 0) {
            m_confidenceParams = confidence;
            m_hasConfidenceParams = true;
            if (TofDecode *tof = m_imageProc->GetTofDecode()) {
                tof->SetConfidenceFilterParams(confidence);
            }
        }
        uint8_t gain = 0;
        m_protocol->GetGMMGain(&gain);
        if (gain != 0) {
            m_irGmmGain.store(gain);
            if (TofDecode *tof = m_imageProc->GetTofDecode()) {
                tof->SetIRGmmGain(gain);
            }
        }
    }
    char serial[63] = {};
    if (GetSN(serial, static_cast<int>(sizeof(serial))) == 0) {
        m_serialNumber.assign(serial, strnlen(serial, sizeof(serial)));
    }
    InitLens();
    return 0;
}

void BaseSession::InitPipeline()
{
    PipelineInitParams p;
    p.colorMode = m_colorFrameMode;
    p.measuringRanges = m_measuringRanges;
    p.depthMode = m_depthFrameMode;
    p.irMode = m_irFrameMode;
    std::copy(m_tofIntrinsic.begin(), m_tofIntrinsic.end(), p.cameraParams.tofIntrinsic);
    std::copy(m_tofDistortion.begin(), m_tofDistortion.end(), p.cameraParams.tofDistortion);
    std::copy(m_colorIntrinsic.begin(), m_colorIntrinsic.end(), p.cameraParams.colorIntrinsic);
    std::copy(m_colorDistortion.begin(), m_colorDistortion.end(), p.cameraParams.colorDistortion);
    std::copy(m_rotation.begin(), m_rotation.end(), p.cameraParams.rotation);
    std::copy(m_translation.begin(), m_translation.end(), p.cameraParams.translation);
    p.dataMode = m_dataMode.load();
    p.serialNumber = m_serialNumber.substr(0, 63);
    m_imageProc->SetColorIntrinsic(m_colorIntrinsic.data());
    m_imageProc->Init(p);
    ApplyTofSettings();
}

void BaseSession::ApplyTofSettings()
{
    TofDecode *tof = m_imageProc ? m_imageProc->GetTofDecode() : nullptr;
    if (tof == nullptr) {
        return;
    }
    tof->SetDepthRange(m_depthRange.load());
    tof->SetComputeRealDepthEnabled(m_computeRealDepth.load());
    tof->SetSmoothingFilterEnabled(m_smoothingFilter.load());
    tof->SetTemperatureOffsetEnable(m_temperatureOffset.load());
    tof->SetRawDepthCut(m_rawDepthCut.load());
    if (m_irGmmGain.load() != 0) {
        tof->SetIRGmmGain(m_irGmmGain.load());
    }
    if (m_hasConfidenceParams) {
        tof->SetConfidenceFilterParams(m_confidenceParams);
    }
}

void BaseSession::InitFromUVCFrameData(const InitCameraParams &params)
{
    std::copy(std::begin(params.tofIntrinsic), std::end(params.tofIntrinsic), m_tofIntrinsic.begin());
    std::copy(std::begin(params.rgbIntrinsic), std::end(params.rgbIntrinsic), m_colorIntrinsic.begin());
    std::copy(std::begin(params.tofDistortion), std::end(params.tofDistortion), m_tofDistortion.begin());
    std::copy(std::begin(params.rgbDistortion), std::end(params.rgbDistortion), m_colorDistortion.begin());
    std::copy(std::begin(params.rotation), std::end(params.rotation), m_rotation.begin());
    std::copy(std::begin(params.translation), std::end(params.translation), m_translation.begin());
    InitDepthFrame2WorldTab(m_tofIntrinsic.data());
    SetSynchronizeEnabled(true);
    m_dataMode.store(params.mode);
    SetFrameMode(params.mode);
    m_colorFrameMode.width = params.rgbW;
    m_colorFrameMode.height = params.rgbH;

    if (params.rangeListCount != 0) {
        // A count beyond the nine entries the block carries would make later checks read past them.
        const int capacity = kDepthRangeListBytes - 1;
        if (params.rangeListCount > capacity) {
            TFLOG("rangeList count:%d is invalid.", params.rangeListCount);
        }
        m_depthRangeList[0] = static_cast<uint8_t>(std::min<int>(params.rangeListCount, capacity));
        std::copy(std::begin(params.rangeList), std::end(params.rangeList), m_depthRangeList.begin() + 1);
        for (int i = 0; i < kMeasuringRangeCount && i < static_cast<int>(m_measuringRanges.size()); ++i) {
            if (params.depthMax[0][i] != 0) {
                m_measuringRanges[static_cast<size_t>(i)] =
                    MeasuringRange{static_cast<uint8_t>(i), params.depthMax[1][i], params.depthMax[2][i],
                                   params.depthMax[0][i]};
            }
        }
    }
    if (params.modeListCount != 0) {
        // The count and the 32 bytes behind it, which run on into the block's uninterpreted part.
        const auto *from =
            reinterpret_cast<const uint8_t *>(&params) + offsetof(InitCameraParams, modeListCount);
        std::memcpy(m_dataModeList.data(), from, m_dataModeList.size());
        const int capacity = kDataModeListBytes - 1;
        if (m_dataModeList[0] > capacity) {
            TFLOG("modeList count:%d is invalid.", m_dataModeList[0]);
            m_dataModeList[0] = static_cast<uint8_t>(capacity);
        }
    }
    m_depthRange.store(params.range);
    InitPipeline();

    static_assert(sizeof(params.wdr) == sizeof(m_dualFreq), "the block's wdr is a dual-frequency record");
    std::memcpy(&m_dualFreq, params.wdr, sizeof(m_dualFreq));
    if (params.mode == 9 || params.mode == 10) {
        if (TofDecode *tof = m_imageProc->GetTofDecode()) {
            DualFreqMode dual = m_dualFreq;
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
        if (ask(copy.data()) == 0) {
            target = copy;
        }
    };
    query(m_tofIntrinsic, [this](double *v) { return GetCameraIntrinsic(kSensorTof, v); });
    query(m_colorIntrinsic, [this](double *v) { return GetCameraIntrinsic(kSensorColor, v); });
    query(m_tofDistortion, [this](double *v) { return GetCameraDistortion(kSensorTof, v); });
    query(m_colorDistortion, [this](double *v) { return GetCameraDistortion(kSensorColor, v); });
    query(m_rotation, [this](double *v) { return GetCameraRotation(v); });
    query(m_translation, [this](double *v) { return GetCameraTransfer(v); });
    InitDepthFrame2WorldTab(m_tofIntrinsic.data());
    SetSynchronizeEnabled(true);
    InitDepthRangeList();
    if (DepthRangeCount() != 0) {
        for (auto &record : m_measuringRanges) {
            MeasuringRange answer = record;
            if (GetMeasuringRange(answer) == 0 && answer.range2 != 0) {
                record = answer;
            }
        }
    }
    if (DataModeCount() == 0) {
        InitDataModeList();
    }
    uint8_t mode = m_dataMode.load();
    if (GetDataMode(&mode) == 0) {
        m_dataMode.store(mode);
    }
    if (m_dataMode.load() == 9 || m_dataMode.load() == 10) {
        DualFreqMode dual = m_dualFreq;
        if (GetDualFreqMode(&dual) == 0) {
            m_dualFreq = dual;
        }
    }
    DepthRange range{m_depthRange.load()};
    if (GetDepthRange(range) == 0) {
        m_depthRange.store(range.range);
    }
    // The ToF decoder comes with the pipeline's initialisation, which then takes the range.
    InitPipeline();
}

template <size_t N> bool BaseSession::QueryCountedList(int key, const char *name, std::array<uint8_t, N> &out)
{
    std::array<uint8_t, N> list{};
    int size = static_cast<int>(N);
    if (GetProperty(key, list.data(), &size) != 0 || list[0] == 0) {
        return false;
    }
    // A count beyond the list would have readers run past it.
    if (list[0] > N - 1) {
        TFLOG("%s count:%d is invalid.", name, list[0]);
        list[0] = static_cast<uint8_t>(N - 1);
    }
    out = list;
    return true;
}

void BaseSession::InitDepthRangeList()
{
    QueryCountedList(0x0E000002, "rangeList", m_depthRangeList);
}

void BaseSession::InitDataModeList()
{
    if (DataModeCount() != 0) {
        return;
    }
    m_dataModeList.fill(0);
    if (!QueryCountedList(0x0E000001, "modeList", m_dataModeList) && !IsNetworkType(m_info.deviceType)) {
        TFLOG("devicetype:%d is invalid.", static_cast<int>(m_info.deviceType));
    }
}

void BaseSession::InitLens()
{
    if (!IsNetworkType(m_info.deviceType)) {
        TFLOG("devicetype:%d is invalid.", static_cast<int>(m_info.deviceType));
    } else {
        const uint8_t mode = m_dataMode.load();
        if (mode == 2 || mode == 6 || mode == 7 || mode == 10) {
            m_colorFrameMode = FrameMode{600, 480, 25};
            m_lens = LensConfig{2, 1, 600, 480, 25, 2};
        }
    }
    SetLens(m_lens);
}

int BaseSession::DataModeCount() const
{
    return m_dataModeList[0];
}

int BaseSession::DepthRangeCount() const
{
    return m_depthRangeList[0];
}

// ---------------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------------

int BaseSession::PrepareNextFrame(FrameReady *ready)
{
    REQUIRE_PIPELINE();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_streamStarted.load()) {
        return -1;
    }
    return m_imageProc->PrepareNextFrame(ready);
}

int BaseSession::GetFrame(FrameType type, Frame *frame)
{
    REQUIRE_PIPELINE();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_streamStarted.load()) {
        return -1;
    }
    return m_imageProc->GetFrame(type, frame);
}

int BaseSession::GetAudio()
{
    return 0;
}

ImuFrame BaseSession::GetImu()
{
    return ImuFrame{};
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

// ---------------------------------------------------------------------------------------------
// Depth-to-world table
// ---------------------------------------------------------------------------------------------

int BaseSession::InitDepthFrame2WorldTab(const double *intrinsic)
{
    if (intrinsic == nullptr) {
        TFLOG("intrinsic is null.");
        return -12;
    }
    TFLOG("Fx:%8.6lf Cx:%8.6lf Fy:%8.6lf Cy:%8.6lf", intrinsic[0], intrinsic[2], intrinsic[4], intrinsic[5]);
    std::array<double, 9> k{};
    std::copy(intrinsic, intrinsic + 9, k.begin());
    APIDepthRefine *refine = m_imageProc ? m_imageProc->GetRefine() : nullptr;
    if (m_tofDistortionApplied.load() && refine != nullptr) {
        refine->ComputeUndistortedIntrinsic(k.data(), m_tofDistortion.data(), kDepthTableWidth,
                                            kDepthTableHeight);
    }
    const double fx = k[0], cx = k[2], fy = k[4], cy = k[5];
    TFLOG("Fx:%8.6lf Cx:%8.6lf Fy:%8.6lf Cy:%8.6lf", fx, cx, fy, cy);
    std::vector<DepthWorldRay> table(static_cast<size_t>(kDepthTableWidth) * kDepthTableHeight);
    for (int v = 0; v < kDepthTableHeight; ++v) {
        for (int u = 0; u < kDepthTableWidth; ++u) {
            table[static_cast<size_t>(v) * kDepthTableWidth + static_cast<size_t>(u)] =
                DepthWorldRay((u - cx) / fx, (v - cy) / fy);
        }
    }
    m_depthWorldTable = std::move(table);
    return 0;
}

const DepthWorldRay *BaseSession::GetDepthFrame2WorldTab()
{
    return m_depthWorldTable.empty() ? nullptr : m_depthWorldTable.data();
}

// ---------------------------------------------------------------------------------------------
// Pure forwarders to the protocol
// ---------------------------------------------------------------------------------------------

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

int BaseSession::SetMeasuringStatus(const MeasuringStatusSet &status)
{
    REQUIRE_PROTOCOL();
    MeasuringStatusSet copy = status;
    return m_protocol->SetMeasuringStatus(copy);
}

#undef FORWARD_TO_PROTOCOL

// The upgrade and JSON configuration operations belong to the upgrade workers; until a session kind
// provides them they are unsupported.
int BaseSession::StartUpgradeFirmWare(const char *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetUpgradeStatusCallback(TfUpgradeStatusCallback)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::EnterJsonConfigMode(TfUpgradeStatusCallback)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::StartUpgradeJson(const char *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}
