// SPDX-License-Identifier: Apache-2.0
// SimTaskThread: a queue of tasks and the thread that runs them.
#include "SimTaskThread.h"

#include <chrono>

SimTaskThread::~SimTaskThread()
{
    Stop();
}

void SimTaskThread::Post(std::function<void()> task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) {
        return;
    }
    m_tasks.push_back(std::move(task));
    if (!m_thread.joinable()) {
        m_thread = std::thread(&SimTaskThread::Run, this);
    }
    m_changed.notify_all();
}

void SimTaskThread::Stop()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_tasks.clear();
        thread = std::move(m_thread);
        m_changed.notify_all();
    }
    if (thread.joinable()) {
        thread.join();
    }
}

void SimTaskThread::DropPending()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tasks.clear();
}

bool SimTaskThread::SleepFor(unsigned delayMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return m_stopping; });
}

bool SimTaskThread::Stopping() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping;
}

void SimTaskThread::Run()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_stopping) {
                return;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}
