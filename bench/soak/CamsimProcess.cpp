// SPDX-License-Identifier: Apache-2.0
// One orvane-camsim child process, steered through its standard input, that never outlives the benchmark.
#include "CamsimProcess.h"
#include "ProcessProbe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr size_t kMaxChildren = 64;
constexpr int kReplyTimeoutMs = 8000;
constexpr int kExitWaitMs = 2000;

// Read by a signal handler: plain atomics, no allocation.
std::atomic<pid_t> g_children[kMaxChildren];

void Remember(pid_t pid)
{
    for (std::atomic<pid_t> &slot : g_children) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) {
            return;
        }
    }
}

void Forget(pid_t pid)
{
    for (std::atomic<pid_t> &slot : g_children) {
        pid_t expected = pid;
        slot.compare_exchange_strong(expected, 0);
    }
}

} // namespace

CamsimProcess::~CamsimProcess()
{
    Stop();
}

void CamsimProcess::KillAll()
{
    for (std::atomic<pid_t> &slot : g_children) {
        const pid_t pid = slot.load();
        if (pid > 0) {
            kill(pid, SIGKILL);
        }
    }
}

bool CamsimProcess::Start(const std::string &path, const std::vector<std::string> &arguments)
{
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) {
        return false;
    }
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return false;
    }
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(path.c_str()));
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // Should the benchmark die without cleaning up, the simulator ends with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_input = toChild[1];
    m_output = fromChild[0];
    if (m_pid < 0) {
        return false;
    }
    Remember(m_pid);
    std::string line;
    while (ReadLine(line, kReplyTimeoutMs)) {
        if (line == "ready") {
            m_readyAt = Clock::now();
            return true;
        }
    }
    return false;
}

bool CamsimProcess::Command(const std::string &command)
{
    const std::string text = command + "\n";
    if (m_input < 0 || write(m_input, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        return false;
    }
    std::string line;
    while (ReadLine(line, kReplyTimeoutMs)) {
        if (line == "ok") {
            return true;
        }
        if (line.rfind("error", 0) == 0) {
            std::fprintf(stderr, "camsim: %s: %s\n", command.c_str(), line.c_str());
            return false;
        }
    }
    return false;
}

void CamsimProcess::Stop()
{
    if (m_input >= 0) {
        close(m_input); // end of input: it exits (--exit-on-eof)
        m_input = -1;
    }
    if (m_pid > 0) {
        int status = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kExitWaitMs);
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            poll(nullptr, 0, 20);
        }
        Forget(m_pid);
        m_pid = -1;
    }
    if (m_output >= 0) {
        close(m_output);
        m_output = -1;
    }
}

double CamsimProcess::CpuSeconds() const
{
    return m_pid > 0 ? ProcessProbe::StatCpuSeconds("/proc/" + std::to_string(m_pid) + "/stat") : 0.0;
}

bool CamsimProcess::ReadLine(std::string &line, int timeoutMs)
{
    line.clear();
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return true;
        }
        pollfd fd{m_output, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t count = read(m_output, buffer, sizeof buffer);
        if (count <= 0) {
            return false;
        }
        m_pending.append(buffer, static_cast<size_t>(count));
    }
}
