// SPDX-License-Identifier: Apache-2.0
// One ToF session of a simulated camera: its settings, its command and data connections and the
// thread that serves them.
#pragma once

#include "CommandFrame.h"
#include "SimCommandHook.h"
#include "SimSettings.h"
#include "SimStreamer.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// Session i listens on TCP 9008 + 10·i (commands) and 9009 + 10·i (data) of its camera's address and
/// serves one client per connection at a time: a new client replaces the old one. One thread polls
/// both listeners, both clients and a wake pipe, so Stop returns within a poll round. The stream
/// thread (SimStreamer) writes its buffers through SendData, as a test may; it runs while the session
/// serves and sends while the `streaming` setting is on. A data client that closes its connection ends
/// the stream, as 0x1B [0] does.
/// Every method may be called from any thread.
class SimSession
{
public:
    SimSession(size_t index, const SimSettings &initial);
    /// Stops serving.
    ~SimSession();
    SimSession(const SimSession &) = delete;
    SimSession &operator=(const SimSession &) = delete;

    static uint16_t CommandPort(size_t index) { return static_cast<uint16_t>(9008 + 10 * index); }
    static uint16_t DataPort(size_t index) { return static_cast<uint16_t>(9009 + 10 * index); }

    /// Binds both ports on `address` and starts the thread; true when already serving. False, with
    /// LastError() and a log line, when a port cannot be bound (address not local, port in use).
    bool StartServing(const std::string &address);
    /// Closes every connection and joins the thread; no effect when not serving.
    void StopServing();
    bool IsServing() const;

    SimSettings Settings() const;
    /// Runs `update` on the settings under the session's lock.
    void UpdateSettings(const std::function<void(SimSettings &)> &update);

    /// count -1: until cleared; n > 0: the next n queries, then back to None. Count 0 clears.
    void SetCommandFault(CommandFault fault, int count);
    void SetReplyDelayMs(unsigned delayMs);
    /// Off: heartbeats (0x9C) are read and recorded but never answered; every other command is served
    /// as before, and the command faults apply to other queries only.
    void SetHeartbeatAnswered(bool answered);

    std::vector<RecordedFrame> RecordedFrames() const;
    void ClearRecordedFrames();
    /// Waits until at least `count` frames are recorded; a setting is applied before its frame counts.
    bool WaitForFrames(size_t count, unsigned timeoutMs) const;
    /// Reply frames written to the command connection so far.
    uint64_t RepliesSent() const;

    bool WaitForDataClient(unsigned timeoutMs);
    /// Writes all of `bytes` to the data client; false when none is connected, it is gone, it stops
    /// reading for longer than the send bound, or the session stops.
    bool SendData(const std::vector<uint8_t> &bytes);

    /// Ends the data connection from the camera's side; the serving thread closes it.
    void CloseDataClient();
    /// The session's stream: scene, encoder options, status delay, faults, frame counter, ground truth.
    SimStreamer &Streamer() { return *m_streamer; }

    /// Every request frame goes through `hook` before the command set; set it before the session serves.
    void SetCommandHook(SimCommandHook hook) { m_hook = std::move(hook); }

    /// Command clients accepted since construction.
    uint64_t CommandClientsAccepted() const;
    std::string LastError() const;

    /// How long a send to a client that does not read may block.
    static constexpr unsigned kSendTimeoutMs = 5000;

private:
    void Run();
    void AcceptCommandClient();
    void AcceptDataClient();
    void ReadCommandClient();
    void ReadDataClient();
    /// Handles one request frame; false when the command connection was closed.
    bool Handle(const RecordedFrame &frame);
    void CloseCommandClient(const char *why);
    void CloseDataClientLocked();
    /// Sleeps for delayMs unless the session stops first; false when it stops.
    bool Delay(unsigned delayMs);
    bool SendAll(int fd, const uint8_t *data, size_t size);
    void Fail(const std::string &message);

    const size_t m_index;
    SimCommandHook m_hook; // set before serving, then only read by the serving thread

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_framesChanged; // signalled under m_mutex when a frame is recorded
    SimSettings m_settings;                          // guarded by m_mutex
    CommandFault m_fault = CommandFault::None;       // guarded by m_mutex
    int m_faultCount = -1;                           // guarded by m_mutex; -1 without end
    unsigned m_replyDelayMs = 0;                     // guarded by m_mutex
    bool m_answerHeartbeat = true;                   // guarded by m_mutex
    std::vector<RecordedFrame> m_frames;             // guarded by m_mutex
    uint64_t m_repliesSent = 0;                      // guarded by m_mutex
    uint64_t m_commandClients = 0;                   // guarded by m_mutex
    std::string m_lastError;                         // guarded by m_mutex

    // Serialises StartServing and StopServing; taken before every other lock of the session.
    mutable std::mutex m_lifecycleMutex;
    std::thread m_thread; // guarded by m_lifecycleMutex
    std::atomic<bool> m_stopping{false};
    int m_wakePipe[2] = {-1, -1}; // written by StopServing to end the thread's poll
    int m_commandListen = -1;     // set before the thread starts, closed after it ends
    int m_dataListen = -1;

    int m_commandClient = -1;       // used by the serving thread only
    std::vector<uint8_t> m_pending; // received command bytes not yet a whole frame; serving thread only

    std::mutex m_sendMutex; // held for a whole SendData, taken before m_dataMutex
    std::mutex m_dataMutex;
    std::condition_variable m_dataClientChanged; // signalled under m_dataMutex when a client connects
    int m_dataClient = -1; // guarded by m_dataMutex for closing and writing; replaced only by the thread

    // Declared last: its thread uses the members above through the link.
    std::unique_ptr<SimStreamer> m_streamer;
};
