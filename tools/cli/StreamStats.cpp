// SPDX-License-Identifier: Apache-2.0
// The statistics of one stream of frames, from each frame's index, camera timestamp and arrival time:
// rate over the last second, frames missing from the index sequence, duplicates and late arrivals, and
// the latency median and p99 against the first frames' clock offset. Memory stays bounded.
#include "StreamStats.h"

#include <algorithm>

namespace orvane::cli {

void StreamStats::Add(uint32_t frameIndex, uint64_t timestampUs, int64_t arrivalUs)
{
    ++m_counts.frames;
    m_arrivals[m_arrivalCount % kArrivals] = arrivalUs;
    ++m_arrivalCount;
    AddIndex(frameIndex);
    if (timestampUs != 0) {
        AddLatency(timestampUs, arrivalUs);
    }
}

void StreamStats::AddIndex(uint32_t frameIndex)
{
    if (!m_started) {
        m_started = true;
        m_first = frameIndex;
        m_highest = frameIndex;
        m_seen = 1;
        return;
    }
    // Modulo 2^32, so that the index wrapping from 0xFFFFFFFF to 0 is one step forward.
    const uint32_t ahead = frameIndex - m_highest;
    if (ahead == 0) {
        ++m_counts.duplicates;
    } else if (ahead < 0x80000000u) {
        m_counts.gaps += ahead - 1;
        m_seen = ahead >= kWindow ? 1 : (m_seen << ahead) | 1;
        m_highest = frameIndex;
    } else {
        const uint32_t behind = m_highest - frameIndex;
        if (behind >= kWindow) {
            ++m_counts.restarts; // too far back to be late: the index started over
            m_first = frameIndex;
            m_highest = frameIndex;
            m_seen = 1;
        } else if (behind > m_highest - m_first) {
            ++m_counts.reordered; // from before the first frame counted: it was never missed
        } else if ((m_seen >> behind) & 1) {
            ++m_counts.duplicates;
        } else {
            // Counted missing when a later index came; it was only late.
            m_seen |= uint64_t{1} << behind;
            ++m_counts.reordered;
            --m_counts.gaps;
        }
    }
}

void StreamStats::AddLatency(uint64_t timestampUs, int64_t arrivalUs)
{
    // The camera's clock has an unknown offset from ours: latency counts from the smallest difference
    // among the first frames (within a second of the first, at most kWarmUpFrames of them).
    const auto differenceUs = static_cast<int64_t>(static_cast<uint64_t>(arrivalUs) - timestampUs);
    if (!m_haveOffset) {
        if (m_warmUpCount == 0) {
            m_warmUpStartUs = arrivalUs;
        }
        m_warmUp[m_warmUpCount++] = differenceUs;
        if (m_warmUpCount == kWarmUpFrames || arrivalUs - m_warmUpStartUs >= kWarmUpUs) {
            EndWarmUp();
        }
        return;
    }
    const auto latencyUs =
        static_cast<int64_t>(static_cast<uint64_t>(differenceUs) - static_cast<uint64_t>(m_offsetUs));
    if (latencyUs > kClockJumpUs || latencyUs < -kClockJumpUs) {
        m_haveOffset = false; // the camera's clock jumped: its offset is taken again
        m_warmUpCount = 0;
        AddLatency(timestampUs, arrivalUs);
        return;
    }
    m_latency.Add(latencyUs);
}

void StreamStats::EndWarmUp()
{
    m_offsetUs =
        *std::min_element(m_warmUp.begin(), m_warmUp.begin() + static_cast<ptrdiff_t>(m_warmUpCount));
    m_haveOffset = true;
    for (size_t i = 0; i < m_warmUpCount; ++i) {
        m_latency.Add(m_warmUp[i] - m_offsetUs);
    }
    m_warmUpCount = 0;
}

double StreamStats::Rate(int64_t nowUs) const
{
    // Intervals between the arrivals of the last second over the time they span: steady whatever the
    // phase of the second against the frames.
    const size_t kept = std::min(m_arrivalCount, kArrivals);
    int64_t newest = 0;
    int64_t oldest = 0;
    size_t inWindow = 0;
    for (size_t i = 0; i < kept; ++i) {
        const int64_t at = m_arrivals[(m_arrivalCount - 1 - i) % kArrivals];
        if (at <= nowUs - kRateWindowUs) {
            break;
        }
        newest = inWindow == 0 ? at : newest;
        oldest = at;
        ++inWindow;
    }
    if (inWindow < 2) {
        return 0.0;
    }
    // A stream that stalls shows it at once: past two periods without a frame, the wait counts too.
    const double periodUs = static_cast<double>(newest - oldest) / static_cast<double>(inWindow - 1);
    const int64_t end = static_cast<double>(nowUs - newest) > 2.0 * periodUs ? nowUs : newest;
    return end > oldest ? static_cast<double>(inWindow - 1) * 1e6 / static_cast<double>(end - oldest) : 0.0;
}

StreamSnapshot StreamStats::Snapshot(int64_t nowUs) const
{
    if (!m_haveOffset && m_warmUpCount > 0) {
        // A stream younger than its warm-up: the latencies so far, against the quickest so far.
        StreamStats settled = *this;
        settled.EndWarmUp();
        return settled.Snapshot(nowUs);
    }
    StreamSnapshot snapshot = m_counts;
    snapshot.fps = Rate(nowUs);
    snapshot.latencySamples = m_latency.Count();
    snapshot.latencyMedianMs = m_latency.Quantile(0.5) / 1000.0;
    snapshot.latencyP99Ms = m_latency.Quantile(0.99) / 1000.0;
    return snapshot;
}

} // namespace orvane::cli
