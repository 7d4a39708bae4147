// SPDX-License-Identifier: Apache-2.0
// What one page has been sent, per stream: totals, and the rate over the last report period, as the
// per-second "stats" message carries them.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "FrameHeader.h"

namespace orvane::cli {

/// The library's drop counters for the page's report: the sum of every reason, per stream.
struct CameraDrops
{
    uint64_t tof = 0;
    uint64_t color = 0;
};

/// Used by one page's sender thread only.
class PageStats
{
public:
    using Clock = std::chrono::steady_clock;
    using PerStream = std::array<uint64_t, kViewStreamCount>;

    explicit PageStats(Clock::time_point start) : m_periodStart(start) {}

    void CountSent(ViewStream stream) { ++m_sent[static_cast<size_t>(stream)]; }
    /// The stats message at `now`; starts the next period.
    nlohmann::json Report(Clock::time_point now, const PerStream &dropped, const CameraDrops &camera);

private:
    PerStream m_sent{};
    PerStream m_sentAtPeriodStart{};
    Clock::time_point m_periodStart;
};

} // namespace orvane::cli
