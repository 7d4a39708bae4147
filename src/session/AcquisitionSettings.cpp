// SPDX-License-Identifier: Apache-2.0
// AcquisitionSettings: frame rate, exposure, IR gain, slave, work and low-power modes, each sent to the
// camera and confirmed against its status record.
#include "session/AcquisitionSettings.h"

#include "pipeline/ImageProc.h"
#include "protocol/DataModes.h"
#include "runtime/LogCustom.h"
#include "session/SessionGuards.h"

namespace {
constexpr uint8_t kLowPowerBit = 0x20;
constexpr uint8_t kWorkModeIgnoredBit = 0x04;
constexpr uint8_t kWorkModeNotConfirmed = 16;
} // namespace

void AcquisitionSettings::Attach(BaseProtocol *protocol, ImageProc *pipeline)
{
    m_protocol = protocol;
    m_imageProc = pipeline;
}

int AcquisitionSettings::SetTofFrameRate(uint8_t fps)
{
    if (const int refused = StatusConfirmer::RefuseWhileStreaming(m_streaming.load())) {
        return refused;
    }
    REQUIRE_PROTOCOL();
    return m_protocol->SetTofFrameRate(fps);
}

int AcquisitionSettings::SetExposureTime(const ExposureTime &exposure)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->SetExposureTime(exposure);
    if (ret != kStatusOk) {
        return ret;
    }
    const int waited = m_confirm.ConfirmExposure(m_dataMode.load(), exposure);
    if (waited != kStatusOk) {
        const DeviceStatus s = m_confirm.Read();
        TFLOG("expoTime:(%d,%d), deviceStatus:(%d,%d,%d\t%d,%d\t%d,%d)", exposure.index,
              static_cast<int>(exposure.exposureTime), s.mode, s.range, static_cast<int>(s.exposureTime),
              s.wdr[3], static_cast<int>(s.wdrExposureTime[0]), s.wdr[4],
              static_cast<int>(s.wdrExposureTime[1]));
    }
    return waited;
}

int AcquisitionSettings::SetGMMGain(uint8_t gain)
{
    REQUIRE_PROTOCOL();
    const int sent = m_protocol->SetGMMGain(gain);
    const bool multi = IsMultiRangeMode(m_dataMode.load());
    const int ret = m_confirm.Confirm(sent, 50, 10, [gain, multi](const DeviceStatus &s) {
        return (multi ? s.wdrGmmGain[1] : s.gmmGain) == gain;
    });
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
        TFLOG("receive m_GmmGain %d", m_confirm.Read().gmmGain);
        return ret;
    }
    m_filters.SetIrGmmGain(gain);
    return kStatusOk;
}

int AcquisitionSettings::SetSlaveMode(uint8_t mode)
{
    REQUIRE_PROTOCOL();
    const int ret = m_confirm.Confirm(m_protocol->SetSlaveMode(mode), 20, 100, [mode](const DeviceStatus &s) {
        return static_cast<uint8_t>(s.slaveMode) == mode;
    });
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_imageProc->SetRecycle(true);
    return kStatusOk;
}

int AcquisitionSettings::SetSlaveModeEnabled(bool enabled)
{
    REQUIRE_PROTOCOL();
    const uint8_t expected = enabled ? 2 : 0;
    const int ret = m_confirm.Confirm(
        m_protocol->SetSlaveModeEnabled(enabled), 20, 100,
        [expected](const DeviceStatus &s) { return static_cast<uint8_t>(s.slaveMode) == expected; });
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_imageProc->SetRecycle(true);
    return kStatusOk;
}

int AcquisitionSettings::SetWorkMode(const WorkMode &mode)
{
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetWorkMode(mode);
    const auto statusMode = [](const DeviceStatus &s) {
        return static_cast<uint8_t>(static_cast<uint8_t>(s.workMode) & ~kWorkModeIgnoredBit);
    };
    if (mode.mode != kWorkModeNotConfirmed) {
        ret = m_confirm.Confirm(ret, 20, 100,
                                [&](const DeviceStatus &s) { return statusMode(s) == mode.mode; });
    }
    if (ret != kStatusOk) {
        TFLOG("%d != %d:", mode.mode, statusMode(m_confirm.Read()));
        TFLOG("ret:%d is failed.", ret);
    }
    return ret;
}

int AcquisitionSettings::SetLowPowerModeEnabled(bool enabled)
{
    REQUIRE_PROTOCOL();
    int ret = m_protocol->SetLowPowerModeEnabled(enabled);
    if (ret == kStatusOk) {
        // While the camera sleeps its frames are not worth decoding.
        m_imageProc->SetFrameState(!enabled);
        ret = m_confirm.Wait(30, 100, [enabled](const DeviceStatus &s) {
            return ((static_cast<uint8_t>(s.workMode) & kLowPowerBit) != 0) == enabled;
        });
    }
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
    }
    return ret;
}
