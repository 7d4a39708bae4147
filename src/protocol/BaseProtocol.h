// SPDX-License-Identifier: Apache-2.0
// BaseProtocol: every camera operation a session can ask of its camera, as one abstract interface.
#pragma once

#include <cstdint>

#include "protocol/ProtocolTypes.h"

/// The session talks to its camera only through this interface. Operations every camera kind must
/// offer are pure; the others default to "not supported": they log "Not Support." and return -255
/// without touching their arguments (kStatusNotSupported), so a camera that lacks one never reports a fake
/// success. The order of the declarations is the order of the operations in the table of virtual functions.
class BaseProtocol
{
public:
    BaseProtocol() = default;
    virtual ~BaseProtocol();

    BaseProtocol(const BaseProtocol &) = delete;
    BaseProtocol &operator=(const BaseProtocol &) = delete;

    // Connection and stream.
    virtual int OpenDevice() = 0;
    virtual int CloseDevice() = 0;
    virtual int StartStream() = 0;
    virtual int StopStream() = 0;

    // Frame rate and synchronisation modes.
    virtual int SetTofFrameRate(uint8_t rate) = 0;
    virtual int GetTofFrameRate(uint8_t *rate) = 0;
    virtual int SetSlaveModeEnabled(bool enabled) = 0;
    virtual int SetSlaveMode(uint8_t mode);
    virtual int GetSlaveMode(uint8_t *mode);

    // Dual frequency and measuring status.
    virtual int SetDualFreqMode(DualFreqMode &mode) = 0;
    virtual int GetDualFreqMode(DualFreqMode *mode) = 0;
    virtual int SetMeasuringStatus(MeasuringStatusSet &status) = 0;
    virtual int GetMeasuringStatus(MeasuringStatusGet *status) = 0;

    // Sensor registers.
    virtual int SetRegVal(uint16_t *regs, uint16_t *values, uint8_t count) = 0;
    virtual int GetRegVal(uint16_t *regs, uint16_t *values, uint8_t count) = 0;
    virtual int SetRegVal(uint16_t reg, uint16_t value);
    virtual int GetRegVal(uint16_t reg, uint16_t *value);

    // Gain, ranges and data modes.
    virtual int SetGMMGain(uint8_t gain) = 0;
    virtual int GetGMMGain(uint8_t *gain) = 0;
    virtual int SetMeasuringRange(const MeasuringRange &range) = 0;
    virtual int GetMeasuringRange(MeasuringRange &range) = 0;
    virtual int SetDataMode(const uint8_t &mode) = 0;
    virtual int GetDataMode(uint8_t *mode) = 0;
    virtual int GetDepthMode(uint8_t *mode) = 0;
    virtual int SetDepthRange(const DepthRange &range) = 0;
    virtual int GetDepthRange(DepthRange &range) = 0;

    // Laser and exposure.
    virtual int SetPulseCount(const PulseCountConfig &config) = 0;
    virtual int GetPulseCount(PulseCountGet &config) = 0;
    virtual int SetLDEnable(const LDEnable &enable) = 0;
    virtual int GetLDEnable(LDEnable &enable) = 0;
    virtual int SetExposureTime(const ExposureTime &exposure);
    virtual int GetExposureTime(ExposureTime *exposure);

    // Calibration: intrinsics 9 doubles row by row, distortion 8, rotation 9, translation 3, E and F 9.
    virtual int SetCameraIntrinsic(SensorType sensor, const double *values) = 0;
    virtual int GetCameraIntrinsic(SensorType sensor, double *values) = 0;
    virtual int SetCameraDistortion(SensorType sensor, const double *values) = 0;
    virtual int GetCameraDistortion(SensorType sensor, double *values) = 0;
    virtual int SetCameraRotation(const double *values) = 0;
    virtual int GetCameraRotation(double *values) = 0;
    virtual int SetCameraTransfer(const double *values) = 0;
    virtual int GetCameraTransfer(double *values) = 0;
    virtual int SetCameraE(const double *values) = 0;
    virtual int GetCameraE(double *values) = 0;
    virtual int SetCameraF(const double *values) = 0;
    virtual int GetCameraF(double *values) = 0;

    // Power and work modes, device information strings (`length` bytes each).
    virtual int SetLowPowerModeEnabled(bool enabled) = 0;
    virtual int SetWorkMode(const WorkMode &mode) = 0;
    virtual int GetWorkMode(WorkMode *mode) = 0;
    virtual int SetPCBA(const char *text, int length) = 0;
    virtual int GetPCBA(char *text, int length) = 0;
    virtual int SetSN(const char *text, int length) = 0;
    virtual int GetSN(char *text, int length) = 0;
    virtual int GetFWVer(char *text, int length) = 0;
    virtual int GetHWVer(char *text, int length) = 0;
    virtual int GetFlashType(char *text, int length) = 0;

    // Inertial sensor calibration.
    virtual int SetACCSensitivity(const IMUSensitivity &value) = 0;
    virtual int GetACCSensitivity(IMUSensitivity &value) = 0;
    virtual int SetACCOffset(const IMUOffset &value) = 0;
    virtual int GetACCOffset(IMUOffset &value) = 0;
    virtual int SetACCOffsetTemp(const IMUOffsetTemp &value) = 0;
    virtual int GetACCOffsetTemp(IMUOffsetTemp &value) = 0;
    virtual int SetGyroSensitivity(const IMUSensitivity &value) = 0;
    virtual int GetGyroSensitivity(IMUSensitivity &value) = 0;
    virtual int SetGyroOffset(const IMUOffset &value) = 0;
    virtual int GetGyroOffset(IMUOffset &value) = 0;
    virtual int SetGyroOffsetTemp(const IMUOffsetTemp &value) = 0;
    virtual int GetGyroOffsetTemp(IMUOffsetTemp &value) = 0;
    virtual int SetImuDataMode(const IMUDataMode &mode) = 0;
    virtual int GetImuDataMode(IMUDataMode &mode) = 0;

    // Colour lens and the raw stream.
    virtual int SetLens(LensConfig &lens) = 0;
    /// Fills `lens`; its `type` selects the lens asked about.
    virtual int GetLens(LensConfig &lens) = 0;
    /// Reads one stream buffer into `buf`; the caller presets `*len` to 0 and judges by it.
    virtual int ReadData(unsigned char *buf, int *len) = 0;
    /// Stream buffers refused or cut short by the connection so far; 0 where none can be.
    virtual uint64_t GetRefusedBufferCount() const { return 0; }

    // Colour sensor controls.
    virtual int SetRgbExplosureTimeAndGain(float exposure, float gain);
    virtual int GetRgbExplosureTimeAndGain(float *exposure, float *gain);
    virtual int SetRgbAecEnabled(bool enabled);
    virtual int SetRgbMirrorEnable(int enable);
    virtual int SetRgbRotationEnable(int enable);

    // Keyed properties.
    virtual int SetProperty(int key, const void *data, int size) = 0;
    virtual int GetProperty(int key, void *data, int *size) = 0;

    // Firmware upgrade, JSON configuration and camera parameters in the stream.
    virtual int GetUpgradeIsSupported(uint8_t &supported);
    virtual int SetToUpgradeMode_P(const char *imagePath);
    virtual int SetUpgradeState(UpgradeState state);
    virtual int GetUpgradeState(UpgradeState &state);
    virtual int RebootCamera();
    virtual int GetJsonIsSupported(uint8_t &supported);
    virtual int SetToJsonMode_P();
    virtual int SetJsonPath_P(const char *path);
    virtual int SetJsonState(JsonState state);
    virtual int GetJsonState(JsonState &state);
    virtual int IsSupportJSONConfig();
    virtual int SendCameraParamsEnable(bool enabled);

    virtual int GetAlias(char *text, int length) = 0;

    // Wide dynamic range gains and thresholds.
    virtual int SetWDRGMMGain(const GMMGainConfig &config);
    virtual int GetWDRGMMGain(GMMGainConfigGet &config);
    virtual int SetWDRThreshold(const ThresholdConfig &config);
    virtual int GetWDRThreshold(ThresholdConfigGet &config);

    // Test mode, triggers, DSP functions, file transfer and filters.
    virtual int SetTestModeState(TestMode mode, const TestModeParams &params);
    virtual int SetSlaveTrigger();
    virtual int SetDspStatus(const DSPParameters &params);
    virtual int GetDspStatus(DSPParameters &params);
    virtual int TransferFile(FileTransferParams &params);
    virtual int SetConfidenceFilterParams(const ConfidenceFilterParams &params);
    virtual int GetConfidenceFilterParams(ConfidenceFilterParams &params);

private:
    /// What every default does: logs "Not Support." in `operation`'s name, returns kStatusNotSupported.
    static int NotSupported(const char *operation);
};
