// SPDX-License-Identifier: Apache-2.0
// TransferProgress: the polling loop, its bounds and its one final report.
#include "net/TransferProgress.h"

#include <array>
#include <chrono>
#include <cstring>
#include <utility>

#include "runtime/LogCustom.h"
#include "transfer/WebServer.h"

std::atomic<uint32_t> TransferProgress::s_noProgressLimitMs{kDefaultNoProgressLimitMs};

TransferProgress::TransferProgress(Poll poll, std::function<bool()> opened, std::function<void()> markIdle)
    : m_poll(std::move(poll)), m_opened(std::move(opened)), m_markIdle(std::move(markIdle))
{
}

TransferProgress::~TransferProgress()
{
    Join();
}

void TransferProgress::SetNoProgressLimitMs(uint32_t ms)
{
    s_noProgressLimitMs.store(ms);
}

namespace {
/// The worker the calling thread runs for, if any.
thread_local const TransferProgress *t_worker = nullptr;
} // namespace

bool TransferProgress::OnWorkerThread() const
{
    return t_worker == this;
}

void TransferProgress::Start(const FileTransferParams &params, int jobId)
{
    std::vector<std::thread> ended;
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        if (m_thread.joinable()) {
            m_finished.push_back(std::move(m_thread));
        }
        m_thread = std::thread(&TransferProgress::Run, this, params, jobId);
        if (!OnWorkerThread()) {
            ended.swap(m_finished);
        }
    }
    // The previous worker has marked the protocol idle and is at most delivering its final report.
    for (std::thread &thread : ended) {
        thread.join();
    }
}

void TransferProgress::Wake()
{
    std::lock_guard<std::mutex> lock(m_waitMutex);
    m_wake.notify_all();
}

void TransferProgress::Join()
{
    if (OnWorkerThread()) {
        return;
    }
    std::vector<std::thread> ending;
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        ending.swap(m_finished);
        if (m_thread.joinable()) {
            ending.push_back(std::move(m_thread));
        }
    }
    for (std::thread &thread : ending) {
        thread.join();
    }
}

bool TransferProgress::WaitForNextPoll()
{
    std::unique_lock<std::mutex> lock(m_waitMutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(kPollPeriodMs), [this] { return !m_opened(); });
}

void TransferProgress::Run(FileTransferParams params, int jobId)
{
    t_worker = this;
    const auto type = static_cast<uint8_t>(params.type);
    const uint8_t index = (type == 5 || type == 6) ? params.index : 0;
    // The final report; a camera's own 0 or 1 replaces this synthesized failure.
    std::array<uint8_t, 3> report = {type, index, 0};
    std::array<uint8_t, 3> last{};
    bool answered = false;
    auto lastChange = std::chrono::steady_clock::now();
    const auto limit = std::chrono::milliseconds(s_noProgressLimitMs.load());
    for (;;) {
        if (!WaitForNextPoll()) {
            TFLOG("device is not opened.");
            break;
        }
        uint8_t request[2] = {type, index};
        uint8_t reply[4] = {};
        const int ret = m_poll(request, reply);
        if (ret != 0) {
            TFLOG("ret:%d is failed.", ret);
            break;
        }
        const std::array<uint8_t, 3> answer = {reply[0], reply[1], reply[2]};
        const auto status = static_cast<int8_t>(reply[2]);
        if (status == 0 || status == 1) {
            report = answer;
            break;
        }
        if (params.callback != nullptr) {
            params.callback(answer[0], answer[1], status, params.userData);
        }
        const auto now = std::chrono::steady_clock::now();
        if (!answered || answer != last) {
            answered = true;
            last = answer;
            lastChange = now;
        } else if (now - lastChange >= limit) {
            TFLOG("no progress for %u ms: the transfer is given up.", static_cast<unsigned>(limit.count()));
            break;
        }
    }
    WebServer::getInstance()->ReleaseJob(jobId);
    if (report[2] == 1) {
        TFLOG("transfer OK");
    } else {
        TFLOG("transfer NG");
    }
    // Idle first: the application may start its next transfer when it hears this one's end. The
    // protocol joins this thread before it goes away, so the report below is still delivered.
    m_markIdle();
    if (params.callback != nullptr) {
        params.callback(report[0], report[1], static_cast<int8_t>(report[2]), params.userData);
    }
}
