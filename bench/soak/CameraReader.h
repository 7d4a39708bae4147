// SPDX-License-Identifier: Apache-2.0
// One opened camera read through the public API on a thread of its own: sets delivered, frames the
// camera sent (from the frame numbers the sets carry), and the latency from the camera's send to the read.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Orvane_api.h"

/// What a reader counted.
struct ReaderCounts
{
    uint64_t sets = 0;
    uint64_t colorSets = 0;
    uint64_t framesSent = 0; // from the camera's one-byte frame number: the steps between sets
    uint64_t timeouts = 0;   // reads that found nothing within the wait time
    uint64_t errors = 0;     // reads that failed otherwise
    unsigned colorWidth = 0;
    unsigned colorHeight = 0;
};

class CameraReader
{
public:
    using Clock = std::chrono::steady_clock;

    /// `streamEpoch` is when the camera's stream clock started, as near as the caller knows.
    CameraReader(TfDeviceHandle device, Clock::time_point streamEpoch);
    ~CameraReader();
    CameraReader(const CameraReader &) = delete;
    CameraReader &operator=(const CameraReader &) = delete;

    /// Waits until `uri` is listed at `ip`, then opens it; null when either fails within `timeoutMs`.
    static TfDeviceHandle OpenWhenListed(const std::string &uri, const std::string &ip, unsigned timeoutMs);

    void Start();
    void Stop();

    /// Waits until `sets` sets were read; false after `timeoutMs`.
    bool WaitForSets(uint64_t sets, unsigned timeoutMs) const;

    ReaderCounts Counts() const;
    /// The reading thread's id, 0 before it runs.
    int Tid() const { return m_tid.load(); }
    /// Send-to-read latencies in milliseconds, the epoch moved back to the earliest arrival it allows.
    std::vector<double> LatenciesMs() const;
    /// What the library's drop counters of this handle counted between Start and Stop, as one line, or
    /// why there are none.
    std::string DropCounters() const;

private:
    struct Arrival
    {
        Clock::time_point returned;
        uint64_t timestampUs;
    };

    void Run();
    void ReadOne();
    /// The drop counters as raw bytes (empty when the library has none or refuses the read).
    std::vector<uint64_t> ReadDropCounters() const;

    TfDeviceHandle m_device;
    Clock::time_point m_epoch;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_sets{0};
    std::atomic<int> m_tid{0};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    ReaderCounts m_counts;           // guarded by m_mutex
    std::vector<Arrival> m_arrivals; // guarded by m_mutex, as m_arrivalCount
    size_t m_arrivalCount = 0;
    int m_lastFrameNumber = -1; // the reading thread's only
    std::vector<uint64_t> m_countersAtStart;
    std::vector<uint64_t> m_countersAtStop;
};
