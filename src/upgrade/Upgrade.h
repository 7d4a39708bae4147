// SPDX-License-Identifier: Apache-2.0
// Upgrade: the process-wide firmware upgrade worker that follows a camera through writing a new image.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "upgrade/CameraStateWorker.h"

/// Statuses: 0 idle; 1 image accepted, waiting to reach the camera in upgrade mode (the device manager
/// hands its SessionInfo over); 2 connected, waiting until the camera is ready; 3 sending the image's
/// length and checksum; 4 to 9 following the camera's upgrade state 1 to 6. Reports: (2, -1) camera not
/// reached; (4, 1 / v / -1) image accepted / refused / checksum not sent or not confirmed; (5, percent);
/// (6, 7: 1 or failure); (8, 1) finished or (8, v) failed; (previous state + 2, -1) no progress.
class Upgrade : public CameraStateWorker
{
public:
    static Upgrade *GetInstance();
    /// Stops and joins the worker (ending a running job without a report) and destroys the instance.
    static void Release();
    /// The bound of polls without progress (60 s unless a test sets another); read at every round.
    static void SetNoProgressLimitMs(unsigned limitMs);

    ~Upgrade() override;

    /// Sets the image and forgets the camera of an earlier job.
    void SetImgPath(const char *path) EXCLUDES(m_mutex);
    void SetImgFileLen(int length) EXCLUDES(m_mutex);
    void SetImgChecksum(int checksum) EXCLUDES(m_mutex);
    void SetUpgradeStatusCallback(StatusCallback callback) { SetCallback(callback); }
    StatusCallback GetUpgradeStatusCallback() const { return GetCallback(); }
    /// The device manager saw the camera in upgrade mode: the worker connects to it.
    int SetDetectParams_P(SessionInfo &info);

private:
    Upgrade();

    Step OwnRound(uint32_t status) override;
    int ProcessStatus(uint32_t status, uint32_t param1) override;
    bool QueryState(SocketProtocol &protocol, uint32_t &state, uint32_t &param1) override;
    int SendState(SocketProtocol &protocol, uint32_t state, uint32_t param1, uint32_t param2) override;
    /// A failed camera step: logged, the camera rebooted, then reported.
    int Fail(uint32_t status, int reportStatus, uint32_t param1);

    std::string m_imgPath GUARDED_BY(m_mutex);
    uint32_t m_imgFileLen GUARDED_BY(m_mutex) = 0;
    uint32_t m_imgChecksum GUARDED_BY(m_mutex) = 0;
};
