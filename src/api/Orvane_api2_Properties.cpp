// SPDX-License-Identifier: Apache-2.0
// The exported TFCM_ functions of properties, the device information read through them, firmware
// upgrade and file transfer.
#include <cstring>

#include "Orvane_api.h"
#include "api/ApiCall.h"
#include "api/CopyRecord.h"
#include "api/DeviceHandle.h"
#include "api/Property.h"
#include "device/DeviceManager.h"
#include "protocol/PropertyKeys.h"

namespace {
constexpr size_t kMaxFirmwarePathChars = 260;

/// The public code of a firmware start the session refused.
int FirmwareStartStatus(int result)
{
    switch (result) {
    case SessionUpgrade::kFirmwareNoCallback:
        return TF_ERROR_UPGRADE_NO_CALLBACK;
    case SessionUpgrade::kFirmwareFileError:
        return TF_ERROR_UPGRADE_FILE;
    case SessionUpgrade::kFirmwareRejected:
        return TF_ERROR_UPGRADE_REJECTED;
    default:
        return TF_ERROR_OTHER;
    }
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------------

int TFCM_SetProperty(TfDeviceHandle device, int32_t key, const void *value, int32_t size)
{
    return CallUntranslated(__func__, device, [&](BaseSession &s) -> int {
        if (value == nullptr) {
            return TF_ERROR_PROPERTY_NULL;
        }
        return DispatchSetProperty(device, s, key, value, size);
    });
}

int TFCM_GetProperty(TfDeviceHandle device, int32_t key, void *value, int32_t *size)
{
    return CallUntranslated(__func__, device, [&](BaseSession &s) -> int {
        if (value == nullptr || size == nullptr) {
            return TF_ERROR_PROPERTY_NULL;
        }
        return DispatchGetProperty(device, s, key, value, size);
    });
}

// ---------------------------------------------------------------------------------------------
// Device information through properties
// ---------------------------------------------------------------------------------------------

int TFCM_SetDSPEnabled(TfDeviceHandle device, bool enabled)
{
    return CallUntranslated(__func__, device, [&](BaseSession &) -> int {
        DSPParameters params{};
        params.enable = enabled ? 1 : 0;
        return TFCM_SetProperty(device, kKeyDspStatus, &params, sizeof(params));
    });
}

int TFCM_GetDSPEnabled(TfDeviceHandle device, bool *enabled)
{
    if (enabled == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &) -> int {
        DSPParameters params{};
        int32_t size = sizeof(params);
        const int ret = TFCM_GetProperty(device, kKeyDspStatus, &params, &size);
        *enabled = ret == TF_OK && params.enable == 1;
        return ret;
    });
}

int TFCM_GetSerialNumber(TfDeviceHandle device, char *buffer, int size)
{
    if (buffer == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &) -> int {
        int32_t length = size;
        return TFCM_GetProperty(device, kKeySerialNumber, buffer, &length);
    });
}

int TFCM_GetFirmwareVersionNumber(TfDeviceHandle device, char *buffer, int size)
{
    if (buffer == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &) -> int {
        int32_t length = size;
        return TFCM_GetProperty(device, kKeyFirmwareVersion, buffer, &length);
    });
}

int TFCM_GetDeviceMAC(TfDeviceHandle device, char *buffer)
{
    if (buffer == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &) -> int {
        int32_t length = 1;
        return TFCM_GetProperty(device, kKeyMacAddress, buffer, &length);
    });
}

// ---------------------------------------------------------------------------------------------
// Firmware upgrade and file transfer
// ---------------------------------------------------------------------------------------------

int TFCM_StartUpgradeFirmWare(TfDeviceHandle device, const char *path)
{
    if (path == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    if (strnlen(path, kMaxFirmwarePathChars + 1) > kMaxFirmwarePathChars) {
        return TF_ERROR_UPGRADE_PATH_TOO_LONG;
    }
    return CallUntranslated(__func__, device, [&](BaseSession &s) -> int {
        const int result = s.StartUpgradeFirmWare(path);
        if (result == SessionUpgrade::kFirmwareStarted || result == SessionUpgrade::kFirmwareSameSubVersion) {
            DeviceManager::GetInstance()->SetUpgradeState(kUpgradeFirmware, s.GetSerialNumber());
            return TF_OK;
        }
        // A refused start leaves the flag alone: it may belong to an upgrade that runs (the manager
        // clears it when that one ends).
        return FirmwareStartStatus(result);
    });
}

int TFCM_SetUpgradeStatusCallback(TfDeviceHandle device, TfUpgradeStatusCallback callback)
{
    return CallTranslate(__func__, device,
                         [&](BaseSession &s) -> int { return s.SetUpgradeStatusCallback(callback); });
}

int TFCM_TransferFile(TfDeviceHandle device, TfFileTransferParams *params)
{
    if (params == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return CallTranslate(__func__, device, [&](BaseSession &s) -> int {
        constexpr size_t kNameChars = sizeof(params->name);
        // The name must end inside its field: the camera session treats it as a C string.
        if (strnlen(params->name, kNameChars) == kNameChars) {
            const int shownChars = static_cast<int>(kNameChars);
            TFLOG("The length of fileTransferParams->name:%.*s is too large than %d.", shownChars,
                  params->name, shownChars);
            return kStatusInvalidArgument;
        }
        FileTransferParams internal{};
        internal.type = params->type;
        CopyRecord(&internal.name, &params->name);
        internal.direction = params->direction;
        internal.index = params->index;
        internal.callback = params->callback;
        internal.userData = params->userData;
        return s.TransferFile(internal);
    });
}
