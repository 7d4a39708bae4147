// SPDX-License-Identifier: Apache-2.0
// Upgrade: the firmware worker's statuses, the camera's upgrade states and their reports.
#include "upgrade/Upgrade.h"

#include "net/SocketProtocol.h"
#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

namespace {
Mutex g_instanceMutex;
Upgrade *g_instance GUARDED_BY(g_instanceMutex) = nullptr;
std::atomic<unsigned> g_noProgressLimitMs{60000};

/// A failure's report value: the camera's param1, with 0 reported as -1.
int Shown(uint32_t param1)
{
    return param1 == 0 ? -1 : static_cast<int>(param1);
}
} // namespace

Upgrade *Upgrade::GetInstance()
{
    MutexLock lock(g_instanceMutex);
    if (g_instance == nullptr) {
        g_instance = new Upgrade();
    }
    return g_instance;
}

void Upgrade::Release()
{
    Upgrade *instance = nullptr;
    {
        MutexLock lock(g_instanceMutex);
        instance = g_instance;
        g_instance = nullptr;
    }
    delete instance;
}

void Upgrade::SetNoProgressLimitMs(unsigned limitMs)
{
    g_noProgressLimitMs.store(limitMs);
}

Upgrade::Upgrade()
    : CameraStateWorker(Shape{"Upgrade", WebServer::Purpose::kFirmware, 4, 3, 4, 3, &g_noProgressLimitMs})
{
}

Upgrade::~Upgrade()
{
    Halt();
}

void Upgrade::SetImgPath(const char *path)
{
    {
        MutexLock lock(m_mutex);
        m_imgPath = path != nullptr ? path : "";
        TFLOG("imgPath:%s", m_imgPath.c_str());
    }
    SetSessionInfo(SessionInfo());
}

void Upgrade::SetImgFileLen(int length)
{
    MutexLock lock(m_mutex);
    m_imgFileLen = static_cast<uint32_t>(length);
}

void Upgrade::SetImgChecksum(int checksum)
{
    MutexLock lock(m_mutex);
    m_imgChecksum = static_cast<uint32_t>(checksum);
}

int Upgrade::SetDetectParams_P(SessionInfo &info)
{
    SetSessionInfo(info);
    StartIfWaiting(1);
    return 0;
}

CameraStateWorker::Step Upgrade::OwnRound(uint32_t status)
{
    bool ready = false;
    switch (status) {
    case 2:
        return WaitReady(2, 3, ready);
    case 3: {
        uint32_t checksum = 0;
        uint32_t length = 0;
        {
            MutexLock lock(m_mutex);
            checksum = m_imgChecksum;
            length = m_imgFileLen;
        }
        return SendChecksum(4, checksum, length);
    }
    default:
        TFLOG("status:%d", status);
        return Step::kSleep;
    }
}

int Upgrade::Fail(uint32_t status, int reportStatus, uint32_t param1)
{
    TFLOG("status:%d params:%d", status, static_cast<int>(param1));
    RebootAndrm();
    Report(reportStatus, Shown(param1));
    return -1;
}

int Upgrade::ProcessStatus(uint32_t status, uint32_t param1)
{
    const bool ok = param1 == 1;
    switch (status) {
    case 4:
        return 0;
    case 5: {
        if (!ok) {
            return Fail(status, 4, param1);
        }
        // The camera writes only once told to; a failed request ends the job as refused.
        std::shared_ptr<SocketProtocol> protocol = Connection();
        if (!protocol || protocol->SetUpgradeState(UpgradeState{3, 0, 0}) != 0) {
            TFLOG("start writing failed.");
            RebootAndrm();
            Report(4, -1);
            return -1;
        }
        Report(4, 1);
        return 0;
    }
    case 6:
        TFLOG("UpgradeDoing percent:%d%%", static_cast<int>(param1));
        Report(5, static_cast<int>(param1));
        return 0;
    case 7:
    case 8:
        if (!ok) {
            return Fail(status, static_cast<int>(status) - 1, param1);
        }
        Report(static_cast<int>(status) - 1, 1);
        return 0;
    case 9:
        TFLOG("%s", ok ? "Upgrade OK." : "Upgrade NG.");
        RebootAndrm();
        Report(8, ok ? 1 : Shown(param1));
        return ok ? 1 : -1;
    default:
        TFLOG("invalid status:%d params:%d", status, static_cast<int>(param1));
        Finish();
        Report(static_cast<int>(status) - 1, -1);
        return -1;
    }
}

bool Upgrade::QueryState(SocketProtocol &protocol, uint32_t &state, uint32_t &param1)
{
    UpgradeState answer{0xFFFFFFFFu, 0xFFFFFFFFu, 0};
    if (!protocol.IsOpened() || protocol.GetUpgradeState(answer) != 0) {
        return false;
    }
    state = answer.state;
    param1 = answer.param1;
    return true;
}

int Upgrade::SendState(SocketProtocol &protocol, uint32_t state, uint32_t param1, uint32_t param2)
{
    if (!protocol.IsOpened()) {
        return kStatusNotConnected;
    }
    return protocol.SetUpgradeState(UpgradeState{state, param1, param2});
}
