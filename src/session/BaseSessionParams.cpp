// SPDX-License-Identifier: Apache-2.0
// BaseSession parameters: settings confirmed against the camera's streamed status, mode and range
// checks, calibration queries, processing switches, property tables and the file check of transfers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "pipeline/ImageProc.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"
#include "session/SessionGuards.h"

namespace {
constexpr int kTimedOut = -105;
constexpr int kRefusedWhileStreaming = -107;
constexpr int kPropDataModeList = 0x0E000001;
constexpr int kPropDepthRangeList = 0x0E000002;
constexpr int kPropTimeFilteredDepth = 0x0E000003;
constexpr int kPropDspStatus = 0x0E000017;
constexpr int kPropJsonConfigMode = 0x0E000020;
constexpr int kPropJsonUpgrade = 0x0E000021;
constexpr uint32_t kPropTemperatureOffset = 0xE0000107u;
constexpr uint32_t kDspConfigTimeFilter = 5;
constexpr uint32_t kDspConfigToFDistortion = 6;
constexpr uint8_t kLowPowerBit = 0x20;
constexpr uint8_t kWorkModeIgnoredBit = 0x04;
constexpr uint8_t kWorkModeNotConfirmed = 16;
/// Bytes a transfer file of a pixel table holds: 640 x 480 values of 16 bits.
constexpr long kPixelTableFileBytes = 614400;

bool IsMultiFrequencyMode(uint8_t mode)
{
    return mode == 5 || mode == 7 || mode == 9 || mode == 10;
}

bool IsDualFrequencyMode(uint8_t mode)
{
    return mode == 9 || mode == 10;
}

/// Modes in which the camera itself runs the time and confidence filters.
bool IsCameraFilterMode(uint8_t mode)
{
    return mode == 3 || mode == 5 || mode == 6 || mode == 7 || mode == 13;
}

bool IsValidFrameDataMode(uint8_t mode)
{
    switch (mode) {
    case 1:
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 13:
        return true;
    default:
        return false;
    }
}

/// Whether the confirmation of an exposure has a status field to compare with, and which.
bool ExposureStatusField(uint8_t dataMode, uint8_t index, const DeviceStatus &s, uint32_t &value)
{
    if (!IsMultiFrequencyMode(dataMode)) {
        value = s.exposureTime;
        return true;
    }
    switch (index) {
    case 0:
        value = s.wdrExposureTime[0];
        return true;
    case 1:
        value = s.wdrExposureTime[1];
        return true;
    case 3:
        value = s.wdrExposureTime[2];
        return true;
    default:
        return false;
    }
}
} // namespace

template <typename Match> int BaseSession::WaitForStatus(int count, unsigned periodMs, Match matches)
{
    if (!m_statusFollowed.load()) {
        return 0;
    }
    const unsigned overrideMs = m_pollPeriodOverrideMs.load();
    const unsigned pauseMs = overrideMs != 0 ? overrideMs : periodMs;
    for (int i = 0; i < count && m_statusFollowed.load(); ++i) {
        if (matches(ReadDeviceStatus())) {
            return 0;
        }
        SleepMs(pauseMs);
    }
    return kTimedOut;
}

// ---------------------------------------------------------------------------------------------
// Validation and frame modes
// ---------------------------------------------------------------------------------------------

bool BaseSession::IsDataModeValid(int mode)
{
    const int count = DataModeCount();
    for (int i = 1; i <= count; ++i) {
        if (m_dataModeList[static_cast<size_t>(i)] == mode) {
            return true;
        }
    }
    return false;
}

bool BaseSession::IsRangeValid(int range)
{
    const int count = DepthRangeCount();
    if (count == 0) {
        return true;
    }
    for (int i = 1; i <= count; ++i) {
        if (m_depthRangeList[static_cast<size_t>(i)] == range) {
            return true;
        }
    }
    return false;
}

void BaseSession::SetFrameMode(uint8_t dataMode)
{
    TFLOG("dataMode:%d", dataMode);
    if (!IsValidFrameDataMode(dataMode)) {
        TFLOG("dataMode:%d is invalid.", dataMode);
        return;
    }
    m_irFrameMode = FrameMode{640, 480, 25};
    m_depthFrameMode = FrameMode{640, 480, 25};
}

int BaseSession::GetFrameMode(FrameType type, FrameMode *mode)
{
    if (mode == nullptr) {
        TFLOG("mode is null.");
        return -12;
    }
    FrameMode answer{};
    switch (type) {
    case kFrameIr:
        answer = m_irFrameMode;
        break;
    case kFrameDepth:
        answer = m_depthFrameMode;
        break;
    case kFrameColor:
        answer = m_colorFrameMode;
        break;
    default:
        TFLOG("frameType:%d is invalid.", static_cast<int>(type));
        return 0;
    }
    const int rotation = m_imageRotation.load();
    if (rotation == 0 || rotation == 2) {
        std::swap(answer.width, answer.height);
    }
    *mode = answer;
    return 0;
}

float BaseSession::GetRGBExposuretime()
{
    TFLOG("GetExposuretime is not support..");
    return 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Settings confirmed by the camera's status
// ---------------------------------------------------------------------------------------------

int BaseSession::SetTofFrameRate(uint8_t fps)
{
    if (m_streamStarted.load()) {
        return kRefusedWhileStreaming;
    }
    REQUIRE_PROTOCOL();
    return m_protocol->SetTofFrameRate(fps);
}

int BaseSession::SetDataMode(uint8_t mode)
{
    if (m_streamStarted.load()) {
        return kRefusedWhileStreaming;
    }
    if (!IsDataModeValid(mode)) {
        TFLOG("invalid data mode %d", mode);
        return 1;
    }
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetDataMode(mode);
    if (ret == 0) {
        ret = WaitForStatus(300, 20,
                            [mode](const DeviceStatus &s) { return static_cast<uint8_t>(s.mode) == mode; });
    }
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_imageProc->SetRecycle(true);
    m_dataMode.store(mode);
    SetFrameMode(mode);
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetDataMode(mode);
    }
    return 0;
}

int BaseSession::GetDataMode(uint8_t *mode)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->GetDataMode(mode);
    if (ret == 0 && mode != nullptr) {
        SetFrameMode(*mode);
        m_dataMode.store(*mode);
        if (TofDecode *tof = m_imageProc->GetTofDecode()) {
            tof->SetDataMode(*mode);
        }
    }
    return ret;
}

int BaseSession::SetDepthRange(const DepthRange &range)
{
    if (m_streamStarted.load()) {
        return kRefusedWhileStreaming;
    }
    if (IsMultiFrequencyMode(m_dataMode.load())) {
        TFLOG("Multi frequency mode reject change depth range");
        return 1;
    }
    if (!IsRangeValid(static_cast<int>(range.range))) {
        TFLOG("invalid depth range %d", static_cast<int>(range.range));
        return -10;
    }
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetDepthRange(range);
    if (ret == 0) {
        ret = WaitForStatus(100, 10, [&range](const DeviceStatus &s) {
            return static_cast<uint32_t>(static_cast<uint8_t>(s.range)) == range.range;
        });
    }
    if (ret != 0) {
        TFLOG("set range %d   receive depthrange %d \n", static_cast<int>(range.range),
              ReadDeviceStatus().range);
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetDepthRange(range.range);
    }
    m_depthRange.store(range.range);
    return 0;
}

int BaseSession::SetDualFreqMode(DualFreqMode &mode)
{
    if (m_streamStarted.load()) {
        return kRefusedWhileStreaming;
    }
    if (!IsDualFrequencyMode(m_dataMode.load())) {
        return -15;
    }
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetDualFreqMode(mode);
    if (ret == 0) {
        ret = WaitForStatus(100, 10, [&mode](const DeviceStatus &s) {
            return mode.count == s.wdr[1] && mode.values[0] == s.wdr[2] && mode.values[1] == s.wdr[3];
        });
    }
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_dualFreq = mode;
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetDualFreqMode(mode);
    }
    return 0;
}

int BaseSession::GetDualFreqMode(DualFreqMode *mode)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->GetDualFreqMode(mode);
    if (ret == 0 && mode != nullptr) {
        if (TofDecode *tof = m_imageProc->GetTofDecode()) {
            tof->SetDualFreqMode(*mode);
        }
    }
    return ret;
}

int BaseSession::SetExposureTime(const ExposureTime &exposure)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->SetExposureTime(exposure);
    if (ret != 0) {
        return ret;
    }
    const uint8_t dataMode = m_dataMode.load();
    uint32_t unused = 0;
    int waited = kTimedOut;
    // An index with no status field could only time out: it is answered at once instead.
    if (ExposureStatusField(dataMode, exposure.index, ReadDeviceStatus(), unused)) {
        waited = WaitForStatus(100, 10, [&](const DeviceStatus &s) {
            uint32_t value = 0;
            return ExposureStatusField(dataMode, exposure.index, s, value) && value == exposure.exposureTime;
        });
    } else if (!m_statusFollowed.load()) {
        waited = 0;
    }
    if (waited != 0) {
        const DeviceStatus s = ReadDeviceStatus();
        TFLOG("expoTime:(%d,%d), deviceStatus:(%d,%d,%d\t%d,%d\t%d,%d)", exposure.index,
              static_cast<int>(exposure.exposureTime), s.mode, s.range, static_cast<int>(s.exposureTime),
              s.wdr[3], static_cast<int>(s.wdrExposureTime[0]), s.wdr[4],
              static_cast<int>(s.wdrExposureTime[1]));
    }
    return waited;
}

int BaseSession::SetGMMGain(uint8_t gain)
{
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetGMMGain(gain);
    const bool multi = IsMultiFrequencyMode(m_dataMode.load());
    if (ret == 0) {
        ret = WaitForStatus(50, 10, [gain, multi](const DeviceStatus &s) {
            return (multi ? s.wdrGmmGain[1] : s.gmmGain) == gain;
        });
    }
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
        TFLOG("receive m_GmmGain %d", ReadDeviceStatus().gmmGain);
        return ret;
    }
    m_irGmmGain.store(gain);
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetIRGmmGain(gain);
    }
    return 0;
}

int BaseSession::SetSlaveMode(uint8_t mode)
{
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetSlaveMode(mode);
    if (ret == 0) {
        ret = WaitForStatus(
            20, 100, [mode](const DeviceStatus &s) { return static_cast<uint8_t>(s.slaveMode) == mode; });
    }
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_imageProc->SetRecycle(true);
    return 0;
}

int BaseSession::SetSlaveModeEnabled(bool enabled)
{
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetSlaveModeEnabled(enabled);
    const uint8_t expected = enabled ? 2 : 0;
    if (ret == 0) {
        ret = WaitForStatus(20, 100, [expected](const DeviceStatus &s) {
            return static_cast<uint8_t>(s.slaveMode) == expected;
        });
    }
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_imageProc->SetRecycle(true);
    return 0;
}

int BaseSession::SetWorkMode(const WorkMode &mode)
{
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetWorkMode(mode);
    const auto statusMode = [](const DeviceStatus &s) {
        return static_cast<uint8_t>(static_cast<uint8_t>(s.workMode) & ~kWorkModeIgnoredBit);
    };
    if (ret == 0 && mode.mode != kWorkModeNotConfirmed) {
        ret = WaitForStatus(20, 100, [&](const DeviceStatus &s) { return statusMode(s) == mode.mode; });
    }
    if (ret != 0) {
        TFLOG("%d != %d:", mode.mode, statusMode(ReadDeviceStatus()));
        TFLOG("ret:%d is failed.", ret);
    }
    return ret;
}

int BaseSession::SetLowPowerModeEnabled(bool enabled)
{
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetLowPowerModeEnabled(enabled);
    if (ret == 0) {
        // While the camera sleeps its frames are not worth decoding.
        m_imageProc->SetFrameState(!enabled);
        ret = WaitForStatus(30, 100, [enabled](const DeviceStatus &s) {
            return ((static_cast<uint8_t>(s.workMode) & kLowPowerBit) != 0) == enabled;
        });
    }
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
    }
    return ret;
}

int BaseSession::SetLens(const LensConfig &lens)
{
    REQUIRE_PROTOCOL();
    std::lock_guard<std::mutex> lock(g_MutexSetLens);
    const bool colorLens = lens.type == 2;
    if (colorLens) {
        m_colorFrameMode = FrameMode{lens.width, lens.height, lens.fps};
    }
    LensConfig request = lens;
    int ret = m_protocol->SetLens(request);
    if (ret == 0 && colorLens) {
        ret = WaitForStatus(100, 10, [&lens](const DeviceStatus &s) {
            return s.rgb1 == lens.width && s.rgb2 == lens.height;
        });
        if (ret != 0) {
            const DeviceStatus s = ReadDeviceStatus();
            TFLOG("set (%d,%d) is mismatch sync(%d,%d)", lens.width, lens.height, s.rgb1, s.rgb2);
        }
    }
    if (ret != 0) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_lens = lens;
    if (colorLens) {
        m_imageProc->SetFrameMode(kFrameColor, m_colorFrameMode);
    }
    return 0;
}

int BaseSession::GetLens(LensConfig &lens)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->GetLens(lens);
    if (ret == 0 && lens.type == 2) {
        m_colorFrameMode = FrameMode{lens.width, lens.height, lens.fps};
        m_imageProc->SetFrameMode(kFrameColor, m_colorFrameMode);
    }
    return ret;
}

// ---------------------------------------------------------------------------------------------
// Measuring ranges
// ---------------------------------------------------------------------------------------------

int BaseSession::GetMeasuringRange(MeasuringRange &range)
{
    REQUIRE_PROTOCOL();
    MeasuringRange answer = range;
    const int ret = m_protocol->GetMeasuringRange(answer);
    if (answer.range2 != 0) {
        range = answer;
    } else if (range.mode >= kMeasuringRangeCount) {
        TFLOG("range:%d is invalid.", range.mode);
    } else {
        TFLOG("ref.range:%d", range.mode);
        range = m_measuringRanges[range.mode];
    }
    TFLOG("ref.range:%d %d %d %d", range.mode, range.range2, range.range0, range.range1);
    return ret;
}

int BaseSession::GetMeasuringRangeInternal(MeasuringRange &range)
{
    if (range.mode >= kMeasuringRangeCount) {
        TFLOG("range:%d is invalid.", range.mode);
        return 0;
    }
    range = m_measuringRanges[range.mode];
    return 0;
}

int BaseSession::SetWDRStyle(WDRStyle style)
{
    REQUIRE_PIPELINE();
    TofDecode *tof = m_imageProc->GetTofDecode();
    if (tof == nullptr) {
        TFLOG("the depth decoder is not running.");
        return -1;
    }
    return tof->SetWDRStyle(style);
}

int BaseSession::SetRangeValue(uint32_t, int, int)
{
    return 0;
}

int BaseSession::SetSaveComputeDepthTab()
{
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Calibration
// ---------------------------------------------------------------------------------------------

int BaseSession::GetCameraIntrinsic(SensorType sensor, double *intrinsic)
{
    const int ret = GetCameraIntrinsic_(sensor, intrinsic);
    if (ret != 0) {
        // A failed query must not be turned into made-up intrinsics.
        return ret;
    }
    const bool tof = sensor == kSensorTof;
    const bool applied = tof ? m_tofDistortionApplied.load() : m_colorDistortionApplied.load();
    APIDepthRefine *refine = m_imageProc ? m_imageProc->GetRefine() : nullptr;
    if (applied && refine != nullptr) {
        const double *distortion = tof ? m_tofDistortion.data() : m_colorDistortion.data();
        refine->ComputeUndistortedIntrinsic(intrinsic, distortion, tof ? 640 : 1600, tof ? 480 : 1200);
    }
    return ret;
}

int BaseSession::GetCameraIntrinsic_(SensorType sensor, double *intrinsic)
{
    if (sensor != kSensorTof && sensor != kSensorColor) {
        TFLOG("cameraType:%d is invalid.", static_cast<int>(sensor));
        return kNotSupported;
    }
    REQUIRE_PROTOCOL();
    if (intrinsic == nullptr) {
        return -12;
    }
    return m_protocol->GetCameraIntrinsic(sensor, intrinsic);
}

int BaseSession::GetCameraDistortion(SensorType sensor, double *distortion)
{
    if (sensor != kSensorTof && sensor != kSensorColor) {
        TFLOG("cameraType:%d is invalid.", static_cast<int>(sensor));
        return kNotSupported;
    }
    REQUIRE_PROTOCOL();
    if (distortion == nullptr) {
        return -12;
    }
    return m_protocol->GetCameraDistortion(sensor, distortion);
}

int BaseSession::SetApplyToFDistortionEnabled(bool enabled)
{
    int ret = -1;
    if (m_protocol) {
        DSPParameters record{kDspConfigToFDistortion, 0, static_cast<uint8_t>(enabled ? 1 : 0), 0};
        ret = SetProperty(kPropDspStatus, &record, static_cast<int>(sizeof(record)));
        m_tofDistortionApplied.store(enabled);
        InitDepthFrame2WorldTab(m_tofIntrinsic.data());
    }
    if (m_imageProc && m_imageProc->GetRefine() != nullptr) {
        m_imageProc->GetRefine()->SetApplyToFDistortionEnabled(enabled, 0);
    }
    return ret;
}

int BaseSession::GetApplyToFDistortionEnabled(bool *enabled)
{
    if (!m_protocol) {
        return -1;
    }
    if (enabled == nullptr) {
        return -12;
    }
    DSPParameters record{kDspConfigToFDistortion, 0, 0, 0};
    int size = static_cast<int>(sizeof(record));
    const int ret = GetProperty(kPropDspStatus, &record, &size);
    if (ret == 0) {
        *enabled = record.enable != 0;
        m_tofDistortionApplied.store(*enabled);
    }
    return ret;
}

int BaseSession::SetApplyRGBDistortionEnabled(bool enabled)
{
    m_colorDistortionApplied.store(enabled);
    REQUIRE_PIPELINE();
    return m_imageProc->GetRgbDecode()->SetApplyRGBDistortionEnabled(enabled);
}

int BaseSession::GetApplyRGBDistortionEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_imageProc->GetRgbDecode()->GetApplyRGBDistortionEnabled();
    m_colorDistortionApplied.store(*enabled);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Filters and processing switches
// ---------------------------------------------------------------------------------------------

int BaseSession::SetTimeFilterEnabled(bool enabled)
{
    if (IsCameraFilterMode(m_dataMode.load())) {
        REQUIRE_PROTOCOL();
        DSPParameters record{kDspConfigTimeFilter, 0, 0, 0};
        m_protocol->GetDspStatus(record);
        record.enable = enabled ? 1 : 0;
        return m_protocol->SetDspStatus(record);
    }
    REQUIRE_REFINE();
    m_timeFilter.store(enabled);
    return m_imageProc->GetRefine()->SetTimeFilterEnabled(enabled, 0, 0, 0, 0);
}

int BaseSession::GetTimeFilterEnabled(bool *enabled)
{
    if (enabled == nullptr) {
        return -12;
    }
    const uint8_t mode = m_dataMode.load();
    if (mode == 3 || mode == 5 || mode == 6 || mode == 7) {
        REQUIRE_PROTOCOL();
        DSPParameters record{kDspConfigTimeFilter, 0, 0, 0};
        const int ret = m_protocol->GetDspStatus(record);
        *enabled = record.enable != 0;
        return ret;
    }
    REQUIRE_PIPELINE();
    *enabled = m_timeFilter.load();
    return 0;
}

int BaseSession::SetConfidenceFilterEnable(bool enabled)
{
    REQUIRE_PROTOCOL();
    ConfidenceFilterParams params{};
    m_protocol->GetConfidenceFilterParams(params);
    params.enable = enabled ? 1 : 0;
    const int ret = m_protocol->SetConfidenceFilterParams(params);
    m_confidenceParams.enable = params.enable;
    m_hasConfidenceParams = true;
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetConfidenceFilterEnable(enabled);
    }
    return ret;
}

int BaseSession::SetConfidenceFilterParams(const ConfidenceFilterParams &params)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->SetConfidenceFilterParams(params);
    m_confidenceParams = params;
    m_hasConfidenceParams = true;
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetConfidenceFilterParams(params);
    }
    return ret;
}

int BaseSession::GetConfidenceFilterParams(ConfidenceFilterParams &params)
{
    if (IsCameraFilterMode(m_dataMode.load())) {
        REQUIRE_PROTOCOL();
        return m_protocol->GetConfidenceFilterParams(params);
    }
    REQUIRE_PIPELINE();
    params = m_confidenceParams;
    return 0;
}

int BaseSession::SetComputeRealDepthEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    m_computeRealDepth.store(enabled);
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetComputeRealDepthEnabled(enabled);
    }
    if (APIDepthRefine *refine = m_imageProc->GetRefine()) {
        refine->SetComputeRealDepthEnabled(enabled);
    }
    return 0;
}

int BaseSession::GetComputeRealDepthEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_computeRealDepth.load();
    return 0;
}

int BaseSession::SetSmoothingFilterEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    m_smoothingFilter.store(enabled);
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetSmoothingFilterEnabled(enabled);
    }
    if (APIDepthRefine *refine = m_imageProc->GetRefine()) {
        refine->SetSmoothingFilterEnabled(enabled);
    }
    return 0;
}

int BaseSession::GetSmoothingFilterEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_smoothingFilter.load();
    return 0;
}

int BaseSession::SetApplyRGBCorrectionEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    return m_imageProc->GetRgbDecode()->SetApplyRGBCorrectionEnabled(enabled);
}

int BaseSession::GetApplyRGBCorrectionEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_imageProc->GetRgbDecode()->GetApplyRGBCorrectionEnabled();
    return 0;
}

int BaseSession::SetTransformColorImgToDepthCameraEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    return m_imageProc->SetTransformColorImgToDepthCameraEnabled(enabled);
}

int BaseSession::IsTransformColorImgToDepthCameraEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_imageProc->IsTransformColorImgToDepthCameraEnabled();
    return 0;
}

int BaseSession::SetTransformDepthImgToColorCameraEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    return m_imageProc->SetTransformDepthImgToColorCameraEnabled(enabled);
}

int BaseSession::IsTransformDepthImgToColorCameraEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_imageProc->IsTransformDepthImgToColorCameraEnabled();
    return 0;
}

int BaseSession::SetTransformIRImgToColorCameraEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    return m_imageProc->SetTransformIRImgToColorCameraEnabled(enabled);
}

int BaseSession::IsTransformIRImgToColorCameraEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_imageProc->IsTransformIRImgToColorCameraEnabled();
    return 0;
}

int BaseSession::SetSynchronizeEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    m_imageProc->SetSynchronizeEnabled(enabled);
    return 0;
}

int BaseSession::GetSynchronizeEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return -12;
    }
    *enabled = m_imageProc->GetSynchronizeEnabled();
    return 0;
}

int BaseSession::SetOutofMaxRangeHandle(int handling)
{
    REQUIRE_REFINE();
    return m_imageProc->GetRefine()->SetOutofMaxRangeHandle(handling);
}

int BaseSession::GetOutofMaxRangeHandle(int *handling)
{
    REQUIRE_REFINE();
    if (handling == nullptr) {
        return -12;
    }
    *handling = m_imageProc->GetRefine()->GetOutofMaxRangeHandle();
    return 0;
}

int BaseSession::SetTimeFilterDepthEnabled(bool enabled)
{
    REQUIRE_REFINE();
    return m_imageProc->GetRefine()->SetTimeFilterDepthEnabled(enabled);
}

int BaseSession::SetFilterThreshold(const FilterThreshold &threshold)
{
    REQUIRE_REFINE();
    RefineFilterThreshold values{};
    for (size_t i = 0; i < sizeof(threshold.values) / sizeof(threshold.values[0]); ++i) {
        values.values[i] = static_cast<int32_t>(threshold.values[i]);
    }
    return m_imageProc->GetRefine()->SetFilterThreshold(values);
}

int BaseSession::SetAlgoType(int first, int second)
{
    REQUIRE_REFINE();
    return m_imageProc->GetRefine()->SetAlgoType(first, second);
}

int BaseSession::SetFlyingPixelFilterParams(const FlyingPixelFilterParams &params)
{
    REQUIRE_REFINE();
    TfFlyingPixelFilterParams out{};
    std::memcpy(&out, &params, sizeof(out));
    return m_imageProc->GetRefine()->SetFlyingPixelFilterParams(out);
}

int BaseSession::SetSpatialFilterParams(const SpatialFilterParams &params)
{
    REQUIRE_REFINE();
    TfSpatialFilterParams out{};
    std::memcpy(&out, &params, sizeof(out));
    return m_imageProc->GetRefine()->SetSpatialFilterParams(out);
}

int BaseSession::SetFillHoleFilterParams(const FillHoleFilterParams &params)
{
    REQUIRE_REFINE();
    TfFillHoleFilterParams out{};
    std::memcpy(&out, &params, sizeof(out));
    return m_imageProc->GetRefine()->SetFillHoleFilterParams(out);
}

int BaseSession::GetFlyingPixelFilterParams(FlyingPixelFilterParams &params)
{
    REQUIRE_REFINE();
    TfFlyingPixelFilterParams out{};
    const int ret = m_imageProc->GetRefine()->GetFlyingPixelFilterParams(&out);
    std::memcpy(&params, &out, sizeof(params));
    return ret;
}

int BaseSession::GetSpatialFilterParams(SpatialFilterParams &params)
{
    REQUIRE_REFINE();
    TfSpatialFilterParams out{};
    const int ret = m_imageProc->GetRefine()->GetSpatialFilterParams(&out);
    std::memcpy(&params, &out, sizeof(params));
    return ret;
}

int BaseSession::GetFillHoleFilterParams(FillHoleFilterParams &params)
{
    REQUIRE_REFINE();
    TfFillHoleFilterParams out{};
    const int ret = m_imageProc->GetRefine()->GetFillHoleFilterParams(&out);
    std::memcpy(&params, &out, sizeof(params));
    return ret;
}

// ---------------------------------------------------------------------------------------------
// Streams, formats and delivery settings
// ---------------------------------------------------------------------------------------------

int BaseSession::SetStreamEnable(StreamType type, bool enabled)
{
    REQUIRE_PIPELINE();
    return m_imageProc->SetStreamEnable(type, enabled);
}

int BaseSession::GetStreamEnable(StreamType type)
{
    REQUIRE_PIPELINE();
    return m_imageProc->GetStreamEnable(type);
}

int BaseSession::SetDepthFrameEnabled(bool enabled)
{
    return SetStreamEnable(kStreamDepth, enabled);
}

int BaseSession::SetIrFrameEnabled(bool enabled)
{
    return SetStreamEnable(kStreamIr, enabled);
}

int BaseSession::SetRgbFrameEnabled(bool enabled)
{
    return SetStreamEnable(kStreamColor, enabled);
}

int BaseSession::SetConfidenceFrameEnabled(bool enabled)
{
    return SetStreamEnable(kStreamConfidence, enabled);
}

int BaseSession::SetColorPixelFormat(PixelFormat format)
{
    REQUIRE_PIPELINE();
    m_imageProc->SetColorPixelFormat(format);
    return 0;
}

int BaseSession::GetColorPixelFormat(PixelFormat *format)
{
    REQUIRE_PIPELINE();
    if (format == nullptr) {
        return -12;
    }
    *format = m_imageProc->GetColorPixelFormat();
    return 0;
}

int BaseSession::SetIRPixelFormat(PixelFormat format)
{
    REQUIRE_PIPELINE();
    m_imageProc->SetIRPixelFormat(format);
    return 0;
}

void BaseSession::setFramePixelFormat(int frameType, int pixelFormat)
{
    if (m_imageProc) {
        m_imageProc->setFramePixelFormat(frameType, pixelFormat);
    }
}

int BaseSession::SetSaveRawBufferEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    m_imageProc->SetSaveRawBufferEnabled(enabled);
    return 0;
}

int BaseSession::SetImageMirror(int mirror)
{
    REQUIRE_PIPELINE();
    m_imageProc->SetImageMirror(mirror);
    return 0;
}

int BaseSession::SetImageRotation(int rotation)
{
    REQUIRE_PIPELINE();
    m_imageRotation.store(rotation);
    m_imageProc->SetImageRotation(rotation);
    return 0;
}

int BaseSession::SetRawDepthCut(bool enabled)
{
    m_rawDepthCut.store(enabled);
    if (m_imageProc) {
        if (TofDecode *tof = m_imageProc->GetTofDecode()) {
            tof->SetRawDepthCut(enabled);
        }
    }
    return 0;
}

int BaseSession::SetWaitTime(uint16_t waitTimeMs)
{
    if (m_imageProc) {
        m_imageProc->SetWaitTime(waitTimeMs);
    }
    return 0;
}

int BaseSession::GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize,
                                          TfVector2u16 *colorPoint)
{
    REQUIRE_PIPELINE();
    return m_imageProc->GetMappedPointDepthToRGB(depthPoint, colorSize, colorPoint);
}

// ---------------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------------

int BaseSession::SetProperty(int key, const void *data, int size)
{
    switch (key) {
    case kPropJsonConfigMode:
        // The caller hands the status callback itself as the data pointer.
        return EnterJsonConfigMode(reinterpret_cast<TfUpgradeStatusCallback>(const_cast<void *>(data)));
    case kPropJsonUpgrade:
        return StartUpgradeJson(static_cast<const char *>(data));
    case static_cast<int>(kPropTemperatureOffset): {
        if (data == nullptr || size < 1) {
            TFLOG("invalid param: size:%d", size);
            return -12;
        }
        const bool on = *static_cast<const uint8_t *>(data) != 0;
        m_temperatureOffset.store(on);
        if (m_imageProc) {
            if (TofDecode *tof = m_imageProc->GetTofDecode()) {
                tof->SetTemperatureOffsetEnable(on);
            }
        }
        return 0;
    }
    default:
        REQUIRE_PROTOCOL();
        return m_protocol->SetProperty(key, data, size);
    }
}

int BaseSession::GetProperty(int key, void *data, int *size)
{
    const auto ukey = static_cast<uint32_t>(key);
    // The session's own list answers when the camera cannot, within the caller's buffer.
    auto answerList = [&](const uint8_t *list, int listBytes) {
        REQUIRE_PROTOCOL();
        const int ret = m_protocol->GetProperty(key, data, size);
        if (ret == 0 || list[0] == 0 || data == nullptr || size == nullptr) {
            return ret;
        }
        std::memcpy(data, list, static_cast<size_t>(std::clamp(*size, 0, listBytes)));
        return 0;
    };
    if (key == kPropDataModeList) {
        return answerList(m_dataModeList.data(), kDataModeListBytes);
    }
    if (key == kPropDepthRangeList) {
        return answerList(m_depthRangeList.data(), kDepthRangeListBytes);
    }
    if (key == kPropTimeFilteredDepth) {
        REQUIRE_PIPELINE();
        if (data == nullptr || size == nullptr || *size < static_cast<int>(sizeof(Frame))) {
            TFLOG("invalid param: the frame record does not fit.");
            return -12;
        }
        Frame frame{};
        const int ret = m_imageProc->GetOnlyTimeFilterDepth(&frame);
        std::memcpy(data, &frame, sizeof(frame));
        return ret;
    }
    const bool forwarded = ukey == 0x0E000000u || ukey == 0x0E000004u ||
                           (ukey >= 0x0E000011u && ukey <= 0x0E000019u) || ukey == 0xE0000099u ||
                           (ukey >= 0xE0000100u && ukey <= 0xE0000106u);
    if (!forwarded) {
        return kNotSupported;
    }
    REQUIRE_PROTOCOL();
    return m_protocol->GetProperty(key, data, size);
}

// ---------------------------------------------------------------------------------------------
// File transfer
// ---------------------------------------------------------------------------------------------

int BaseSession::TransferFile(FileTransferParams &params)
{
    if (params.direction == 1) {
        // The received file is named after the camera.
        const size_t n = std::min(m_serialNumber.size(), sizeof(params.name) - 1);
        std::memcpy(params.name, m_serialNumber.data(), n);
    } else if (!CheckTransferFile(params)) {
        return -15;
    }
    REQUIRE_PROTOCOL();
    return m_protocol->TransferFile(params);
}

bool BaseSession::CheckTransferFile(FileTransferParams &params)
{
    if (std::memchr(params.name, '\0', sizeof(params.name)) == nullptr) {
        TFLOG("name is not terminated.");
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(params.name, "rb"), &std::fclose);
    if (!file) {
        TFLOG("open name:%s is failed.", params.name);
        return false;
    }
    std::fseek(file.get(), 0, SEEK_END);
    const long sizeBytes = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    params.value = static_cast<uint32_t>(sizeBytes < 0 ? 0 : sizeBytes);
    long required = 0;
    switch (params.type) {
    case 4:
    case 5:
    case 7:
        required = kPixelTableFileBytes;
        break;
    case 6:
        required = 2L * GetSonyMaxDepth(params.index) + 2;
        break;
    default:
        TFLOG("fileTransferParams.type:%d is invalid.", static_cast<int>(params.type));
        break;
    }
    if (sizeBytes != required) {
        TFLOG("The length of file is %d != %d invalid.", static_cast<int>(sizeBytes),
              static_cast<int>(required));
        return false;
    }
    uint8_t sum = 0;
    uint8_t chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) {
        for (size_t i = 0; i < got; ++i) {
            sum = static_cast<uint8_t>(sum + chunk[i]);
        }
    }
    params.flag = sum;
    return true;
}
