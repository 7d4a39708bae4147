// SPDX-License-Identifier: Apache-2.0
// TransferProgress: the worker that follows one calibration file transfer by polling the camera, reports
// each answer to the transfer's callback and ends it with exactly one final report.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "protocol/ProtocolTypes.h"

/// Owned by the protocol it polls for, and joined by it (never detached). The protocol marks itself busy
/// before Start; the worker marks it idle before its final report, so that the application may start the
/// next transfer as soon as it hears the end of one, also from inside that report.
/// Between polls it waits kPollPeriodMs. Every answer reaches the callback (type, index, status) except
/// that the transfer ends with one final report: the camera's status 1 ("transfer OK") or 0 ("transfer
/// NG"), or a synthesized (type, index, 0) when a poll fails, the device closes, or the camera's answer
/// has not changed for the no-progress limit. Callbacks run on the worker's thread with no lock held.
class TransferProgress
{
public:
    /// One progress query of `request` (2 bytes); fills `reply` (4 bytes); the transaction's status.
    using Poll = std::function<int(uint8_t *request, uint8_t *reply)>;

    static constexpr uint32_t kPollPeriodMs = 100;
    static constexpr uint32_t kDefaultNoProgressLimitMs = 60000;

    TransferProgress(Poll poll, std::function<bool()> opened, std::function<void()> markIdle);
    ~TransferProgress();
    TransferProgress(const TransferProgress &) = delete;
    TransferProgress &operator=(const TransferProgress &) = delete;

    /// Starts the worker for a copy of `params`; it releases the server job `jobId` at its end. Joins an
    /// earlier worker, which has marked the protocol idle and is returning.
    void Start(const FileTransferParams &params, int jobId);
    /// Ends the wait between polls at once (the device is closing: the worker sees it and ends).
    void Wake();
    /// Waits until the worker's thread has ended. Not from the worker itself (then it does nothing).
    void Join();
    /// Whether the caller is one of this protocol's workers (a callback calling back into the protocol).
    bool OnWorkerThread() const;

    /// How long an unchanged answer is waited on before the transfer is given up (tests shorten it).
    static void SetNoProgressLimitMs(uint32_t ms);

private:
    void Run(FileTransferParams params, int jobId);
    /// Waits one poll period, or less when woken; false once the device is closed.
    bool WaitForNextPoll();

    Poll m_poll;
    std::function<bool()> m_opened;
    std::function<void()> m_markIdle;
    std::mutex m_threadMutex;
    std::thread m_thread; // guarded by m_threadMutex; joined outside it
    /// Workers that started their successor from their final report; joined by Join or the next Start.
    std::vector<std::thread> m_finished; // guarded by m_threadMutex
    std::mutex m_waitMutex;
    std::condition_variable m_wake; // with m_waitMutex
    static std::atomic<uint32_t> s_noProgressLimitMs;
};
