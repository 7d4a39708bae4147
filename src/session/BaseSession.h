// SPDX-License-Identifier: Apache-2.0
// BaseSession: the operations one camera session offers to the API and device layers.
#pragma once

#include <cstdint>

#include "Orvane_api.h"
#include "pipeline/Frame.h"
#include "session/SessionInfo.h"
#include "session/SessionTypes.h"

/// One sensor session of an open camera. Every operation defaults to "not supported": it logs
/// "Not Support." and returns -255 without writing any output, so a camera that lacks an
/// operation never reports a fake success. Camera sessions (and test fakes) override what they do.
class BaseSession
{
public:
    /// Result of an operation the session does not support.
    static constexpr int kNotSupported = -255;

    BaseSession() = default;
    virtual ~BaseSession();

    BaseSession(const BaseSession &) = delete;
    BaseSession &operator=(const BaseSession &) = delete;

    // Lifecycle and stream.
    virtual int OpenDevice(bool flag);
    virtual int CloseDevice();
    virtual int StartStream();
    virtual int StopStream();
    virtual bool GetStreamStatus();
    virtual bool GetRawBufferStatus();
    virtual int InitDevice();
    virtual int SetStreamEnable(StreamType type, bool enabled);
    virtual int GetStreamEnable(StreamType type);

    // Frames.
    virtual int PrepareNextFrame(FrameReady *ready);
    virtual int GetFrame(FrameType type, Frame *frame);
    virtual int GetAudio();
    virtual ImuFrame GetImu();
    virtual int SetColorPixelFormat(PixelFormat format);
    virtual int GetColorPixelFormat(PixelFormat *format);
    virtual int SetIRPixelFormat(PixelFormat format);
    virtual float GetRGBExposuretime();
    virtual void SetFrameMode(uint8_t dataMode);
    virtual int GetFrameMode(FrameType type, FrameMode *mode);

    // Rates, synchronisation modes, dual frequency.
    virtual int SetTofFrameRate(uint8_t fps);
    virtual int GetTofFrameRate(uint8_t *fps);
    virtual int SetSlaveModeEnabled(bool enabled);
    virtual int SetSlaveMode(uint8_t mode);
    virtual int SetDualFreqMode(DualFreqMode &mode);
    virtual int GetDualFreqMode(DualFreqMode *mode);
    virtual int SetMeasuringStatus(const MeasuringStatusSet &status);
    virtual int GetMeasuringStatus(MeasuringStatusGet *status);
    virtual int SetRegVal(uint16_t *addresses, uint16_t *values, uint8_t count);
    virtual int GetRegVal(uint16_t *addresses, uint16_t *values, uint8_t count);
    virtual int SetGMMGain(uint8_t gain);
    virtual int GetGMMGain(uint8_t *gain);

    // Modes and ranges.
    virtual int SetMeasuringRange(const MeasuringRange &range);
    virtual int GetMeasuringRange(MeasuringRange &range);
    virtual int GetMeasuringRangeInternal(MeasuringRange &range);
    virtual int SetDataMode(uint8_t mode);
    virtual int GetDataMode(uint8_t *mode);
    virtual int GetDepthMode(uint8_t *mode);
    virtual int SetDepthRange(const DepthRange &range);
    virtual int GetDepthRange(DepthRange &range);
    virtual int SetLDEnable(const LDEnable &enable);
    virtual int GetLDEnable(LDEnable &enable);

    // Calibration (intrinsics 9 doubles row by row, distortion 8, rotation 9, translation 3).
    virtual int SetCameraIntrinsic(SensorType sensor, const double *intrinsic);
    virtual int GetCameraIntrinsic(SensorType sensor, double *intrinsic);
    virtual int GetCameraIntrinsic_(SensorType sensor, double *intrinsic);
    virtual int SetCameraDistortion(SensorType sensor, const double *distortion);
    virtual int GetCameraDistortion(SensorType sensor, double *distortion);
    virtual int SetCameraRotation(const double *rotation);
    virtual int GetCameraRotation(double *rotation);
    virtual int SetCameraTransfer(const double *translation);
    virtual int GetCameraTransfer(double *translation);
    virtual int SetCameraE(const double *values);
    virtual int GetCameraE(double *values);
    virtual int SetCameraF(const double *values);
    virtual int GetCameraF(double *values);

    // Power and work modes, device information.
    virtual int SetLowPowerModeEnabled(bool enabled);
    virtual int SetWorkMode(const WorkMode &mode);
    virtual int GetWorkMode(WorkMode *mode);
    virtual int SetPCBA(const char *text, int length);
    virtual int GetPCBA(char *text, int length);
    virtual int SetSN(const char *text, int length);
    virtual int GetSN(char *text, int length);
    virtual int GetFWVer(char *text, int length);
    virtual int GetHWVer(char *text, int length);
    virtual int GetFlashType(char *text, int length);

    // Inertial sensor calibration.
    virtual int SetACCSensitivity(const IMUSensitivity &value);
    virtual int GetACCSensitivity(IMUSensitivity &value);
    virtual int SetACCOffset(const IMUOffset &value);
    virtual int GetACCOffset(IMUOffset &value);
    virtual int SetACCOffsetTemp(const IMUOffsetTemp &value);
    virtual int GetACCOffsetTemp(IMUOffsetTemp &value);
    virtual int SetGyroSensitivity(const IMUSensitivity &value);
    virtual int GetGyroSensitivity(IMUSensitivity &value);
    virtual int SetGyroOffset(const IMUOffset &value);
    virtual int GetGyroOffset(IMUOffset &value);
    virtual int SetGyroOffsetTemp(const IMUOffsetTemp &value);
    virtual int GetGyroOffsetTemp(IMUOffsetTemp &value);
    virtual int SetImuDataMode(const IMUDataMode &mode);
    virtual int GetImuDataMode(IMUDataMode &mode);

    // Colour lens.
    virtual int SetLens(const LensConfig &lens);
    virtual int GetLens(LensConfig &lens);

    // Processing switches.
    virtual int SetComputeRealDepthEnabled(bool enabled);
    virtual int GetComputeRealDepthEnabled(bool *enabled);
    virtual int SetSmoothingFilterEnabled(bool enabled);
    virtual int GetSmoothingFilterEnabled(bool *enabled);
    virtual int SetApplyToFDistortionEnabled(bool enabled);
    virtual int GetApplyToFDistortionEnabled(bool *enabled);
    virtual int SetApplyRGBDistortionEnabled(bool enabled);
    virtual int GetApplyRGBDistortionEnabled(bool *enabled);
    virtual int SetApplyRGBCorrectionEnabled(bool enabled);
    virtual int GetApplyRGBCorrectionEnabled(bool *enabled);
    virtual int SetTransformColorImgToDepthCameraEnabled(bool enabled);
    virtual int IsTransformColorImgToDepthCameraEnabled(bool *enabled);
    virtual int SetTransformDepthImgToColorCameraEnabled(bool enabled);
    virtual int IsTransformDepthImgToColorCameraEnabled(bool *enabled);
    virtual int SetTransformIRImgToColorCameraEnabled(bool enabled);
    virtual int IsTransformIRImgToColorCameraEnabled(bool *enabled);
    virtual int SetTimeFilterEnabled(bool enabled);
    virtual int GetTimeFilterEnabled(bool *enabled);
    virtual int SetSynchronizeEnabled(bool enabled);
    virtual int GetSynchronizeEnabled(bool *enabled);
    virtual int SetOutofMaxRangeHandle(int handling);
    virtual int GetOutofMaxRangeHandle(int *handling);
    virtual int SetTimeFilterDepthEnabled(bool enabled);
    virtual int SetFilterThreshold(const FilterThreshold &threshold);
    virtual int SetAlgoType(int first, int second);

    // Depth-to-world table (kDepthTableWidth x kDepthTableHeight rays, row by row).
    virtual int InitDepthFrame2WorldTab(const double *intrinsic);
    /// The table, or null before it was first built. Owned by the session.
    virtual const DepthWorldRay *GetDepthFrame2WorldTab();

    virtual int SetRangeValue(uint32_t range, int minimum, int maximum);
    virtual int SetWDRStyle(WDRStyle style);
    virtual int SetSaveComputeDepthTab();
    virtual int SetSaveRawBufferEnabled(bool enabled);
    /// True when the function was registered.
    virtual bool RegisterNotify(TfFrameNotifyCallback callback);
    /// True when the function was unregistered.
    virtual bool UnRegisterNotify();
    virtual bool IsRangeValid(int range);
    virtual int SetRgbExplosureTimeAndGain(float exposureTime, float gain);
    virtual int GetRgbExplosureTimeAndGain(float *exposureTime, float *gain);
    virtual int SetDepthFrameEnabled(bool enabled);
    virtual int SetIrFrameEnabled(bool enabled);
    virtual int SetConfidenceFrameEnabled(bool enabled);
    virtual int SetRgbFrameEnabled(bool enabled);
    virtual int SetImageMirror(int mirror);
    virtual int SetImageRotation(int rotation);
    virtual bool IsDataModeValid(int mode);

    // Properties: `size` is the length of `data`; Get writes the length it returned.
    virtual int SetProperty(int key, const void *data, int size);
    virtual int GetProperty(int key, void *data, int *size);
    virtual uint32_t GetDeviceType();

    // Firmware and configuration upgrade.
    virtual int StartUpgradeFirmWare(const char *path);
    virtual int SetUpgradeStatusCallback(TfUpgradeStatusCallback callback);
    virtual int SendCameraParamsEnable(bool enabled);
    virtual int EnterJsonConfigMode(TfUpgradeStatusCallback callback);
    virtual int StartUpgradeJson(const char *path);

    virtual int SetRawDepthCut(bool enabled);
    virtual int SetWaitTime(uint16_t waitTimeMs);
    virtual int GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize,
                                         TfVector2u16 *colorPoint);
    virtual int SetTestModeState(TestMode mode, const TestModeParams &params);
    virtual int SetSoftwareSlaveTrigger();
    virtual int SetExposureTime(const ExposureTime &exposure);
    virtual int GetExposureTime(ExposureTime *exposure);
    virtual int SetConfidenceFilterEnable(bool enabled);
    virtual int TransferFile(FileTransferParams &params);

    // Depth filters.
    virtual int SetFlyingPixelFilterParams(const FlyingPixelFilterParams &params);
    virtual int SetSpatialFilterParams(const SpatialFilterParams &params);
    virtual int SetFillHoleFilterParams(const FillHoleFilterParams &params);
    virtual int SetConfidenceFilterParams(const ConfidenceFilterParams &params);
    virtual int GetFlyingPixelFilterParams(FlyingPixelFilterParams &params);
    virtual int GetSpatialFilterParams(SpatialFilterParams &params);
    virtual int GetFillHoleFilterParams(FillHoleFilterParams &params);
    virtual int GetConfidenceFilterParams(ConfidenceFilterParams &params);

    /// A device-layer notification (1: the camera's connection was lost).
    virtual int OnMessage(int type);

    void SetSessionIndex(int index) { m_sessionIndex = index; }
    int GetSessionIndex() const { return m_sessionIndex; }

private:
    int m_sessionIndex = 0;
};
