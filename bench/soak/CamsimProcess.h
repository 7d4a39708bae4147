// SPDX-License-Identifier: Apache-2.0
// One orvane-camsim child process, steered through its standard input, that never outlives the benchmark.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class CamsimProcess
{
public:
    using Clock = std::chrono::steady_clock;

    CamsimProcess() = default;
    ~CamsimProcess();
    CamsimProcess(const CamsimProcess &) = delete;
    CamsimProcess &operator=(const CamsimProcess &) = delete;

    /// Starts `path` with `arguments` and waits for its "ready" line; false when it cannot be started.
    /// The child gets SIGTERM should this process die first, and is ended by KillAll on a signal.
    bool Start(const std::string &path, const std::vector<std::string> &arguments);

    /// Sends one command line and waits for its answer's last line ("ok" or an error).
    bool Command(const std::string &command);

    /// Closes its input (it exits), waits up to two seconds, then kills it.
    void Stop();

    /// CPU seconds (user and system) the child has used so far, 0 once stopped.
    double CpuSeconds() const;

    pid_t Pid() const { return m_pid; }
    /// When it printed "ready": its stream clock (the zero of the timestamps it sends) starts just before.
    Clock::time_point ReadyAt() const { return m_readyAt; }

    /// Kills every child still running; safe in a signal handler.
    static void KillAll();

private:
    bool ReadLine(std::string &line, int timeoutMs);

    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_pending;
    Clock::time_point m_readyAt;
};
