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

void TransferProgress::Start(const FileTransferParams &params, int jobId)
{
    std::thread previous;
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        previous = std::move(m_thread);
        m_thread = std::thread(&TransferProgress::Run, this, params, jobId);
    }
    if (previous.joinable()) {
        previous.join();
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
    std::thread ending;
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        ending = std::move(m_thread);
    }
    if (ending.joinable()) {
        ending.join();
    }
}

bool TransferProgress::WaitForNextPoll()
{
    std::unique_lock<std::mutex> lock(m_waitMutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(kPollPeriodMs), [this] { return !m_opened(); });
}

void TransferProgress::Run(FileTransferParams params, int jobId)
{
    m_workerId.store(std::this_thread::get_id());
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
    if (params.callback != nullptr) {
        params.callback(report[0], report[1], static_cast<int8_t>(report[2]), params.userData);
    }
    m_workerId.store(std::thread::id());
    m_markIdle();
}
