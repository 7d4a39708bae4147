// SPDX-License-Identifier: Apache-2.0
// RawRecorder: hands the stream buffers the receive thread reads to a writer thread that puts them in a
// raw recording file, through a bounded queue that drops (and counts) rather than wait on the disk.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Orvane_api.h"
#include "runtime/RawRecordingWriter.h"

/// What a session hands the pipeline to start a recording: where, and the header's JSON text.
struct RawRecordingRequest
{
    std::string path;
    std::string headerJson;
};

/// One recording at a time. Offer is called by the receive thread only; Start, Stop and GetStatus by
/// any thread.
class RawRecorder
{
public:
    /// The queue holds at most this many buffers and this many bytes (a few frames of the largest kind).
    static constexpr size_t kQueueBuffers = 16;
    static constexpr size_t kQueueBytes = size_t{64} << 20;
    /// Written buffers kept for reuse, so that a steady stream allocates nothing.
    static constexpr size_t kSpareBuffers = 4;

    RawRecorder() = default;
    /// Stops the recording, writing what is queued.
    ~RawRecorder();
    RawRecorder(const RawRecorder &) = delete;
    RawRecorder &operator=(const RawRecorder &) = delete;

    /// Stops a recording in progress, then creates `request.path` and starts writing to it; the counts
    /// start at 0. kStatusOk, or kStatusNotSupported when the file cannot be created (writeError says why).
    int Start(const RawRecordingRequest &request);
    /// Writes what is queued, closes the file and joins the writer; no effect when not recording.
    void Stop();
    bool IsActive() const { return m_active.load(); }
    /// Queues a copy of one buffer as received now, or drops and counts it when the queue is full.
    void Offer(const uint8_t *data, uint32_t size);
    TfRawRecordingStatus GetStatus() const;

private:
    struct Item
    {
        uint64_t arrivalNs = 0;
        std::vector<uint8_t> bytes;
    };

    void Run();
    /// Stops the writer after it has written what is queued and closes the file; m_controlMutex held.
    void StopWriting();
    /// Writes one buffer; false after a write error, which ends the recording.
    bool Write(const Item &item);

    // Serialises Start and Stop; taken before m_mutex.
    std::mutex m_controlMutex;
    std::thread m_thread; // guarded by m_controlMutex

    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // signalled under m_mutex when an item is queued or on stop
    std::deque<Item> m_queue;       // guarded by m_mutex
    std::vector<Item> m_spare;      // guarded by m_mutex; written items whose memory is reused
    size_t m_queuedBytes = 0;       // guarded by m_mutex
    bool m_stopping = false;        // guarded by m_mutex
    std::chrono::steady_clock::time_point m_start; // guarded by m_mutex

    RawRecordingWriter m_writer; // used by the writer thread while it runs, by Start and Stop otherwise
    std::atomic<bool> m_active{false};
    std::atomic<int32_t> m_writeError{0};
    std::atomic<uint64_t> m_buffersWritten{0};
    std::atomic<uint64_t> m_bytesWritten{0};
    std::atomic<uint64_t> m_buffersDropped{0};
};
