// SPDX-License-Identifier: Apache-2.0
// FakeSession: a camera session for API tests that records its calls and returns programmed results.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "session/BaseSession.h"

/// Operations not overridden here keep BaseSession's "Not Support." defaults. Each overridden
/// operation appends "Name" or "Name:args" to m_calls and returns m_results[Name] (0 when unset).
class FakeSession : public BaseSession
{
public:
    std::vector<std::string> m_calls;
    std::map<std::string, int> m_results;

    uint8_t m_dataMode = 1;
    uint32_t m_exposure[2] = {0, 0};
    LensConfig m_lens{2, 1, 640, 480, 25, 2};
    double m_intrinsic[3][9] = {};                  ///< by sensor type
    double m_distortion[3][8] = {};                 ///< by sensor type
    std::shared_ptr<const DepthWorldTable> m_table; ///< null: the table was never built
    int m_appliedRotation = -255;                   ///< the turn delivery applied to frames
    int m_appliedMirror = -255;                     ///< the mirror delivery applied to frames
    Frame m_frame{};
    FrameReady m_ready{};
    PixelFormat m_colorFormat = kPixelRgb888;
    FrameMode m_frameMode{640, 480, 25};
    bool m_registerAnswer = true;
    std::string m_throwIn;                             ///< the operation that throws instead of answering
    std::function<void(const std::string &)> m_onCall; ///< runs first in every operation, when set
    std::vector<uint8_t> m_propertyAnswer;             ///< written by GetProperty
    std::vector<uint8_t> m_lastPropertyValue;
    int m_lastPropertySize = 0;
    FileTransferParams m_lastTransfer{};

    int Result(const std::string &name) const
    {
        auto it = m_results.find(name);
        return it == m_results.end() ? 0 : it->second;
    }
    /// The arguments of a call as "a,b,c".
    template <typename... T> static std::string Args(T... values)
    {
        std::string text;
        ((text += (text.empty() ? "" : ",") + Text(values)), ...);
        return text;
    }
    static std::string Text(const std::string &value) { return value; }
    template <typename T> static std::string Text(T value) { return std::to_string(value); }

    int Record(const std::string &name, const std::string &args = "")
    {
        if (m_onCall) {
            m_onCall(name);
        }
        m_calls.push_back(args.empty() ? name : name + ":" + args);
        if (name == m_throwIn) {
            throw std::runtime_error("fake failure in " + name);
        }
        return Result(name);
    }

    int OpenDevice(bool) override { return Record("OpenDevice"); }
    int CloseDevice() override { return Record("CloseDevice"); }
    int StartStream() override { return Record("StartStream"); }
    int StopStream() override { return Record("StopStream"); }
    int PrepareNextFrame(FrameReady *out) override
    {
        *out = m_ready;
        return Record("PrepareNextFrame");
    }
    int GetFrame(FrameType type, Frame *out) override
    {
        *out = m_frame;
        return Record("GetFrame", Args(type));
    }
    int SetColorPixelFormat(PixelFormat format) override
    {
        return Record("SetColorPixelFormat", Args(format));
    }
    int GetColorPixelFormat(PixelFormat *format) override
    {
        *format = m_colorFormat;
        return Record("GetColorPixelFormat");
    }
    int SetIRPixelFormat(PixelFormat format) override { return Record("SetIRPixelFormat", Args(format)); }
    int GetFrameMode(FrameType type, FrameMode *mode) override
    {
        *mode = m_frameMode;
        return Record("GetFrameMode", Args(type));
    }
    int SetTofFrameRate(uint8_t fps) override { return Record("SetTofFrameRate", Args(fps)); }
    int SetDualFreqMode(DualFreqMode &mode) override
    {
        return Record("SetDualFreqMode", Args(mode.count, mode.values[0], mode.values[1], mode.values[2]));
    }
    int SetDataMode(uint8_t mode) override { return Record("SetDataMode", Args(mode)); }
    int GetDataMode(uint8_t *mode) override
    {
        *mode = m_dataMode;
        return Record("GetDataMode");
    }
    int SetDepthRange(const DepthRange &range) override { return Record("SetDepthRange", Args(range.range)); }
    int GetDepthRange(DepthRange &range) override
    {
        range.range = 2;
        return Record("GetDepthRange");
    }
    int SetExposureTime(const ExposureTime &e) override
    {
        return Record("SetExposureTime", Args(e.index, e.exposureTime));
    }
    int GetExposureTime(ExposureTime *e) override
    {
        e->exposureTime = m_exposure[e->index & 1];
        return Record("GetExposureTime", std::to_string(e->index));
    }
    int GetCameraIntrinsic(SensorType sensor, double *out) override
    {
        std::memcpy(out, m_intrinsic[sensor % 3], sizeof(m_intrinsic[0]));
        return Record("GetCameraIntrinsic", Args(sensor));
    }
    /// What the camera reports; the session derives the intrinsics of delivered colour images from it.
    int GetCameraIntrinsic_(SensorType sensor, double *out) override
    {
        std::memcpy(out, m_intrinsic[sensor % 3], sizeof(m_intrinsic[0]));
        return Record("GetCameraIntrinsic_", Args(sensor));
    }
    int SetCameraIntrinsic(SensorType sensor, const double *in) override
    {
        return Record("SetCameraIntrinsic", Args(sensor, in[0]));
    }
    int GetCameraDistortion(SensorType sensor, double *out) override
    {
        std::memcpy(out, m_distortion[sensor % 3], sizeof(m_distortion[0]));
        return Record("GetCameraDistortion", Args(sensor));
    }
    int SetLens(const LensConfig &in) override
    {
        m_lens = in;
        const std::string size = std::to_string(in.width) + "x" + std::to_string(in.height);
        return Record("SetLens", Args(in.type, in.state, size, in.fps, in.encodeType));
    }
    int GetLens(LensConfig &out) override
    {
        const int ret = Record("GetLens", std::to_string(out.type));
        if (ret == 0) {
            out = m_lens;
        }
        return ret;
    }
    int SetComputeRealDepthEnabled(bool on) override
    {
        return Record("SetComputeRealDepthEnabled", Args(on));
    }
    std::shared_ptr<const DepthWorldTable> GetDepthFrame2WorldTab() override { return m_table; }
    bool GetAppliedTransform(const void *, uint32_t, int &rotation, int &mirror) override
    {
        rotation = m_appliedRotation;
        mirror = m_appliedMirror;
        return true;
    }
    int SetRangeValue(uint32_t range, int minimum, int maximum) override
    {
        return Record("SetRangeValue", Args(range, minimum, maximum));
    }
    int SetSaveRawBufferEnabled(bool on) override { return Record("SetSaveRawBufferEnabled", Args(on)); }
    bool RegisterNotify(TfFrameNotifyCallback) override
    {
        Record("RegisterNotify");
        return m_registerAnswer;
    }
    int SetProperty(int key, const void *data, int size) override
    {
        const auto *bytes = static_cast<const uint8_t *>(data);
        m_lastPropertyValue.assign(bytes, bytes + (size > 0 ? size : 0));
        m_lastPropertySize = size;
        return Record("SetProperty", Hex(key));
    }
    int GetProperty(int key, void *data, int *size) override
    {
        if (!m_propertyAnswer.empty()) {
            std::memcpy(data, m_propertyAnswer.data(), m_propertyAnswer.size());
        }
        m_lastPropertySize = *size;
        return Record("GetProperty", Hex(key));
    }
    int SetLDEnable(const LDEnable &enable) override
    {
        return Record("SetLDEnable", Args(enable.values[0], enable.values[1]));
    }
    int SetACCSensitivity(const IMUSensitivity &) override { return Record("SetACCSensitivity"); }
    int SetGyroSensitivity(const IMUSensitivity &) override { return Record("SetGyroSensitivity"); }
    int StartUpgradeFirmWare(const char *path) override { return Record("StartUpgradeFirmWare", path); }
    int TransferFile(FileTransferParams &params) override
    {
        m_lastTransfer = params;
        return Record("TransferFile", params.name);
    }

    static std::string Hex(int key)
    {
        char text[16];
        std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(key));
        return text;
    }
};
