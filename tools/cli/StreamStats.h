// SPDX-License-Identifier: Apache-2.0
// The statistics of one stream of frames, from each frame's index, camera timestamp and arrival time:
// rate over the last second, frames missing from the index sequence, duplicates and late arrivals, and
// the latency median and p99 against the first frames' clock offset. Memory stays bounded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "LatencyHistogram.h"

namespace orvane::cli {

/// What a stream looks like at one moment.
struct StreamSnapshot
{
    uint64_t frames = 0;     // frames seen, duplicates included
    double fps = 0.0;        // arrivals over the last second
    uint64_t gaps = 0;       // indices skipped and not seen since
    uint64_t duplicates = 0; // an index seen again
    uint64_t reordered = 0;  // an index that came after a later one
    uint64_t restarts = 0;   // the index jumped back too far to be late: counted afresh from there
    uint64_t latencySamples = 0;
    double latencyMedianMs = 0.0; // arrival delay beyond the quickest of the first frames', in ms
    double latencyP99Ms = 0.0;
};

class StreamStats
{
public:
    /// Latency further than this from the first frames' means the camera's clock jumped: the offset
    /// is taken afresh.
    static constexpr int64_t kClockJumpUs = 10'000'000;

    /// One frame: its 32-bit index, the camera's timestamp in microseconds (0: none) and its host
    /// arrival time in microseconds of a monotonic clock.
    void Add(uint32_t frameIndex, uint64_t timestampUs, int64_t arrivalUs);
    /// The statistics at host time `nowUs` (the same clock as the arrivals).
    StreamSnapshot Snapshot(int64_t nowUs) const;

private:
    static constexpr unsigned kWindow = 64;   // indices below the highest that are remembered
    static constexpr size_t kArrivals = 1024; // arrival times kept for the rate
    static constexpr int64_t kRateWindowUs = 1'000'000;
    static constexpr size_t kWarmUpFrames = 32;     // at most, within
    static constexpr int64_t kWarmUpUs = 1'000'000; // of the first frame with a timestamp

    void EndWarmUp();

    void AddIndex(uint32_t frameIndex);
    void AddLatency(uint64_t timestampUs, int64_t arrivalUs);
    double Rate(int64_t nowUs) const;

    bool m_started = false;
    uint32_t m_first = 0;   // the first index of the current count
    uint32_t m_highest = 0; // the highest index seen, modulo 2^32
    uint64_t m_seen = 0;    // bit i: index m_highest - i was seen
    StreamSnapshot m_counts;

    std::array<int64_t, kArrivals> m_arrivals{}; // a ring of the latest arrival times
    size_t m_arrivalCount = 0;                   // arrivals ever recorded

    // The first frames of a stream often wait in queues: latency counts from the quickest of them.
    std::array<int64_t, kWarmUpFrames> m_warmUp{}; // arrival minus timestamp of the first frames
    size_t m_warmUpCount = 0;
    int64_t m_warmUpStartUs = 0;
    bool m_haveOffset = false;
    int64_t m_offsetUs = 0; // arrival minus timestamp that counts as latency 0
    LatencyHistogram m_latency;
};

} // namespace orvane::cli
