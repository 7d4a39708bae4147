// SPDX-License-Identifier: Apache-2.0
// The default operations of BaseProtocol: each refuses as not supported by this camera kind.
#include "protocol/BaseProtocol.h"

#include "runtime/LogCustom.h"

BaseProtocol::~BaseProtocol() = default;

int BaseProtocol::SetSlaveMode(uint8_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetSlaveMode(uint8_t *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetRegVal(uint16_t, uint16_t)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetRegVal(uint16_t, uint16_t *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetExposureTime(const ExposureTime &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetExposureTime(ExposureTime *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetRgbExplosureTimeAndGain(float, float)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetRgbExplosureTimeAndGain(float *, float *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetRgbAecEnabled(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetRgbMirrorEnable(int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetRgbRotationEnable(int)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetUpgradeIsSupported(uint8_t &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetToUpgradeMode_P(const char *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetUpgradeState(UpgradeState)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetUpgradeState(UpgradeState &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::RebootCamera()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetJsonIsSupported(uint8_t &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetToJsonMode_P()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetJsonPath_P(const char *)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetJsonState(JsonState)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetJsonState(JsonState &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::IsSupportJSONConfig()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SendCameraParamsEnable(bool)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetWDRGMMGain(const GMMGainConfig &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetWDRGMMGain(GMMGainConfigGet &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetWDRThreshold(const ThresholdConfig &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetWDRThreshold(ThresholdConfigGet &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetTestModeState(TestMode, const TestModeParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetSlaveTrigger()
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetDspStatus(const DSPParameters &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetDspStatus(DSPParameters &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::TransferFile(FileTransferParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::SetConfidenceFilterParams(const ConfidenceFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}

int BaseProtocol::GetConfidenceFilterParams(ConfidenceFilterParams &)
{
    TFLOG("Not Support.");
    return kNotSupported;
}
