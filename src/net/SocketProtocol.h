// SPDX-License-Identifier: Apache-2.0
// SocketProtocol: the camera operations of network cameras, each a few transactions on the command
// connection of its SocketCtl.
#pragma once

#include "runtime/Mutex.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "net/CommandTable.h"
#include "net/FileAnnouncer.h"
#include "net/SocketCtl.h"
#include "net/TransferProgress.h"
#include "protocol/BaseProtocol.h"
#include "protocol/SessionInfo.h"

/// The command protocol of network cameras. Most operations on a camera that is not open log
/// "device is not opened." and return 0 without a transaction; a failed transaction is logged as
/// "ret:%d is failed." and its status (kStatusTransport) returned. Operations that move one value are
/// rows of the CommandTable; the keys of SetProperty / GetProperty are the session keys of PropertyKeys.h.
class SocketProtocol : public BaseProtocol
{
public:
    /// Copies `info` and prepares (does not open) the connection pair to the camera it names.
    explicit SocketProtocol(SessionInfo &info);
    ~SocketProtocol() override;

    int OpenDevice() override;
    /// Waits for a running file transfer to finish, then closes the connection pair.
    int CloseDevice() override;
    int StartStream() override;
    int StopStream() override;
    bool IsOpened() const { return m_opened.load(); }

    /// One command transaction on this camera's command connection (see SocketCtl::SetCmd).
    int SetCmd(int cmd, char *buf, int cap, unsigned char len, int type);
    /// Liveness probe: a query the camera answers while its command service runs.
    int GetHeartBeat();

    int SetTofFrameRate(uint8_t rate) override;
    int GetTofFrameRate(uint8_t *rate) override;
    int SetSlaveModeEnabled(bool enabled) override;
    int SetSlaveMode(uint8_t mode) override;
    int GetSlaveMode(uint8_t *mode) override;
    int SetSlaveTrigger() override;

    int SetDualFreqMode(DualFreqMode &mode) override;
    int GetDualFreqMode(DualFreqMode *mode) override;
    int SetMeasuringStatus(MeasuringStatusSet &status) override;
    int GetMeasuringStatus(MeasuringStatusGet *status) override;

    int SetRegVal(uint16_t *regs, uint16_t *values, uint8_t count) override;
    int GetRegVal(uint16_t *regs, uint16_t *values, uint8_t count) override;
    int SetRegVal(uint16_t reg, uint16_t value) override;
    int GetRegVal(uint16_t reg, uint16_t *value) override;

    int SetGMMGain(uint8_t gain) override;
    int GetGMMGain(uint8_t *gain) override;
    int SetMeasuringRange(const MeasuringRange &range) override;
    int GetMeasuringRange(MeasuringRange &range) override;
    int SetDataMode(const uint8_t &mode) override;
    int GetDataMode(uint8_t *mode) override;
    int GetDepthMode(uint8_t *mode) override;
    int SetDepthRange(const DepthRange &range) override;
    int GetDepthRange(DepthRange &range) override;

    int SetPulseCount(const PulseCountConfig &config) override;
    int GetPulseCount(PulseCountGet &config) override;
    int SetLDEnable(const LDEnable &enable) override;
    int GetLDEnable(LDEnable &enable) override;
    int SetExposureTime(const ExposureTime &exposure) override;
    int GetExposureTime(ExposureTime *exposure) override;

    int SetCameraIntrinsic(SensorType sensor, const double *values) override;
    int GetCameraIntrinsic(SensorType sensor, double *values) override;
    int SetCameraDistortion(SensorType sensor, const double *values) override;
    int GetCameraDistortion(SensorType sensor, double *values) override;
    int SetCameraRotation(const double *values) override;
    int GetCameraRotation(double *values) override;
    int SetCameraTransfer(const double *values) override;
    int GetCameraTransfer(double *values) override;
    int SetCameraE(const double *values) override;
    int GetCameraE(double *values) override;
    int SetCameraF(const double *values) override;
    int GetCameraF(double *values) override;

    int SetLowPowerModeEnabled(bool enabled) override;
    int SetWorkMode(const WorkMode &mode) override;
    int GetWorkMode(WorkMode *mode) override;
    int RebootCamera() override;
    int SetTestModeState(TestMode mode, const TestModeParams &params) override;
    int SendCameraParamsEnable(bool enabled) override;

    int SetPCBA(const char *text, int length) override;
    int GetPCBA(char *text, int length) override;
    int SetSN(const char *text, int length) override;
    int GetSN(char *text, int length) override;
    int GetFWVer(char *text, int length) override;
    int GetHWVer(char *text, int length) override;
    int GetFlashType(char *text, int length) override;
    int GetAlias(char *text, int length) override;

    int SetACCSensitivity(const IMUSensitivity &value) override;
    int GetACCSensitivity(IMUSensitivity &value) override;
    int SetACCOffset(const IMUOffset &value) override;
    int GetACCOffset(IMUOffset &value) override;
    int SetACCOffsetTemp(const IMUOffsetTemp &value) override;
    int GetACCOffsetTemp(IMUOffsetTemp &value) override;
    int SetGyroSensitivity(const IMUSensitivity &value) override;
    int GetGyroSensitivity(IMUSensitivity &value) override;
    int SetGyroOffset(const IMUOffset &value) override;
    int GetGyroOffset(IMUOffset &value) override;
    int SetGyroOffsetTemp(const IMUOffsetTemp &value) override;
    int GetGyroOffsetTemp(IMUOffsetTemp &value) override;
    int SetImuDataMode(const IMUDataMode &mode) override;
    int GetImuDataMode(IMUDataMode &mode) override;

    int SetLens(LensConfig &lens) override;
    int GetLens(LensConfig &lens) override;
    /// Reads one stream buffer; always 0: `*len` (preset by the caller) tells whether one came.
    int ReadData(unsigned char *buf, int *len) override;
    /// As ReadData, into a buffer of `capacity` bytes.
    int ReadData(unsigned char *buf, int *len, int capacity);
    uint64_t GetRefusedBufferCount() const override { return m_socketCtl->GetDroppedBufferCount(); }

    int SetProperty(int key, const void *data, int size) override;
    int GetProperty(int key, void *data, int *size) override;

    /// Tells the camera to fetch the firmware image at `imagePath` from the host's HTTP server: 0, -1 for
    /// a path without a directory or a name the announcement would cut, -255 when the server cannot serve
    /// it (nothing is announced), else the failed announcement's status.
    int SetToUpgradeMode_P(const char *imagePath) override;
    /// As SetToUpgradeMode_P, for the JSON configuration file at `path` ("/" and "\\" alike).
    int SetJsonPath_P(const char *path) override;
    /// Puts the camera in JSON configuration mode: 0, -255 (server) or the announcement's status.
    int SetToJsonMode_P() override;
    /// Starts a calibration file transfer (`direction` 0: the host file `name` to the camera; otherwise
    /// the camera's file of `type`, tagged with its serial number `name`, to ./Config/) and its progress
    /// worker: 0 (also, logged, when not opened), -2 for a path or name that cannot be announced, -255
    /// when the server cannot serve it or a transfer already runs on this camera, else the status.
    int TransferFile(FileTransferParams &params) override;
    /// How long a transfer waits on an unchanged camera answer before it fails (default 60 s; for tests).
    static void SetTransferNoProgressLimitMs(uint32_t ms) { TransferProgress::SetNoProgressLimitMs(ms); }

    int GetUpgradeIsSupported(uint8_t &supported) override;
    int SetUpgradeState(UpgradeState state) override;
    int GetUpgradeState(UpgradeState &state) override;
    int GetJsonIsSupported(uint8_t &supported) override;
    int SetJsonState(JsonState state) override;
    int GetJsonState(JsonState &state) override;
    int IsSupportJSONConfig() override;

    int SetDspStatus(const DSPParameters &params) override;
    int GetDspStatus(DSPParameters &params) override;
    int SetConfidenceFilterParams(const ConfidenceFilterParams &params) override;
    int GetConfidenceFilterParams(ConfidenceFilterParams &params) override;

    // Mode and range lists (at most kMaxListEntries entries).
    int SetOutModeList(DataModeList &list);
    int GetOutModeList(DataModeList &list);
    int SetDepthRangeList(DepthRangeList &list);
    int GetDepthRangeList(DepthRangeList &list);
    int SetTalDelay(const TalDelay &delay);
    int GetTalDelay(TalDelay &delay);

    // The camera's network identity, as text of `length` bytes.
    int SetDeviceSN(const char *text, int length);
    int GetDeviceSN(char *text, int length);
    int SetDeviceMACAddr(const char *text, int length);
    int GetDeviceMACAddr(char *text, int length);
    int SetDeviceSoftVer(const char *text, int length);
    int GetDeviceSoftVer(char *text, int length);
    int SetDeviceIPAddr(const char *text, int length);
    int GetDeviceIPAddr(char *text, int length);
    int SetDeviceSubnetMask(const char *text, int length);
    int GetDeviceSubnetMask(char *text, int length);

    /// A file transfer worker marks the protocol busy while it runs; CloseDevice waits for the end.
    void BeginTransfer();
    void EndTransfer();
    /// Marks the protocol busy unless it is already: false when a transfer runs.
    bool TryBeginTransfer();

    SocketCtl &GetSocketCtl() { return *m_socketCtl; }
    const SessionInfo &GetSessionInfo() const { return m_info; }

private:
    int Transact(int cmd, uint8_t *payload, int cap, int len, int type);
    /// An identity text of command 0x18, logged as `label` in `operation`'s name.
    int SetIdentity(const char *operation, const char *label, uint8_t subId, const char *text, int length);
    int GetIdentity(const char *operation, const char *label, uint8_t subId, char *text, int length);
    /// The 10-byte state setting of command 0x1D behind `selector` (upgrade or JSON configuration).
    int SetTransferState(uint8_t selector, uint32_t state, uint32_t param1, uint32_t param2);

    /// Notes whether the camera streams after a start or stop that ended with `status`.
    int NoteStream(bool on, int status)
    {
        m_streamOn.store(on && status == 0);
        return status;
    }

    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_streamOn{false}; // the camera was told to stream and not to stop since
    SessionInfo m_info;
    std::unique_ptr<SocketCtl> m_socketCtl;
    Mutex m_mutex;
    std::condition_variable m_transferIdleCv;
    bool m_transferIdle GUARDED_BY(m_mutex) = true;
    CommandTable m_commands;   // over m_socketCtl and m_opened
    FileAnnouncer m_announcer; // over m_socketCtl
    // Last: destroyed (its worker joined) before everything the worker uses.
    TransferProgress m_progress;
};
