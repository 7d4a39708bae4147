// SPDX-License-Identifier: Apache-2.0
// Base class of every long-running worker: one OS thread running the derived class's Run loop.
#pragma once

#include "runtime/XnOS.h"

#include <atomic>
#include <string>

/// A worker's Run loops while IsRunning() and returns once Stop() has been called. Start, Stop and Join
/// are called from one controlling thread. A derived class whose Run uses its own members must Stop and
/// Join in its own destructor: by the time this destructor runs those members are gone.
class StoppableThread
{
public:
    explicit StoppableThread(const char *name);
    virtual ~StoppableThread();
    StoppableThread(const StoppableThread &) = delete;
    StoppableThread &operator=(const StoppableThread &) = delete;

    /// Starts the thread unless one exists already (then it logs and changes nothing). Always returns 0;
    /// a failed start shows as IsRunning() == false.
    int Start();
    /// Asks Run to return and wakes WaitForStop; does not wait for the thread.
    void Stop();
    /// Waits up to 1155 ms for the thread to end, then cancels it; the thread can be started again after.
    void Join();
    bool IsRunning() const { return m_state.load() == kStateRunning; }
    const std::string &GetName() const { return m_name; }

    /// How long Join waits for Run to return before cancelling the thread.
    static constexpr uint32_t kJoinTimeoutMs = 1155;

protected:
    virtual void Run() = 0;
    /// Sleeps up to timeoutMs; returns true at once when a stop has been requested, false on time-out.
    bool WaitForStop(unsigned timeoutMs);

private:
    static constexpr int kStateNeverStarted = -1;
    static constexpr int kStateStopRequested = 0;
    static constexpr int kStateRunning = 1;

    static void *ThreadFunc(void *param);
    int HandleId() const;

    XN_THREAD_HANDLE mPtrThreadHandle = nullptr; // owned; touched only by the controlling thread
    std::atomic<int> m_state{kStateNeverStarted};
    std::string m_name;
    // Manual-reset: set by Stop, cleared by Start, so a Stop just before a wait is not missed.
    XN_EVENT_HANDLE m_stopEvent = nullptr;
};
