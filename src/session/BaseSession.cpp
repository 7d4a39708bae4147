// SPDX-License-Identifier: Apache-2.0
// BaseSession defaults: every operation a session does not implement logs "Not Support." and fails.
#include "session/BaseSession.h"

#include "runtime/LogCustom.h"

BaseSession::~BaseSession() = default;

int BaseSession::OpenDevice(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::CloseDevice()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::StartStream()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::StopStream()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

bool BaseSession::GetStreamStatus()
{
    TFLOG("Not Support.");
    return false;
}

bool BaseSession::GetRawBufferStatus()
{
    TFLOG("Not Support.");
    return false;
}

int BaseSession::InitDevice()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetStreamEnable(StreamType, bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetStreamEnable(StreamType)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::PrepareNextFrame(FrameReady *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetFrame(FrameType, Frame *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetAudio()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

ImuFrame BaseSession::GetImu()
{
    TFLOG("Not Support.");
    return ImuFrame{};
}

int BaseSession::SetColorPixelFormat(PixelFormat)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetColorPixelFormat(PixelFormat *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetIRPixelFormat(PixelFormat)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

float BaseSession::GetRGBExposuretime()
{
    TFLOG("Not Support.");
    return 0.0f;
}

void BaseSession::SetFrameMode(uint8_t)
{
    TFLOG("Not Support.");
}

int BaseSession::GetFrameMode(FrameType, FrameMode *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetTofFrameRate(uint8_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetTofFrameRate(uint8_t *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSlaveModeEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSlaveMode(uint8_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetDualFreqMode(DualFreqMode &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetDualFreqMode(DualFreqMode *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetMeasuringStatus(const MeasuringStatusSet &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetMeasuringStatus(MeasuringStatusGet *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetRegVal(uint16_t *, uint16_t *, uint8_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetRegVal(uint16_t *, uint16_t *, uint8_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetGMMGain(uint8_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetGMMGain(uint8_t *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetMeasuringRange(const MeasuringRange &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetMeasuringRange(MeasuringRange &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetMeasuringRangeInternal(MeasuringRange &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetDataMode(uint8_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetDataMode(uint8_t *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetDepthMode(uint8_t *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetDepthRange(const DepthRange &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetDepthRange(DepthRange &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetLDEnable(const LDEnable &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetLDEnable(LDEnable &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetCameraIntrinsic(SensorType, const double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetCameraIntrinsic(SensorType, double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetCameraIntrinsic_(SensorType, double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetCameraDistortion(SensorType, const double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetCameraDistortion(SensorType, double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetCameraRotation(const double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetCameraRotation(double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetCameraTransfer(const double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetCameraTransfer(double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetCameraE(const double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetCameraE(double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetCameraF(const double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetCameraF(double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetLowPowerModeEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetWorkMode(const WorkMode &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetWorkMode(WorkMode *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetPCBA(const char *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetPCBA(char *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSN(const char *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetSN(char *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetFWVer(char *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetHWVer(char *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetFlashType(char *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetACCSensitivity(const IMUSensitivity &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetACCSensitivity(IMUSensitivity &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetACCOffset(const IMUOffset &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetACCOffset(IMUOffset &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetACCOffsetTemp(const IMUOffsetTemp &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetACCOffsetTemp(IMUOffsetTemp &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetGyroSensitivity(const IMUSensitivity &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetGyroSensitivity(IMUSensitivity &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetGyroOffset(const IMUOffset &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetGyroOffset(IMUOffset &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetGyroOffsetTemp(const IMUOffsetTemp &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetGyroOffsetTemp(IMUOffsetTemp &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetImuDataMode(const IMUDataMode &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetImuDataMode(IMUDataMode &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetLens(const LensConfig &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetLens(LensConfig &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetComputeRealDepthEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetComputeRealDepthEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSmoothingFilterEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetSmoothingFilterEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetApplyToFDistortionEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetApplyToFDistortionEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetApplyRGBDistortionEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetApplyRGBDistortionEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetApplyRGBCorrectionEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetApplyRGBCorrectionEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetTransformColorImgToDepthCameraEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::IsTransformColorImgToDepthCameraEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetTransformDepthImgToColorCameraEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::IsTransformDepthImgToColorCameraEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetTransformIRImgToColorCameraEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::IsTransformIRImgToColorCameraEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetTimeFilterEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetTimeFilterEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSynchronizeEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetSynchronizeEnabled(bool *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetOutofMaxRangeHandle(int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetOutofMaxRangeHandle(int *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetTimeFilterDepthEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetFilterThreshold(const FilterThreshold &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetAlgoType(int, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::InitDepthFrame2WorldTab(const double *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

const DepthWorldRay *BaseSession::GetDepthFrame2WorldTab()
{
    TFLOG("Not Support.");
    return nullptr;
}

int BaseSession::SetRangeValue(uint32_t, int, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetWDRStyle(WDRStyle)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSaveComputeDepthTab()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSaveRawBufferEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

bool BaseSession::RegisterNotify(TfFrameNotifyCallback)
{
    TFLOG("Not Support.");
    return false;
}

bool BaseSession::UnRegisterNotify()
{
    TFLOG("Not Support.");
    return false;
}

bool BaseSession::IsRangeValid(int)
{
    TFLOG("Not Support.");
    return false;
}

int BaseSession::SetRgbExplosureTimeAndGain(float, float)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetRgbExplosureTimeAndGain(float *, float *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetDepthFrameEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetIrFrameEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetConfidenceFrameEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetRgbFrameEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetImageMirror(int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetImageRotation(int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

bool BaseSession::IsDataModeValid(int)
{
    TFLOG("Not Support.");
    return false;
}

int BaseSession::SetProperty(int, const void *, int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetProperty(int, void *, int *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

uint32_t BaseSession::GetDeviceType()
{
    TFLOG("Not Support.");
    return 0;
}

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

int BaseSession::SendCameraParamsEnable(bool)
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

int BaseSession::SetRawDepthCut(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetWaitTime(uint16_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetMappedPointDepthToRGB(TfDepthVector3, TfVector2u16, TfVector2u16 *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetTestModeState(TestMode, const TestModeParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSoftwareSlaveTrigger()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetExposureTime(const ExposureTime &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetExposureTime(ExposureTime *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetConfidenceFilterEnable(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::TransferFile(FileTransferParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetFlyingPixelFilterParams(const FlyingPixelFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetSpatialFilterParams(const SpatialFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetFillHoleFilterParams(const FillHoleFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::SetConfidenceFilterParams(const ConfidenceFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetFlyingPixelFilterParams(FlyingPixelFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetSpatialFilterParams(SpatialFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetFillHoleFilterParams(FillHoleFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::GetConfidenceFilterParams(ConfidenceFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseSession::OnMessage(int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}
