// SPDX-License-Identifier: Apache-2.0
// BaseSession: one open camera session: opens, initialises, streams, configures and closes a camera.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Orvane_api.h"
#include "pipeline/DeviceStatus.h"
#include "pipeline/Frame.h"
#include "pipeline/StreamSource.h"
#include "protocol/BaseProtocol.h"
#include "protocol/ProtocolTypes.h"
#include "protocol/SessionInfo.h"
#include "protocol/StatusCodes.h"
#include "session/AcquisitionSettings.h"
#include "session/FilterSettings.h"
#include "session/FrameModes.h"
#include "session/ModeSettings.h"
#include "session/SessionCalibration.h"
#include "session/SessionModeLists.h"
#include "session/SessionProperties.h"
#include "session/SessionUpgrade.h"
#include "session/StatusConfirmer.h"

class ImageProc;
class PipelineForwarder;

/// The session of one sensor channel of a camera. It owns the camera's command protocol and frame
/// pipeline, opens, initialises, streams and closes the camera, and keeps every operation callers use.
/// The jobs behind the operations are helpers it owns: StatusConfirmer (the status record the camera
/// streams and the waits that confirm a setting), ModeSettings (data mode, depth range, dual frequency
/// and the camera's lists), FrameModes (frame modes and the colour lens), SessionCalibration
/// (calibration, undistortion, depth-to-world table), FilterSettings (filters and the settings kept for
/// the ToF decoder), AcquisitionSettings (frame rate, exposure, gain, slave, work and low-power modes)
/// and SessionProperties (the property keys). Pure forwarders to the protocol or the pipeline are one
/// row each. A session without protocol (an unknown device type, or a test fake built with the default
/// constructor) answers every camera operation with "Not Support." and -255 without writing any output,
/// so it never reports a fake success.
class BaseSession : public StreamSource
{
public:
    /// Result of an operation the session does not support.
    static constexpr int kNotSupported = kStatusNotSupported;
    /// Capacities of the session's own mode lists (count byte included).
    static constexpr int kDepthRangeListBytes = SessionModeLists::kDepthRangeListBytes;
    static constexpr int kDataModeListBytes = SessionModeLists::kDataModeListBytes;
    /// Depth ranges 0 to 5 have a measuring-range record.
    static constexpr int kMeasuringRangeCount = SessionModeLists::kMeasuringRangeCount;
    /// Tries (10 ms apart) to find the calibration block before initialising by commands.
    static constexpr int kCalibrationTries = SessionCalibration::kBlockTries;
    static constexpr unsigned kCalibrationPauseMs = SessionCalibration::kBlockPauseMs;

    /// Builds the session for `info`; a network camera type gets its socket protocol (no connection yet).
    explicit BaseSession(const SessionInfo &info);
    ~BaseSession() override;

    BaseSession(const BaseSession &) = delete;
    BaseSession &operator=(const BaseSession &) = delete;

    // Lifecycle and stream.
    virtual int OpenDevice(bool flag);
    virtual int CloseDevice();
    virtual int StartStream();
    virtual int StopStream();
    virtual bool GetStreamStatus() { return m_streamStarted.load(); }
    virtual bool GetRawBufferStatus();
    /// Whether the camera of a closed session answers: opens the command connection for one heartbeat
    /// and closes it again (an open session sends the heartbeat only). 0 when it answered.
    virtual int ProbeWhileClosed();
    virtual int InitDevice();
    virtual int SetStreamEnable(StreamType type, bool enabled);
    virtual int GetStreamEnable(StreamType type);

    // Frames.
    virtual int PrepareNextFrame(FrameReady *ready);
    virtual int GetFrame(FrameType type, Frame *frame);
    virtual int GetAudio() { return kStatusOk; }
    virtual ImuFrame GetImu() { return ImuFrame{}; }
    virtual int SetColorPixelFormat(PixelFormat format);
    virtual int GetColorPixelFormat(PixelFormat *format);
    virtual int SetIRPixelFormat(PixelFormat format);
    virtual float GetRGBExposuretime();
    virtual void SetFrameMode(uint8_t dataMode) { m_frames.SetFrameMode(dataMode); }
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
    /// The intrinsics of the delivered images: ToF 640x480, colour the 1920x1080 calibration image;
    /// those of the undistorted image while that sensor's undistortion is on.
    virtual int GetCameraIntrinsic(SensorType sensor, double *intrinsic);
    /// The same for colour images of width x height (0 x 0: the calibration image), by the one colour
    /// geometry, undistorted at that size while colour undistortion is on.
    int GetDeliveredIntrinsic(SensorType sensor, double *intrinsic, uint32_t width, uint32_t height);
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
    /// The table, or null before it was first built; a rebuild never frees one a caller still holds.
    virtual std::shared_ptr<const DepthWorldTable> GetDepthFrame2WorldTab()
    {
        return m_calibration.WorldTable();
    }

    virtual int SetRangeValue(uint32_t, int, int) { return kStatusOk; }
    virtual int SetWDRStyle(WDRStyle style);
    virtual int SetSaveComputeDepthTab() { return kStatusOk; }
    virtual int SetSaveRawBufferEnabled(bool enabled);
    /// True when the function was registered.
    virtual bool RegisterNotify(TfFrameNotifyCallback callback);
    /// True when the function was unregistered.
    virtual bool UnRegisterNotify();
    virtual bool IsRangeValid(int range) { return m_modes.Lists().IsRangeValid(range); }
    virtual int SetRgbExplosureTimeAndGain(float exposureTime, float gain);
    virtual int GetRgbExplosureTimeAndGain(float *exposureTime, float *gain);
    virtual int SetDepthFrameEnabled(bool enabled) { return SetStreamEnable(kStreamDepth, enabled); }
    virtual int SetIrFrameEnabled(bool enabled) { return SetStreamEnable(kStreamIr, enabled); }
    virtual int SetConfidenceFrameEnabled(bool enabled)
    {
        return SetStreamEnable(kStreamConfidence, enabled);
    }
    virtual int SetRgbFrameEnabled(bool enabled) { return SetStreamEnable(kStreamColor, enabled); }
    virtual int SetImageMirror(int mirror);
    virtual int SetImageRotation(int rotation);
    virtual bool IsDataModeValid(int mode) { return m_modes.Lists().IsDataModeValid(mode); }

    // Properties: `size` is the length of `data`; Get writes the length it returned.
    virtual int SetProperty(int key, const void *data, int size);
    virtual int GetProperty(int key, void *data, int *size);
    virtual uint32_t GetDeviceType() { return m_info.deviceType; }

    // Firmware and configuration upgrade.
    virtual int StartUpgradeFirmWare(const char *path);
    virtual int SetUpgradeStatusCallback(TfUpgradeStatusCallback callback);
    int SendCameraParamsEnable(bool enabled) override;
    virtual int EnterJsonConfigMode(TfUpgradeStatusCallback callback);
    virtual int StartUpgradeJson(const char *path);
    /// Checks a firmware image against the camera: 0 newer, 1 same sub-version, negative refused; on
    /// success the file size and the whole-file checksum.
    int CheckFirmwareVersion(const char *path, int &fileLength, int &checksum);

    virtual int SetRawDepthCut(bool enabled);
    virtual int SetWaitTime(uint16_t waitTimeMs);
    virtual int GetMappedPointDepthToRGB(TfDepthVector3 depthPoint, TfVector2u16 colorSize,
                                         TfVector2u16 *colorPoint);
    /// The turn and mirror delivery applied to the delivered image with this data and index (-255:
    /// none); for a copy the application made, those delivery applies now. False without a pipeline.
    virtual bool GetAppliedTransform(const void *data, uint32_t frameIndex, int &rotation, int &mirror);
    /// Points in ToF coordinates of depth mapped into the colour camera: the library's
    /// MappedDepthToPoints.
    virtual int MappedDepthToPoints(const uint16_t *depth, uint32_t count, uint32_t colorWidth,
                                    uint32_t colorHeight, const int32_t *rayIndex, TfVector3f *points);
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
    /// Copies the session's description into `out` (nothing happens when `out` is the session's own).
    int GetSessionInfo(SessionInfo &out) const;
    void setFramePixelFormat(int frameType, int pixelFormat);

    // Steps of InitDevice.
    void InitFromUVCFrameData(const InitCameraParams &params);
    void InitFromUVCCMD();
    void InitDataModeList();
    void InitDepthRangeList();
    /// Asks the camera for a list whose first byte counts its entries; keeps it in `out` (count clamped
    /// to the list) when the camera answered with a non-empty one.
    template <size_t N> bool QueryCountedList(int key, const char *name, std::array<uint8_t, N> &out);
    void InitLens();

    /// Checks a host file before it is sent to the camera: stores its size in `value` and its byte sum
    /// modulo 256 in `flag`; false (and a log line) when it cannot be read or has the wrong size.
    static bool CheckTransferFile(FileTransferParams &params);
    /// The largest distance of a depth range in millimetres (0, with a log line, for a range above 5).
    static int GetSonyMaxDepth(int range) { return SessionModeLists::GetSonyMaxDepth(range); }

    // ---- Stream hub side (the hub thread calls these) ----
    bool HasProtocol() const override { return m_protocol != nullptr; }
    bool ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length) override;
    uint64_t GetRefusedBufferCount() const override
    {
        return m_protocol ? m_protocol->GetRefusedBufferCount() : 0;
    }
    DeviceStatus *GetDeviceStatus() override { return m_confirm.Record(); }
    bool IsDeviceStatusRequested() const override { return m_confirm.IsRequested(); }
    void SetDeviceStatusRequested(bool on) override { m_confirm.SetRequested(on); }
    bool IsDeviceStatusFollowed() const override { return m_confirm.IsFollowed(); }
    void SetDeviceStatusFollowed(bool on) override { m_confirm.SetFollowed(on); }
    void StoreInitCameraParams(const InitCameraParams &params) override;

    // ---- Internal settings and state, for the device layer and tests ----
    /// Confirmation waits poll every `periodMs` instead of their own period (0 restores the periods);
    /// the number of comparisons stays.
    void SetConfirmPollPeriodMs(unsigned periodMs) { m_confirm.SetPollPeriodMs(periodMs); }
    bool IsOpened() const { return m_opened.load(); }
    bool IsInitialised() const { return m_initialised.load(); }
    uint8_t GetCurrentDataMode() const { return m_modes.CurrentDataMode().load(); }
    uint32_t GetCurrentDepthRange() const { return m_modes.CurrentDepthRange().load(); }
    DualFreqMode GetCurrentDualFreqMode() const { return m_modes.CurrentDualFreq(); }
    LensConfig GetLensConfig() const { return m_frames.Lens(); }
    /// Count byte and entries, as the session holds them.
    std::array<uint8_t, kDataModeListBytes> GetDataModeList() const { return m_modes.Lists().DataModes(); }
    std::array<uint8_t, kDepthRangeListBytes> GetDepthRangeList() const
    {
        return m_modes.Lists().DepthRanges();
    }
    std::vector<MeasuringRange> GetMeasuringRangeTable() const { return m_modes.Lists().MeasuringRanges(); }
    std::string GetSerialNumber() const { return m_serialNumber; }
    /// The ToF intrinsics as last gathered (row-major 3x3).
    std::array<double, 9> GetTofIntrinsic() const { return m_calibration.Params().tofIntrinsic; }
    /// The frame pipeline; null for a session built with the default constructor.
    ImageProc *GetImageProc() { return m_imageProc.get(); }

protected:
    /// A session without protocol and without pipeline, for test fakes: opens no socket and starts no
    /// thread; every operation a fake does not override answers "Not Support.".
    BaseSession();

private:
    /// The pipeline (or the refine library behind it) for an operation that is handed on as it is.
    PipelineForwarder Pipeline() const;
    /// Fills the pipeline's initial parameters from what the session knows now and initialises it.
    void InitPipeline();
    /// Gives the ToF decoder the settings the session keeps for it.
    void ApplyTofSettings();
    /// Hands both undistortion switches to the library, keeps in the session what it applies (a lens it
    /// refuses is switched off) and rebuilds the depth-to-world table for them. kStatusInvalidArgument
    /// when the ToF lens was refused.
    int ApplyUndistortionSwitches();
    static bool IsNetworkType(uint32_t deviceType) { return deviceType >= 520 && deviceType <= 523; }

    SessionInfo m_info;
    // The status record the hub thread writes, and the waits on it: declared before the pipeline.
    StatusConfirmer m_confirm{*this};
    // Declared after the status it writes; the destructor stops its threads before anything else goes
    // away, the protocol and the helpers below included.
    std::unique_ptr<ImageProc> m_imageProc;
    std::unique_ptr<BaseProtocol> m_protocol;
    std::string m_serialNumber;

    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_initialised{false};
    std::atomic<bool> m_paramsRequested{false};
    std::atomic<bool> m_streamStarted{false};
    int m_sessionIndex = 0;
    std::mutex m_mutex; // serialises stream start and stop with frame reads

    // The helpers reach the protocol and the pipeline through the pointers the constructor hands them.
    ModeSettings m_modes{*this, m_confirm, m_streamStarted};
    FrameModes m_frames{m_confirm};
    SessionCalibration m_calibration;
    FilterSettings m_filters{m_modes.CurrentDataMode()};
    SessionProperties m_properties{*this, m_modes.Lists(), m_filters};
    AcquisitionSettings m_acquisition{m_confirm, m_filters, m_modes.CurrentDataMode(), m_streamStarted};
    SessionUpgrade m_upgrade{*this};

    alignas(8) InitCameraParams m_storedInitParams{}; // written by the hub thread before the flag is set
    std::atomic<bool> m_hasStoredInitParams{false};
};
