// SPDX-License-Identifier: Apache-2.0
// FilterSettings: the time, confidence and depth filters on the camera, the decoder or the refine library.
#include "session/FilterSettings.h"

#include "pipeline/ImageProc.h"
#include "protocol/DataModes.h"
#include "session/SessionGuards.h"

namespace {
constexpr uint32_t kDspConfigTimeFilter = 5;
} // namespace

void FilterSettings::Attach(BaseProtocol *protocol, ImageProc *pipeline)
{
    m_protocol = protocol;
    m_imageProc = pipeline;
}

TofDecode *FilterSettings::Decoder() const
{
    return m_imageProc != nullptr ? m_imageProc->GetTofDecode() : nullptr;
}

int FilterSettings::SetTimeFilterEnabled(bool enabled)
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

int FilterSettings::GetTimeFilterEnabled(bool *enabled)
{
    if (enabled == nullptr) {
        return kStatusNullPointer;
    }
    // Unlike the setter, mode 13 answers from the session's own switch.
    if (IsCameraTimeFilterReadMode(m_dataMode.load())) {
        REQUIRE_PROTOCOL();
        DSPParameters record{kDspConfigTimeFilter, 0, 0, 0};
        const int ret = m_protocol->GetDspStatus(record);
        *enabled = record.enable != 0;
        return ret;
    }
    REQUIRE_PIPELINE();
    *enabled = m_timeFilter.load();
    return kStatusOk;
}

int FilterSettings::SetConfidenceFilterEnable(bool enabled)
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

int FilterSettings::SetConfidenceFilterParams(const ConfidenceFilterParams &params)
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

int FilterSettings::GetConfidenceFilterParams(ConfidenceFilterParams &params)
{
    if (IsCameraFilterMode(m_dataMode.load())) {
        REQUIRE_PROTOCOL();
        return m_protocol->GetConfidenceFilterParams(params);
    }
    REQUIRE_PIPELINE();
    params = m_confidenceParams;
    return kStatusOk;
}

int FilterSettings::SetComputeRealDepthEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    m_computeRealDepth.store(enabled);
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetComputeRealDepthEnabled(enabled);
    }
    if (APIDepthRefine *refine = m_imageProc->GetRefine()) {
        refine->SetComputeRealDepthEnabled(enabled);
    }
    return kStatusOk;
}

int FilterSettings::GetComputeRealDepthEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return kStatusNullPointer;
    }
    *enabled = m_computeRealDepth.load();
    return kStatusOk;
}

int FilterSettings::SetSmoothingFilterEnabled(bool enabled)
{
    REQUIRE_PIPELINE();
    m_smoothingFilter.store(enabled);
    if (TofDecode *tof = m_imageProc->GetTofDecode()) {
        tof->SetSmoothingFilterEnabled(enabled);
    }
    if (APIDepthRefine *refine = m_imageProc->GetRefine()) {
        refine->SetSmoothingFilterEnabled(enabled);
    }
    return kStatusOk;
}

int FilterSettings::GetSmoothingFilterEnabled(bool *enabled)
{
    REQUIRE_PIPELINE();
    if (enabled == nullptr) {
        return kStatusNullPointer;
    }
    *enabled = m_smoothingFilter.load();
    return kStatusOk;
}

int FilterSettings::SetRawDepthCut(bool enabled)
{
    m_rawDepthCut.store(enabled);
    if (TofDecode *tof = Decoder()) {
        tof->SetRawDepthCut(enabled);
    }
    return kStatusOk;
}

void FilterSettings::SetTemperatureOffsetEnabled(bool enabled)
{
    m_temperatureOffset.store(enabled);
    if (TofDecode *tof = Decoder()) {
        tof->SetTemperatureOffsetEnable(enabled);
    }
}

void FilterSettings::SetIrGmmGain(uint8_t gain)
{
    m_irGmmGain.store(gain);
    if (TofDecode *tof = Decoder()) {
        tof->SetIRGmmGain(gain);
    }
}

void FilterSettings::ReadFromCamera()
{
    if (m_protocol == nullptr) {
        return;
    }
    ConfidenceFilterParams confidence{};
    if (m_protocol->GetConfidenceFilterParams(confidence) == kStatusOk) {
        m_confidenceParams = confidence;
        m_hasConfidenceParams = true;
        if (TofDecode *tof = Decoder()) {
            tof->SetConfidenceFilterParams(confidence);
        }
    }
    uint8_t gain = 0;
    m_protocol->GetGMMGain(&gain);
    if (gain != 0) {
        SetIrGmmGain(gain);
    }
}

void FilterSettings::ApplyTo(TofDecode &tof) const
{
    tof.SetComputeRealDepthEnabled(m_computeRealDepth.load());
    tof.SetSmoothingFilterEnabled(m_smoothingFilter.load());
    tof.SetTemperatureOffsetEnable(m_temperatureOffset.load());
    tof.SetRawDepthCut(m_rawDepthCut.load());
    if (m_irGmmGain.load() != 0) {
        tof.SetIRGmmGain(m_irGmmGain.load());
    }
    if (m_hasConfidenceParams) {
        tof.SetConfidenceFilterParams(m_confidenceParams);
    }
}
