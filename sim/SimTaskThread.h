// SPDX-License-Identifier: Apache-2.0
// SimTaskThread: one thread that runs a camera's slow work (fetches, uploads, reboots, state steps) in
// the order it was posted, so that the threads serving connections never wait for it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/// The thread starts with the first task. Stop drops what has not started, wakes the running task's
/// sleeps and joins; a task must check SleepFor's answer (or Stopping()) to end early.
class SimTaskThread
{
public:
    SimTaskThread() = default;
    ~SimTaskThread();
    SimTaskThread(const SimTaskThread &) = delete;
    SimTaskThread &operator=(const SimTaskThread &) = delete;

    void Post(std::function<void()> task);
    /// Drops the pending tasks (the running one goes on until it checks) and waits for the thread.
    void Stop();
    /// Drops the tasks that have not started.
    void DropPending();
    /// Sleeps for delayMs; false at once when the thread is stopping.
    bool SleepFor(unsigned delayMs);
    bool Stopping() const;

private:
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed; // signalled under m_mutex when a task comes or a stop begins
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread; // started by the first Post; joined by Stop
};
