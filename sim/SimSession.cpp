// SPDX-License-Identifier: Apache-2.0
// One ToF session of a simulated camera: listeners, clients, request handling and faults.
#include "SimSession.h"

#include "SimCommandSet.h"
#include "runtime/LogCustom.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int kListenBacklog = 4;
constexpr int kPollSliceMs = 100;
constexpr size_t kReceiveChunkBytes = 4096;

using Clock = std::chrono::steady_clock;

void CloseFd(int &fd)
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

/// A non-blocking listening socket on address:port, or -1 with `error` filled.
int Listen(const std::string &address, uint16_t port, std::string &error)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        error = "'" + address + "' is not an IPv4 address";
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = "cannot create a TCP socket: " + ErrnoText(errno);
        return -1;
    }
    const int on = 1;
    // Lets a restarted simulator bind again while connections of the previous run linger.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        listen(fd, kListenBacklog) != 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + ErrnoText(errno);
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

SimSession::SimSession(size_t index, const SimSettings &initial) : m_index(index), m_settings(initial)
{
    SimStreamLink link;
    link.settings = [this] { return Settings(); };
    link.hasClient = [this] {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        return m_dataClient >= 0;
    };
    link.send = [this](const std::vector<uint8_t> &bytes) { return SendData(bytes); };
    link.stopStream = [this] { UpdateSettings([](SimSettings &s) { s.streaming = false; }); };
    link.closeClient = [this] { CloseDataClient(); };
    m_streamer = std::make_unique<SimStreamer>(std::move(link));
}

SimSession::~SimSession()
{
    StopServing();
}

bool SimSession::StartServing(const std::string &address)
{
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    if (m_thread.joinable()) {
        return true;
    }
    std::string error;
    m_commandListen = Listen(address, CommandPort(m_index), error);
    if (m_commandListen >= 0) {
        m_dataListen = Listen(address, DataPort(m_index), error);
    }
    if (m_dataListen < 0) {
        CloseFd(m_commandListen);
        Fail("session " + std::to_string(m_index) + ": " + error);
        return false;
    }
    if (pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int pipeError = errno;
        CloseFd(m_commandListen);
        CloseFd(m_dataListen);
        Fail("session " + std::to_string(m_index) + ": cannot create the wake pipe: " + ErrnoText(pipeError));
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError.clear();
    }
    m_stopping = false;
    m_thread = std::thread(&SimSession::Run, this);
    m_streamer->Start();
    return true;
}

void SimSession::StopServing()
{
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    if (!m_thread.joinable()) {
        return;
    }
    m_stopping = true;
    // A buffer being sent gives up within a poll slice once m_stopping is set.
    m_streamer->Stop();
    const uint8_t wake = 1;
    // The pipe is non-blocking and read only here and by the thread; a full pipe already wakes it.
    (void)!write(m_wakePipe[1], &wake, 1);
    m_thread.join();
    CloseCommandClient(nullptr);
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        CloseDataClientLocked();
    }
    CloseFd(m_commandListen);
    CloseFd(m_dataListen);
    CloseFd(m_wakePipe[0]);
    CloseFd(m_wakePipe[1]);
}

bool SimSession::IsServing() const
{
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    return m_thread.joinable();
}

SimSettings SimSession::Settings() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_settings;
}

void SimSession::UpdateSettings(const std::function<void(SimSettings &)> &update)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    update(m_settings);
}

void SimSession::SetCommandFault(CommandFault fault, int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = count == 0 ? CommandFault::None : fault;
    m_faultCount = count < 0 ? -1 : count;
}

void SimSession::SetReplyDelayMs(unsigned delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replyDelayMs = delayMs;
}

void SimSession::SetHeartbeatAnswered(bool answered)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answerHeartbeat = answered;
}

std::vector<RecordedFrame> SimSession::RecordedFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

void SimSession::ClearRecordedFrames()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.clear();
}

bool SimSession::WaitForFrames(size_t count, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_framesChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return m_frames.size() >= count; });
}

bool SimSession::WaitForDataClient(unsigned timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_dataMutex);
    return m_dataClientChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [&] { return m_dataClient >= 0; });
}

bool SimSession::SendData(const std::vector<uint8_t> &bytes)
{
    // Writers take turns so that buffers never interleave; the serving thread is not held up by a
    // client that reads slowly, since the send works on its own descriptor of the connection.
    std::lock_guard<std::mutex> send(m_sendMutex);
    int fd = -1;
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        if (m_dataClient < 0) {
            return false;
        }
        fd = fcntl(m_dataClient, F_DUPFD_CLOEXEC, 0);
    }
    if (fd < 0) {
        return false;
    }
    const bool sent = SendAll(fd, bytes.data(), bytes.size());
    close(fd);
    return sent;
}

uint64_t SimSession::CommandClientsAccepted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commandClients;
}

std::string SimSession::LastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

void SimSession::Run()
{
    while (!m_stopping) {
        pollfd fds[5] = {{m_wakePipe[0], POLLIN, 0},
                         {m_commandListen, POLLIN, 0},
                         {m_dataListen, POLLIN, 0},
                         {m_commandClient, POLLIN, 0},
                         {m_dataClient, POLLIN, 0}}; // only this thread replaces m_dataClient
        if (poll(fds, 5, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("session " + std::to_string(m_index) + ": poll failed: " + ErrnoText(errno));
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        // Clients first, so that bytes a replaced client sent before the new one came are still served.
        if (fds[3].revents != 0) {
            ReadCommandClient();
        }
        if (fds[4].revents != 0) {
            ReadDataClient();
        }
        if (fds[1].revents != 0) {
            AcceptCommandClient();
        }
        if (fds[2].revents != 0) {
            AcceptDataClient();
        }
    }
}

void SimSession::AcceptCommandClient()
{
    const int fd = accept4(m_commandListen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return; // the client gave up before it was accepted, or a transient error: poll again
    }
    if (m_commandClient >= 0) {
        CloseCommandClient("a new client replaces it");
    }
    m_commandClient = fd;
    m_pending.clear();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_commandClients;
}

void SimSession::AcceptDataClient()
{
    const int fd = accept4(m_dataListen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_dataMutex);
    CloseDataClientLocked();
    m_dataClient = fd;
    m_dataClientChanged.notify_all();
    m_streamer->Wake();
}

void SimSession::ReadCommandClient()
{
    uint8_t chunk[kReceiveChunkBytes];
    const ssize_t received = recv(m_commandClient, chunk, sizeof chunk, 0);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    if (received <= 0) {
        CloseCommandClient(received == 0 ? "the client closed it" : "receive error");
        return;
    }
    m_pending.insert(m_pending.end(), chunk, chunk + received);
    size_t used = 0;
    for (;;) {
        RecordedFrame frame;
        const CommandFrame::ParseResult result =
            CommandFrame::ParseRequest(m_pending.data() + used, m_pending.size() - used, frame);
        if (result.status == CommandFrame::ParseStatus::NeedMore) {
            break;
        }
        if (result.status == CommandFrame::ParseStatus::Garbage) {
            TFLOG("session %zu: dropping the command connection: %s", m_index, result.error.c_str());
            CloseCommandClient(nullptr);
            return;
        }
        used += result.consumed;
        if (!Handle(frame)) {
            return;
        }
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
}

void SimSession::ReadDataClient()
{
    // The host sends nothing on the data connection; whatever comes is read and dropped so that only a
    // close or an error ends the connection.
    uint8_t chunk[kReceiveChunkBytes];
    const ssize_t received = recv(m_dataClient, chunk, sizeof chunk, 0);
    if (received > 0 || (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        CloseDataClientLocked();
    }
    // A camera whose host went away stops streaming until told again.
    UpdateSettings([](SimSettings &s) { s.streaming = false; });
}

void SimSession::CloseDataClient()
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    if (m_dataClient >= 0) {
        // Only the serving thread closes the descriptor it polls; a shutdown makes it see the end.
        shutdown(m_dataClient, SHUT_RDWR);
    }
}

bool SimSession::Handle(const RecordedFrame &frame)
{
    const bool query = (frame.command & SimCommandSet::kQueryBit) != 0;
    const SimHookResult hooked = m_hook ? m_hook(frame) : SimHookResult{};
    std::vector<uint8_t> answer;
    CommandFault fault = CommandFault::None;
    unsigned delayMs = 0;
    bool silent = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (frame.command == SimCommandSet::kHeartbeat && !m_answerHeartbeat) {
            silent = true;
        } else if (query) {
            answer = hooked.kind == SimHookResult::Kind::Reply
                         ? hooked.data
                         : SimCommandSet::AnswerQuery(m_settings, frame.command, frame.payload);
            fault = m_fault;
            if (m_faultCount > 0 && --m_faultCount == 0) {
                m_fault = CommandFault::None;
            }
            delayMs = m_replyDelayMs;
        } else if (hooked.kind == SimHookResult::Kind::Pass) {
            SimCommandSet::ApplySetting(m_settings, frame.command, frame.payload);
        }
        m_frames.push_back(frame);
        m_framesChanged.notify_all();
    }
    if (hooked.kind == SimHookResult::Kind::Close) {
        CloseCommandClient("the camera drops its connections");
        return false;
    }
    if (!query) {
        m_streamer->Wake();
        return true;
    }
    if (silent) {
        return true;
    }
    if (delayMs > 0 && !Delay(delayMs)) {
        return false;
    }
    switch (fault) {
    case CommandFault::NoAnswer:
        return true;
    case CommandFault::CloseConnection:
        CloseCommandClient("fault: close instead of answering");
        return false;
    default:
        break;
    }
    const std::vector<uint8_t> reply = CommandFrame::EncodeReply(frame.command, answer, fault);
    if (!SendAll(m_commandClient, reply.data(), reply.size())) {
        CloseCommandClient("the reply could not be sent");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_repliesSent;
    }
    return true;
}

uint64_t SimSession::RepliesSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_repliesSent;
}

void SimSession::CloseCommandClient(const char *why)
{
    if (m_commandClient < 0) {
        return;
    }
    if (why != nullptr) {
        TFLOG("session %zu: closing the command connection: %s", m_index, why);
    }
    CloseFd(m_commandClient);
    m_pending.clear();
}

void SimSession::CloseDataClientLocked()
{
    CloseFd(m_dataClient);
}

bool SimSession::Delay(unsigned delayMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(delayMs);
    while (!m_stopping) {
        // Rounded up, so that the answer never leaves before the delay is over.
        const auto leftMs = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (leftMs <= 0) {
            return true;
        }
        pollfd wake{m_wakePipe[0], POLLIN, 0};
        poll(&wake, 1, static_cast<int>(leftMs));
    }
    return false;
}

bool SimSession::SendAll(int fd, const uint8_t *data, size_t size)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    size_t sent = 0;
    while (sent < size) {
        if (m_stopping || Clock::now() >= deadline) {
            return false;
        }
        const ssize_t count = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (count > 0) {
            sent += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        // Slices keep a stop prompt while the client does not read.
        pollfd out{fd, POLLOUT, 0};
        poll(&out, 1, kPollSliceMs);
    }
    return true;
}

void SimSession::Fail(const std::string &message)
{
    TFLOG("%s", message.c_str());
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = message;
}
