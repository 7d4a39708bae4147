// SPDX-License-Identifier: Apache-2.0
// SessionUpgrade: a session's firmware upgrade and JSON configuration operations, which check the file,
// switch the camera and hand the job to the process-wide worker.
#pragma once

#include "Orvane_api.h"
#include "protocol/StatusCodes.h"

class BaseSession;
class BaseProtocol;

class Upgrade;
class JsonCtl;

class SessionUpgrade
{
public:
    /// Results of StartUpgradeFirmWare (the image checks add -2 and -3).
    enum FirmwareStart : int
    {
        kFirmwareStarted = 0,
        kFirmwareSameSubVersion = 1, ///< started: the image has the camera's own sub-version
        kFirmwareRejected = -1,      ///< the camera's version, the image's date, type or sub-version
        kFirmwareFileError = -2,
        kFirmwareSwitchFailed = -3, ///< also a data checksum that does not match
        kFirmwareNoCallback = -4,
        kFirmwareBusy = kStatusNotSupported, ///< an upgrade runs already
    };
    /// Results of the JSON configuration operations.
    enum JsonResult : int
    {
        kJsonOk = 0,
        kJsonFailed = -2,
        kJsonUnsupported = kStatusUpgradeRejected,
    };
    /// Longest JSON file path taken (characters, without the terminating zero).
    static constexpr int kMaxJsonPathChars = 4096;

    explicit SessionUpgrade(BaseSession &session) : m_session(session) {}
    void Attach(BaseProtocol *protocol) { m_protocol = protocol; }

    int CheckFirmwareVersion(const char *path, int &fileLength, int &checksum);
    int StartUpgradeFirmWare(const char *path);
    int SetUpgradeStatusCallback(TfUpgradeStatusCallback callback);
    int EnterJsonConfigMode(TfUpgradeStatusCallback callback);
    int StartUpgradeJson(const char *path);

private:
    /// The two starts once the worker is claimed for them (TryReserve); a failure gives the claim back.
    int StartClaimedFirmware(Upgrade &upgrade, const char *path);
    int EnterClaimedJson(JsonCtl &json, TfUpgradeStatusCallback callback);

    BaseSession &m_session;
    BaseProtocol *m_protocol = nullptr; // owned by the session
};
