// SPDX-License-Identifier: Apache-2.0
// CameraStateWorker: the shape the firmware and JSON configuration workers share: their own connection
// to the camera, a status, the application's callback, and a poll loop that follows the camera's states.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "Orvane_api.h"
#include "protocol/SessionInfo.h"
#include "runtime/Mutex.h"
#include "runtime/StoppableThread.h"
#include "transfer/WebServer.h"

class SocketProtocol;

/// A worker polls its camera every 100 ms over a connection of its own and reports every step to the
/// application's status callback, which is always called with no lock held (it may call the API, also
/// from inside the report). Every way a job ends (success, failure, time-out, out-of-range state, a
/// stop) releases the job's server registration, closes the worker's connection and sets status 0.
/// Stopping the worker closes its connection first, so a transaction in progress returns at once and
/// joining does not wait for it.
class CameraStateWorker : public StoppableThread
{
public:
    using StatusCallback = TfUpgradeStatusCallback;
    static constexpr unsigned kPollMs = 100;

    ~CameraStateWorker() override;

    uint32_t Status() const EXCLUDES(m_mutex);
    /// Claims the idle worker for a job about to start, so that two callers cannot both pass the idle
    /// check: false while a job runs or another caller holds the claim. SetStatus(1) or
    /// CancelReservation ends the claim.
    bool TryReserve() EXCLUDES(m_mutex);
    void CancelReservation() EXCLUDES(m_mutex);
    /// Logs "m_Status:%d -> %d". Status 1 starts a job: the thread is stopped and joined (unless this is
    /// the worker's own thread, which then simply goes on) and started again.
    void SetStatus(uint32_t status) EXCLUDES(m_mutex);
    void SetCallback(StatusCallback callback) EXCLUDES(m_mutex);
    StatusCallback GetCallback() const EXCLUDES(m_mutex);
    /// How the worker reaches its camera (linkType 0: not known yet).
    SessionInfo GetSessionInfo() const EXCLUDES(m_mutex);
    /// True while the worker holds an open connection to its camera.
    bool IsConnected() const EXCLUDES(m_mutex);
    /// Ends the job of a camera whose handle is closed: with a connection and outside the protected
    /// statuses (a camera writing its firmware or applying its configuration is left to finish), the
    /// camera is asked to reboot and the job ends without a report. Otherwise nothing changes.
    void RebootAndrm_() EXCLUDES(m_mutex);
    /// Stops the thread and ends a running job without a report (shutdown).
    void Halt() EXCLUDES(m_mutex);

protected:
    /// Follows camera states `state` at statuses `state + followOffset` from `followFirst` up to 9;
    /// statuses from `protectedFirst` to 9 are never interrupted by a closed handle.
    struct Shape
    {
        const char *threadName;
        WebServer::Purpose purpose;
        uint32_t followFirst;
        uint32_t followOffset;
        uint32_t protectedFirst;
        /// Consecutive failed connection attempts that end the job (0: only the time-out does).
        int connectTries;
        const std::atomic<unsigned> *noProgressLimitMs;
    };
    explicit CameraStateWorker(const Shape &shape);

    /// What a round decided.
    enum class Step
    {
        kSleep,    ///< poll again after 100 ms
        kContinue, ///< go on at once with the new status
        kEnd,      ///< the job is over (its end has been handled)
    };

    /// The rounds of the statuses between "connected" (2) and the followed ones.
    virtual Step OwnRound(uint32_t status) = 0;
    /// Acts on a new camera state at `status`: 0 goes on, non-zero ends the job (already handled).
    virtual int ProcessStatus(uint32_t status, uint32_t param1) = 0;
    /// The camera's state of this kind; false when the query failed or the connection is gone.
    virtual bool QueryState(SocketProtocol &protocol, uint32_t &state, uint32_t &param1) = 0;
    virtual int SendState(SocketProtocol &protocol, uint32_t state, uint32_t param1, uint32_t param2) = 0;

    /// Calls the application's callback (no lock held); false when none is registered.
    bool Report(int status, int params) EXCLUDES(m_mutex);
    /// The connection, shared so that a stop can close it while a transaction runs.
    std::shared_ptr<SocketProtocol> Connection() const EXCLUDES(m_mutex);
    void SetSessionInfo(const SessionInfo &info) EXCLUDES(m_mutex);
    /// Starts the thread when the status is `status` and no thread runs.
    void StartIfWaiting(uint32_t status) EXCLUDES(m_mutex);
    /// Sets `next` only while the status is still `expected`; false otherwise.
    bool ChangeStatus(uint32_t expected, uint32_t next) EXCLUDES(m_mutex);
    /// Asks the camera to reboot, then ends the job (server job released, connection closed, status 0).
    void RebootAndrm() EXCLUDES(m_mutex);
    /// Ends the job without rebooting the camera.
    void Finish() EXCLUDES(m_mutex);
    /// Waits for the camera to report itself ready (state 0, param1 1); then sets `next`, remembers the
    /// answer as the last state and returns true.
    Step WaitReady(uint32_t status, uint32_t next, bool &becameReady);
    /// Sends the length and checksum (camera state 2); failure reports (4, -1) and reboots the camera.
    Step SendChecksum(uint32_t next, uint32_t checksum, uint32_t length);
    void ResetCount() { m_waitCount = 0; }
    void CountNoProgress() { ++m_waitCount; }
    bool IsWorkerThread() const { return m_workerThread.load() == std::this_thread::get_id(); }

    void Run() override;

    mutable Mutex m_mutex;

private:
    Step Round(uint32_t status);
    Step Connect();
    Step Follow(uint32_t status);
    /// Opens a new connection from the stored SessionInfo: 0 and status 2, or the failure code.
    int OpenDevice_P() EXCLUDES(m_mutex);
    /// Closes and forgets the connection.
    void CloseConnection() EXCLUDES(m_mutex);
    /// Stop and join, closing the connection so the thread cannot be held by a transaction.
    void StopThread() EXCLUDES(m_mutex);

    const Shape m_shape;
    uint32_t m_status GUARDED_BY(m_mutex) = 0;
    bool m_reserved GUARDED_BY(m_mutex) = false;
    std::shared_ptr<SocketProtocol> m_protocol GUARDED_BY(m_mutex);
    StatusCallback m_callback GUARDED_BY(m_mutex) = nullptr;
    SessionInfo m_info GUARDED_BY(m_mutex);
    /// Serialises starting, stopping and joining the thread (the API and device manager threads).
    Mutex m_controlMutex;
    std::atomic<std::thread::id> m_workerThread{};

    // The worker thread's own bookkeeping, reset when a job starts.
    int m_waitCount = 0;
    int m_connectFailures = 0;
    uint32_t m_lastState = 0;
    uint32_t m_lastParam1 = 0;
};
