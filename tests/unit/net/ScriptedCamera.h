// SPDX-License-Identifier: Apache-2.0
// ScriptedCamera: a camera end for the protocol tests on ephemeral loopback ports, answering every query
// through a script and recording every request.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "PeerSockets.h"
#include "TestSupport.h"
#include "protocol/SessionInfo.h"

namespace orvtest {

/// Session 0 of a camera end on 127.0.0.1 at the given ports.
inline SessionInfo LoopbackSession(uint16_t cmdPort, uint16_t dataPort)
{
    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = kLoopback;
    info.cmdPort = cmdPort;
    info.dataPort = dataPort;
    info.deviceType = 520;
    return info;
}

/// A camera end answering every query through a script, and recording every request.
class ScriptedCamera
{
public:
    using Answer = std::function<std::vector<uint8_t>(const Request &)>;

    ScriptedCamera() = default;
    ~ScriptedCamera() { Stop(); }
    ScriptedCamera(const ScriptedCamera &) = delete;
    ScriptedCamera &operator=(const ScriptedCamera &) = delete;

    uint16_t CmdPort() const { return m_cmdListener.Port(); }
    uint16_t DataPort() const { return m_dataListener.Port(); }

    void SetAnswer(Answer answer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answer = std::move(answer);
    }

    /// Accepts both connections (after the protocol opened them) and serves requests until closed.
    void Serve()
    {
        m_cmd = m_cmdListener.Accept();
        m_data = m_dataListener.Accept();
        m_thread = std::thread([this] {
            for (;;) {
                Request request = ReadRequest(m_cmd, 10000);
                if (request.header.size() != 11) {
                    return;
                }
                Answer answer;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_requests.push_back(request);
                    answer = m_answer;
                }
                if ((request.Command() & 0x80) != 0) {
                    m_cmd.Send(ReplyFrame(answer ? answer(request) : std::vector<uint8_t>{}));
                }
            }
        });
    }

    void Stop()
    {
        if (m_thread.joinable()) {
            ::shutdown(m_cmd.Fd(), SHUT_RDWR);
            m_thread.join();
        }
    }

    std::vector<Request> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    /// The requests seen so far, once `count` have arrived (settings return before the camera reads).
    std::vector<Request> AwaitRequests(size_t count)
    {
        orvtest::WaitUntil([&] { return Requests().size() >= count; });
        return Requests();
    }

private:
    Listener m_cmdListener;
    Listener m_dataListener;
    Peer m_cmd;
    Peer m_data;
    std::thread m_thread;
    std::mutex m_mutex;
    Answer m_answer;                 // guarded by m_mutex
    std::vector<Request> m_requests; // guarded by m_mutex
};

} // namespace orvtest
