// SPDX-License-Identifier: Apache-2.0
// SessionUpgrade: checks before a firmware or JSON configuration upgrade, the camera's switch, the hand-over.
#include "session/SessionUpgrade.h"

#include <cstring>

#include "protocol/BaseProtocol.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"
#include "upgrade/FirmwareImage.h"
#include "upgrade/JsonCtl.h"
#include "upgrade/Upgrade.h"

namespace {
constexpr int kVersionChars = 63;
constexpr uint8_t kSupported = 1;
constexpr uint8_t kUnanswered = 0xFF;
} // namespace

int SessionUpgrade::CheckFirmwareVersion(const char *path, int &fileLength, int &checksum)
{
    char version[kVersionChars + 1] = {};
    m_session.GetFWVer(version, kVersionChars);
    version[kVersionChars] = '\0';
    return FirmwareImage::Check(path, version, m_session.GetDeviceType(), fileLength, checksum);
}

int SessionUpgrade::StartUpgradeFirmWare(const char *path)
{
    Upgrade *upgrade = Upgrade::GetInstance();
    // Refused before anything reaches the camera: a running upgrade (or one another caller is starting).
    if (!upgrade->TryReserve()) {
        TFLOG("an upgrade is running: status:%d", static_cast<int>(upgrade->Status()));
        return kFirmwareBusy;
    }
    const int result = StartClaimedFirmware(*upgrade, path);
    if (result < 0) {
        upgrade->CancelReservation();
    }
    return result;
}

int SessionUpgrade::StartClaimedFirmware(Upgrade &upgrade, const char *path)
{
    if (upgrade.GetUpgradeStatusCallback() == nullptr) {
        TFLOG("UpgradeStatusCallback is null.");
        return kFirmwareNoCallback;
    }
    int fileLength = 0;
    int checksum = 0;
    const int checked = CheckFirmwareVersion(path, fileLength, checksum);
    if (checked < 0) {
        TFLOG("check firmware file failed");
        return checked;
    }
    if (m_protocol == nullptr) {
        TFLOG("Not Support.");
        return kStatusNotSupported;
    }
    uint8_t supported = kUnanswered;
    m_protocol->GetUpgradeIsSupported(supported);
    if (supported != kSupported) {
        return kFirmwareRejected;
    }
    const int switched = m_protocol->SetToUpgradeMode_P(path);
    m_session.StopStream();
    if (switched != 0) {
        TFLOG("SetToUpgradeMode_P failed ret:%d", switched);
        return kFirmwareSwitchFailed;
    }
    upgrade.SetImgPath(path);
    upgrade.SetImgFileLen(fileLength);
    upgrade.SetImgChecksum(checksum);
    TFLOG("Upgrade Ready");
    upgrade.SetStatus(1);
    return checked;
}

int SessionUpgrade::SetUpgradeStatusCallback(TfUpgradeStatusCallback callback)
{
    Upgrade::GetInstance()->SetUpgradeStatusCallback(callback);
    return kStatusOk;
}

int SessionUpgrade::EnterJsonConfigMode(TfUpgradeStatusCallback callback)
{
    JsonCtl *json = JsonCtl::GetInstance();
    // One configuration at a time: a second camera would silently take the worker from the first.
    if (!json->TryReserve()) {
        TFLOG("Status:%d.", static_cast<int>(json->Status()));
        return kJsonFailed;
    }
    const int result = EnterClaimedJson(*json, callback);
    if (result != kJsonOk) {
        json->CancelReservation();
    }
    return result;
}

int SessionUpgrade::EnterClaimedJson(JsonCtl &json, TfUpgradeStatusCallback callback)
{
    uint8_t supported = kUnanswered;
    if (m_protocol != nullptr) {
        m_protocol->GetJsonIsSupported(supported);
    }
    if (supported != kSupported) {
        TFLOG("The current device is not support Json config:%d.", supported);
        return kJsonUnsupported;
    }
    const int switched = m_protocol->SetToJsonMode_P();
    m_session.StopStream();
    if (switched != 0) {
        TFLOG("SetJsonState is failed.");
        return kJsonFailed;
    }
    json.SetUpgradeJsonStatusCallback(callback);
    SessionInfo info;
    m_session.GetSessionInfo(info);
    json.SetDetectParams_P(info);
    json.SetStatus(1);
    return kJsonOk;
}

int SessionUpgrade::StartUpgradeJson(const char *path)
{
    if (path == nullptr || path[0] == '\0' || strnlen(path, kMaxJsonPathChars + 1) > kMaxJsonPathChars) {
        TFLOG("invalid json path.");
        return kJsonFailed;
    }
    JsonCtl *json = JsonCtl::GetInstance();
    if (const uint32_t status = json->Status(); status != 3) {
        TFLOG("Status:%d.", static_cast<int>(status));
        return kJsonFailed;
    }
    return json->SetImgPath(path) == kStatusOk ? kJsonOk : kJsonFailed;
}
