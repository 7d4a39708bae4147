// SPDX-License-Identifier: Apache-2.0
// The default operations of BaseProtocol: each refuses as not supported by this camera kind.
#include "protocol/BaseProtocol.h"

#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

BaseProtocol::~BaseProtocol() = default;

int BaseProtocol::NotSupported(const char *operation)
{
    // Logged in the name of the operation that refused, as if it had logged itself.
    ::LogCustom::Printf("[%s:%d:%s]:Not Support.\n", ::LogCustom::BaseName(__FILE__), __LINE__, operation);
    return kStatusNotSupported;
}

/// Defines one default operation: it refuses without touching its arguments.
#define TF_NOT_SUPPORTED(operation, ...)                                                                     \
    int BaseProtocol::operation(__VA_ARGS__)                                                                 \
    {                                                                                                        \
        return NotSupported(#operation);                                                                     \
    }

TF_NOT_SUPPORTED(SetSlaveMode, uint8_t)
TF_NOT_SUPPORTED(GetSlaveMode, uint8_t *)
TF_NOT_SUPPORTED(SetRegVal, uint16_t, uint16_t)
TF_NOT_SUPPORTED(GetRegVal, uint16_t, uint16_t *)
TF_NOT_SUPPORTED(SetExposureTime, const ExposureTime &)
TF_NOT_SUPPORTED(GetExposureTime, ExposureTime *)
TF_NOT_SUPPORTED(SetRgbExplosureTimeAndGain, float, float)
TF_NOT_SUPPORTED(GetRgbExplosureTimeAndGain, float *, float *)
TF_NOT_SUPPORTED(SetRgbAecEnabled, bool)
TF_NOT_SUPPORTED(SetRgbMirrorEnable, int)
TF_NOT_SUPPORTED(SetRgbRotationEnable, int)
TF_NOT_SUPPORTED(GetUpgradeIsSupported, uint8_t &)
TF_NOT_SUPPORTED(SetToUpgradeMode_P, const char *)
TF_NOT_SUPPORTED(SetUpgradeState, UpgradeState)
TF_NOT_SUPPORTED(GetUpgradeState, UpgradeState &)
TF_NOT_SUPPORTED(RebootCamera)
TF_NOT_SUPPORTED(GetJsonIsSupported, uint8_t &)
TF_NOT_SUPPORTED(SetToJsonMode_P)
TF_NOT_SUPPORTED(SetJsonPath_P, const char *)
TF_NOT_SUPPORTED(SetJsonState, JsonState)
TF_NOT_SUPPORTED(GetJsonState, JsonState &)
TF_NOT_SUPPORTED(IsSupportJSONConfig)
TF_NOT_SUPPORTED(SendCameraParamsEnable, bool)
TF_NOT_SUPPORTED(SetWDRGMMGain, const GMMGainConfig &)
TF_NOT_SUPPORTED(GetWDRGMMGain, GMMGainConfigGet &)
TF_NOT_SUPPORTED(SetWDRThreshold, const ThresholdConfig &)
TF_NOT_SUPPORTED(GetWDRThreshold, ThresholdConfigGet &)
TF_NOT_SUPPORTED(SetTestModeState, TestMode, const TestModeParams &)
TF_NOT_SUPPORTED(SetSlaveTrigger)
TF_NOT_SUPPORTED(SetDspStatus, const DSPParameters &)
TF_NOT_SUPPORTED(GetDspStatus, DSPParameters &)
TF_NOT_SUPPORTED(TransferFile, FileTransferParams &)
TF_NOT_SUPPORTED(SetConfidenceFilterParams, const ConfidenceFilterParams &)
TF_NOT_SUPPORTED(GetConfidenceFilterParams, ConfidenceFilterParams &)

#undef TF_NOT_SUPPORTED
