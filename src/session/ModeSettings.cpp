// SPDX-License-Identifier: Apache-2.0
// ModeSettings: data mode, depth range and dual frequency changed on the camera, confirmed by its status
// and handed to the pipeline; the measuring ranges behind them.
#include "session/ModeSettings.h"

#include "pipeline/ImageProc.h"
#include "protocol/DataModes.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"
#include "session/SessionGuards.h"

template <size_t N>
bool ModeSettings::QueryCountedList(int key, const char *name, std::array<uint8_t, N> &out)
{
    std::array<uint8_t, N> list{};
    int size = static_cast<int>(N);
    if (m_session.GetProperty(key, list.data(), &size) != kStatusOk || list[0] == 0) {
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

template bool ModeSettings::QueryCountedList(int, const char *, SessionModeLists::DataModeList &);
template bool ModeSettings::QueryCountedList(int, const char *, SessionModeLists::DepthRangeList &);

void ModeSettings::Attach(BaseProtocol *protocol, ImageProc *pipeline)
{
    m_protocol = protocol;
    m_imageProc = pipeline;
}

int ModeSettings::SetDataMode(uint8_t mode)
{
    if (const int refused = StatusConfirmer::RefuseWhileStreaming(m_streaming.load())) {
        return refused;
    }
    if (!m_session.IsDataModeValid(mode)) {
        TFLOG("invalid data mode %d", mode);
        return 1;
    }
    REQUIRE_PROTOCOL();
    const int ret = m_confirm.Confirm(m_protocol->SetDataMode(mode), 300, 20, [mode](const DeviceStatus &s) {
        return static_cast<uint8_t>(s.mode) == mode;
    });
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_imageProc->SetRecycle(true);
    m_dataMode.store(mode);
    m_session.SetFrameMode(mode);
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetDataMode(mode);
    }
    return kStatusOk;
}

int ModeSettings::GetDataMode(uint8_t *mode)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->GetDataMode(mode);
    if (ret == kStatusOk && mode != nullptr) {
        m_session.SetFrameMode(*mode);
        m_dataMode.store(*mode);
        if (TofDecode *tof = m_imageProc->GetTofDecode()) {
            tof->SetDataMode(*mode);
        }
    }
    return ret;
}

int ModeSettings::SetDepthRange(const DepthRange &range)
{
    if (const int refused = StatusConfirmer::RefuseWhileStreaming(m_streaming.load())) {
        return refused;
    }
    if (IsMultiRangeMode(m_dataMode.load())) {
        TFLOG("Multi frequency mode reject change depth range");
        return 1;
    }
    if (!m_session.IsRangeValid(static_cast<int>(range.range))) {
        TFLOG("invalid depth range %d", static_cast<int>(range.range));
        return kStatusDepthRange;
    }
    REQUIRE_PROTOCOL();
    const int ret =
        m_confirm.Confirm(m_protocol->SetDepthRange(range), 100, 10, [&range](const DeviceStatus &s) {
            return static_cast<uint32_t>(static_cast<uint8_t>(s.range)) == range.range;
        });
    if (ret != kStatusOk) {
        TFLOG("set range %d   receive depthrange %d \n", static_cast<int>(range.range),
              m_confirm.Read().range);
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetDepthRange(range.range);
    }
    m_depthRange.store(range.range);
    return kStatusOk;
}

int ModeSettings::SetDualFreqMode(DualFreqMode &mode)
{
    if (const int refused = StatusConfirmer::RefuseWhileStreaming(m_streaming.load())) {
        return refused;
    }
    if (!IsDualFrequencyMode(m_dataMode.load())) {
        return kStatusInvalidArgument;
    }
    REQUIRE_PROTOCOL();
    const int ret =
        m_confirm.Confirm(m_protocol->SetDualFreqMode(mode), 100, 10, [&mode](const DeviceStatus &s) {
            return mode.count == s.wdr[1] && mode.values[0] == s.wdr[2] && mode.values[1] == s.wdr[3];
        });
    if (ret != kStatusOk) {
        TFLOG("ret:%d is failed.", ret);
        return ret;
    }
    m_dualFreq = mode;
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetDualFreqMode(mode);
    }
    return kStatusOk;
}

int ModeSettings::GetDualFreqMode(DualFreqMode *mode)
{
    REQUIRE_PROTOCOL();
    const int ret = m_protocol->GetDualFreqMode(mode);
    if (ret == kStatusOk && mode != nullptr) {
        if (TofDecode *tof = m_imageProc->GetTofDecode()) {
            tof->SetDualFreqMode(*mode);
        }
    }
    return ret;
}

int ModeSettings::GetMeasuringRange(MeasuringRange &range)
{
    REQUIRE_PROTOCOL();
    MeasuringRange answer = range;
    const int ret = m_protocol->GetMeasuringRange(answer);
    if (answer.range2 != 0) {
        range = answer;
    } else if (range.mode >= SessionModeLists::kMeasuringRangeCount) {
        TFLOG("range:%d is invalid.", range.mode);
    } else {
        TFLOG("ref.range:%d", range.mode);
        range = m_lists.MeasuringRanges()[range.mode];
    }
    TFLOG("ref.range:%d %d %d %d", range.mode, range.range2, range.range0, range.range1);
    return ret;
}

int ModeSettings::GetMeasuringRangeInternal(MeasuringRange &range)
{
    if (range.mode >= SessionModeLists::kMeasuringRangeCount) {
        TFLOG("range:%d is invalid.", range.mode);
        return kStatusOk;
    }
    range = m_lists.MeasuringRanges()[range.mode];
    return kStatusOk;
}

int ModeSettings::SetWDRStyle(WDRStyle style)
{
    REQUIRE_PIPELINE();
    TofDecode *tof = m_imageProc->GetTofDecode();
    if (tof == nullptr) {
        TFLOG("the depth decoder is not running.");
        return -1; // the plain failure
    }
    return tof->SetWDRStyle(style);
}
