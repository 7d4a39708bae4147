// SPDX-License-Identifier: Apache-2.0
// JsonCtl: the JSON configuration worker's statuses, the camera's JSON states and their reports.
#include "upgrade/JsonCtl.h"

#include "net/SocketProtocol.h"
#include "protocol/PropertyKeys.h"
#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

namespace {
Mutex g_instanceMutex;
JsonCtl *g_instance GUARDED_BY(g_instanceMutex) = nullptr;
std::atomic<unsigned> g_noProgressLimitMs{20000};
constexpr int kKeepAliveBytes = 64;

int Shown(uint32_t param1)
{
    return param1 == 0 ? -1 : static_cast<int>(param1);
}
} // namespace

JsonCtl *JsonCtl::GetInstance()
{
    MutexLock lock(g_instanceMutex);
    if (g_instance == nullptr) {
        g_instance = new JsonCtl();
    }
    return g_instance;
}

void JsonCtl::Release()
{
    JsonCtl *instance = nullptr;
    {
        MutexLock lock(g_instanceMutex);
        instance = g_instance;
        g_instance = nullptr;
    }
    delete instance;
}

void JsonCtl::SetNoProgressLimitMs(unsigned limitMs)
{
    g_noProgressLimitMs.store(limitMs);
}

// Connection attempts are bounded by the no-progress time, not by a count.
JsonCtl::JsonCtl()
    : CameraStateWorker(Shape{"JsonCtl", WebServer::Purpose::kJson, 6, 5, 6, 0, &g_noProgressLimitMs})
{
}

JsonCtl::~JsonCtl()
{
    Halt();
}

int JsonCtl::SetDetectParams_P(SessionInfo &info)
{
    SetSessionInfo(info);
    return 0;
}

int JsonCtl::UpgradeJsonStatusCallback(int status, int params)
{
    if (!Report(status, params)) {
        TFLOG("m_pCallback is NULL!");
        return -1;
    }
    return 0;
}

int JsonCtl::SetImgPath(const char *path)
{
    std::shared_ptr<SocketProtocol> protocol = Connection();
    if (!protocol) {
        TFLOG("m_pProtocol is null.");
        return kStatusInvalidArgument;
    }
    if (Status() != 3) {
        TFLOG("Status:%d.", static_cast<int>(Status()));
        return kStatusInvalidArgument;
    }
    const int ret = protocol->SetJsonPath_P(path);
    if (ret != 0) {
        TFLOG("SetJsonPath_P failed ret:%d", ret);
        return kStatusInvalidArgument;
    }
    if (!ChangeStatus(3, 4)) {
        // The job ended while the file was announced: its end released the server.
        return kStatusInvalidArgument;
    }
    return kStatusOk;
}

CameraStateWorker::Step JsonCtl::OwnRound(uint32_t status)
{
    bool ready = false;
    switch (status) {
    case 2: {
        const Step step = WaitReady(2, 3, ready);
        if (ready) {
            UpgradeJsonStatusCallback(1, 0);
        }
        return step;
    }
    case 3: {
        // Waiting for the application's file: keep the connection alive; this does not count.
        if (std::shared_ptr<SocketProtocol> protocol = Connection()) {
            char buffer[kKeepAliveBytes] = {};
            int size = kKeepAliveBytes;
            protocol->GetProperty(kSessionHeartbeat, buffer, &size);
        }
        return Step::kSleep;
    }
    case 4:
        return WaitReady(4, 5, ready);
    case 5:
        return SendChecksum(6, m_checksum, m_fileLength);
    default:
        TFLOG("status:%d", status);
        return Step::kSleep;
    }
}

int JsonCtl::Fail(uint32_t status, uint32_t param1)
{
    TFLOG("status:%d params:%d", status, static_cast<int>(param1));
    RebootAndrm();
    UpgradeJsonStatusCallback(4, Shown(param1));
    return -1;
}

int JsonCtl::ProcessStatus(uint32_t status, uint32_t param1)
{
    TFLOG("%d,%d", status, static_cast<int>(param1));
    const bool ok = param1 == 1;
    switch (status) {
    case 6:
        TFLOG("JsonChecking");
        return 0;
    case 7: {
        if (!ok) {
            return Fail(status, param1);
        }
        std::shared_ptr<SocketProtocol> protocol = Connection();
        if (!protocol || protocol->SetJsonState(JsonState{3, 0, 0}) != 0) {
            TFLOG("start applying failed.");
            RebootAndrm();
            UpgradeJsonStatusCallback(4, -1);
            return -1;
        }
        UpgradeJsonStatusCallback(4, 1);
        return 0;
    }
    case 8:
        TFLOG("JsonDoing percent:%d%%", static_cast<int>(param1));
        UpgradeJsonStatusCallback(5, static_cast<int>(param1));
        return 0;
    case 9:
        TFLOG("%s", ok ? "Json OK." : "Json NG.");
        RebootAndrm();
        UpgradeJsonStatusCallback(6, ok ? 1 : Shown(param1));
        return ok ? 1 : -1;
    default:
        TFLOG("invalid status:%d params:%d", status, static_cast<int>(param1));
        Finish();
        UpgradeJsonStatusCallback(static_cast<int>(status) - 3, -1);
        return -1;
    }
}

bool JsonCtl::QueryState(SocketProtocol &protocol, uint32_t &state, uint32_t &param1)
{
    JsonState answer{0xFFFFFFFFu, 0xFFFFFFFFu, 0};
    if (!protocol.IsOpened() || protocol.GetJsonState(answer) != 0) {
        return false;
    }
    state = answer.state;
    param1 = answer.param1;
    return true;
}

int JsonCtl::SendState(SocketProtocol &protocol, uint32_t state, uint32_t param1, uint32_t param2)
{
    if (!protocol.IsOpened()) {
        return kStatusNotConnected;
    }
    return protocol.SetJsonState(JsonState{state, param1, param2});
}
