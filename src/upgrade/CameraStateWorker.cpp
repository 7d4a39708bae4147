// SPDX-License-Identifier: Apache-2.0
// CameraStateWorker: the poll loop, the connection, the job's end and the reports of the upgrade workers.
#include "upgrade/CameraStateWorker.h"

#include <algorithm>

#include "net/SocketProtocol.h"
#include "runtime/LogCustom.h"

namespace {
/// The camera's "ready" answer: state 0 with param1 1.
constexpr uint32_t kReadyState = 0;
constexpr uint32_t kReadyParam = 1;
constexpr uint32_t kLastStatus = 9;
} // namespace

CameraStateWorker::CameraStateWorker(const Shape &shape) : StoppableThread(shape.threadName), m_shape(shape)
{
}

CameraStateWorker::~CameraStateWorker()
{
    Halt();
}

uint32_t CameraStateWorker::Status() const
{
    MutexLock lock(m_mutex);
    return m_status;
}

void CameraStateWorker::SetStatus(uint32_t status)
{
    if (status != 1 || IsWorkerThread()) {
        MutexLock lock(m_mutex);
        TFLOG("m_Status:%d -> %d", m_status, status);
        m_status = status;
        if (status == 1) {
            m_reserved = false;
            // A new job begun from inside a report: the loop goes on with it.
            m_waitCount = m_connectFailures = 0;
            m_lastState = m_lastParam1 = 0;
        }
        return;
    }
    MutexLock control(m_controlMutex);
    StopThread();
    CloseConnection();
    {
        MutexLock lock(m_mutex);
        TFLOG("m_Status:%d -> %d", m_status, status);
        m_status = status;
        m_reserved = false;
    }
    m_waitCount = m_connectFailures = 0;
    m_lastState = m_lastParam1 = 0;
    Start();
}

bool CameraStateWorker::TryReserve()
{
    MutexLock lock(m_mutex);
    if (m_status != 0 || m_reserved) {
        return false;
    }
    m_reserved = true;
    return true;
}

void CameraStateWorker::CancelReservation()
{
    MutexLock lock(m_mutex);
    m_reserved = false;
}

bool CameraStateWorker::ChangeStatus(uint32_t expected, uint32_t next)
{
    MutexLock lock(m_mutex);
    if (m_status != expected) {
        return false;
    }
    TFLOG("m_Status:%d -> %d", m_status, next);
    m_status = next;
    return true;
}

void CameraStateWorker::SetCallback(StatusCallback callback)
{
    MutexLock lock(m_mutex);
    m_callback = callback;
}

CameraStateWorker::StatusCallback CameraStateWorker::GetCallback() const
{
    MutexLock lock(m_mutex);
    return m_callback;
}

SessionInfo CameraStateWorker::GetSessionInfo() const
{
    MutexLock lock(m_mutex);
    return m_info;
}

bool CameraStateWorker::IsConnected() const
{
    MutexLock lock(m_mutex);
    return m_protocol != nullptr;
}

std::shared_ptr<SocketProtocol> CameraStateWorker::Connection() const
{
    MutexLock lock(m_mutex);
    return m_protocol;
}

void CameraStateWorker::SetSessionInfo(const SessionInfo &info)
{
    MutexLock lock(m_mutex);
    if (&info != &m_info) {
        m_info = info;
    }
}

void CameraStateWorker::StartIfWaiting(uint32_t status)
{
    if (IsWorkerThread()) {
        return;
    }
    MutexLock control(m_controlMutex);
    if (Status() == status && !IsRunning()) {
        Start();
    }
}

bool CameraStateWorker::Report(int status, int params)
{
    const StatusCallback callback = GetCallback();
    if (callback == nullptr) {
        return false;
    }
    callback(status, params);
    return true;
}

void CameraStateWorker::CloseConnection()
{
    std::shared_ptr<SocketProtocol> protocol;
    {
        MutexLock lock(m_mutex);
        protocol = std::move(m_protocol);
    }
    if (protocol) {
        protocol->CloseDevice();
    }
}

void CameraStateWorker::Finish()
{
    WebServer::getInstance()->ReleasePurpose(m_shape.purpose);
    {
        MutexLock lock(m_mutex);
        TFLOG("m_Status:%d -> %d", m_status, 0);
        m_status = 0;
    }
    CloseConnection();
}

void CameraStateWorker::RebootAndrm()
{
    WebServer::getInstance()->ReleasePurpose(m_shape.purpose);
    if (std::shared_ptr<SocketProtocol> protocol = Connection()) {
        protocol->RebootCamera();
    }
    Finish();
}

void CameraStateWorker::StopThread()
{
    Stop();
    // A transaction in progress returns as soon as its connection is shut.
    if (std::shared_ptr<SocketProtocol> protocol = Connection()) {
        protocol->CloseDevice();
    }
    Join();
}

void CameraStateWorker::Halt()
{
    if (IsWorkerThread()) {
        Finish();
        return;
    }
    MutexLock control(m_controlMutex);
    StopThread();
    if (Status() != 0) {
        Finish();
    }
    CloseConnection();
}

void CameraStateWorker::RebootAndrm_()
{
    auto interruptible = [this]() {
        MutexLock lock(m_mutex);
        return m_protocol != nullptr && m_status != 0 &&
               (m_status < m_shape.protectedFirst || m_status > kLastStatus);
    };
    if (IsWorkerThread()) {
        if (interruptible()) {
            RebootAndrm();
        }
        return;
    }
    MutexLock control(m_controlMutex);
    if (!interruptible()) {
        return;
    }
    StopThread();
    const uint32_t status = Status();
    if (status == 0) {
        return;
    }
    const bool resume = status >= m_shape.protectedFirst && status <= kLastStatus;
    // The stop shut the worker's connection: a new one asks for the reboot, or carries on a camera that
    // reached a protected status meanwhile.
    if (OpenDevice_P() == 0 && resume) {
        Start();
        return;
    }
    RebootAndrm();
}

int CameraStateWorker::OpenDevice_P()
{
    SessionInfo info;
    {
        MutexLock lock(m_mutex);
        info = m_info;
    }
    auto protocol = std::make_shared<SocketProtocol>(info);
    const int ret = protocol->OpenDevice();
    if (ret != 0) {
        TFLOG("%s::OpenDevice failed ret:%d", m_shape.threadName, ret);
        return ret;
    }
    std::shared_ptr<SocketProtocol> old;
    {
        MutexLock lock(m_mutex);
        old = std::move(m_protocol);
        m_protocol = protocol;
        if (m_status == 1) {
            TFLOG("m_Status:%d -> %d", m_status, 2);
            m_status = 2;
        }
    }
    if (old) {
        old->CloseDevice();
    }
    return 0;
}

void CameraStateWorker::Run()
{
    m_workerThread.store(std::this_thread::get_id());
    while (IsRunning()) {
        const uint32_t status = Status();
        const unsigned limitPolls = std::max(1u, m_shape.noProgressLimitMs->load() / kPollMs);
        Step step;
        if (status != 0 && m_waitCount >= static_cast<int>(limitPolls)) {
            TFLOG("timeout on status:%d ", status);
            const int reported = static_cast<int>(m_lastState) + 2;
            if (IsConnected()) {
                RebootAndrm();
            } else {
                Finish();
            }
            ResetCount();
            Report(reported, -1);
            step = Step::kEnd;
        } else {
            step = Round(status);
        }
        if (step == Step::kEnd) {
            // A report may have begun the next job already; the loop carries it.
            if (Status() != 0) {
                continue;
            }
            break;
        }
        if (step == Step::kSleep && WaitForStop(kPollMs)) {
            break;
        }
    }
    m_workerThread.store(std::thread::id());
}

CameraStateWorker::Step CameraStateWorker::Round(uint32_t status)
{
    if (status == 0) {
        ResetCount();
        return Step::kEnd;
    }
    if (status == 1) {
        return Connect();
    }
    if (status >= m_shape.followFirst && status <= kLastStatus) {
        return Follow(status);
    }
    return OwnRound(status);
}

CameraStateWorker::Step CameraStateWorker::Connect()
{
    bool known = false;
    {
        MutexLock lock(m_mutex);
        known = m_info.linkType != 0;
    }
    if (!known) {
        // Waiting for the device manager to see the camera again; this counts toward the bound.
        CountNoProgress();
        return Step::kSleep;
    }
    if (OpenDevice_P() == 0) {
        ResetCount();
        m_connectFailures = 0;
        return Step::kContinue;
    }
    ++m_connectFailures;
    TFLOG("try:%d", m_connectFailures);
    CountNoProgress();
    if (m_shape.connectTries > 0 && m_connectFailures >= m_shape.connectTries) {
        Finish();
        Report(2, -1);
        return Step::kEnd;
    }
    return Step::kSleep;
}

CameraStateWorker::Step CameraStateWorker::WaitReady(uint32_t status, uint32_t next, bool &becameReady)
{
    becameReady = false;
    uint32_t state = 0;
    uint32_t param1 = 0;
    std::shared_ptr<SocketProtocol> protocol = Connection();
    if (protocol && QueryState(*protocol, state, param1) && state == kReadyState && param1 == kReadyParam) {
        ResetCount();
        // The ready answer is the last state seen: a camera that still answers it has not moved on.
        m_lastState = kReadyState;
        m_lastParam1 = kReadyParam;
        becameReady = ChangeStatus(status, next);
        return Step::kContinue;
    }
    CountNoProgress();
    return Step::kSleep;
}

CameraStateWorker::Step CameraStateWorker::SendChecksum(uint32_t next, uint32_t checksum, uint32_t length)
{
    const uint32_t status = Status();
    std::shared_ptr<SocketProtocol> protocol = Connection();
    if (!protocol || SendState(*protocol, 2, checksum, length) != 0) {
        TFLOG("send Checksum failed.");
        RebootAndrm();
        Report(4, -1);
        return Step::kEnd;
    }
    ResetCount();
    ChangeStatus(status, next);
    return Step::kSleep;
}

CameraStateWorker::Step CameraStateWorker::Follow(uint32_t status)
{
    uint32_t state = 0;
    uint32_t param1 = 0;
    std::shared_ptr<SocketProtocol> protocol = Connection();
    const bool answered = protocol && QueryState(*protocol, state, param1);
    TFLOG("WaitCount:%d state:%d,%d temp:%d, %d", m_waitCount, m_lastState, m_lastParam1, state, param1);
    if (!answered || (state == m_lastState && param1 == m_lastParam1)) {
        CountNoProgress();
        return Step::kSleep;
    }
    if (m_lastState == 3 && m_lastParam1 <= 99 && state == 4 && param1 == 1) {
        Report(5, 100);
    }
    const uint32_t next = state + m_shape.followOffset;
    if (next != status) {
        TFLOG("%d   %d", status, next);
        if (!ChangeStatus(status, next)) {
            return Step::kEnd; // the job was ended meanwhile
        }
    }
    const int result = ProcessStatus(next, param1);
    ResetCount();
    m_lastState = state;
    m_lastParam1 = param1;
    return result != 0 ? Step::kEnd : Step::kSleep;
}
