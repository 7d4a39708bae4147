// SPDX-License-Identifier: Apache-2.0
// JsonCtl: the process-wide worker that follows a camera through replacing its JSON configuration.
#pragma once

#include <atomic>
#include <cstdint>

#include "upgrade/CameraStateWorker.h"

/// Statuses: 0 idle; 1 JSON mode requested, connecting (up to the no-progress bound); 2 connected,
/// waiting until the camera is ready; 3 ready, waiting for the application's file (kept alive, no
/// time-out); 4 file announced, waiting until the camera is ready to check it; 5 sending length and
/// checksum; 6 to 9 following the camera's JSON state 1 to 4. Reports: (1, 0) ready for the file;
/// (2, -1) camera not reached; (4, 1 / v / -1) file accepted / refused / not confirmed; (5, percent);
/// (6, 1) finished or (6, v) failed; (previous state + 2, -1) no progress; (status - 3, -1) a camera
/// state outside 1 to 4.
class JsonCtl : public CameraStateWorker
{
public:
    static JsonCtl *GetInstance();
    /// Stops and joins the worker (ending a running job without a report) and destroys the instance.
    static void Release();
    /// The bound of polls without progress (20 s unless a test sets another); read at every round.
    static void SetNoProgressLimitMs(unsigned limitMs);

    ~JsonCtl() override;

    void SetUpgradeJsonStatusCallback(StatusCallback callback) { SetCallback(callback); }
    /// Announces the file to the camera over the worker's connection (status 3 only); then status 4.
    /// kStatusInvalidArgument without a connection ("m_pProtocol is null."), in another status, or
    /// when the announcement fails.
    int SetImgPath(const char *path) EXCLUDES(m_mutex);
    /// Stores how to reach the camera (the session's own description, or the device manager's).
    int SetDetectParams_P(SessionInfo &info);
    /// Calls the callback: 0, or -1 and "m_pCallback is NULL!" without one.
    int UpgradeJsonStatusCallback(int status, int params);

private:
    JsonCtl();

    Step OwnRound(uint32_t status) override;
    int ProcessStatus(uint32_t status, uint32_t param1) override;
    bool QueryState(SocketProtocol &protocol, uint32_t &state, uint32_t &param1) override;
    int SendState(SocketProtocol &protocol, uint32_t state, uint32_t param1, uint32_t param2) override;
    int Fail(uint32_t status, uint32_t param1);

    /// Nothing in this system sets them: the camera is sent zeros.
    uint32_t m_fileLength = 0;
    uint32_t m_checksum = 0;
};
