// SPDX-License-Identifier: Apache-2.0
// DropCountersLog: the once-a-minute log line of a camera's drop counters while they grow.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/DropCounters.h"

/// Driven by a thread the pipeline already runs: it calls Poll with its clock as often as it likes, and
/// a line is logged at most once a period, only when a drop counter grew since the last line. Not
/// thread-safe: one thread polls.
class DropCountersLog
{
public:
    static constexpr uint64_t kPeriodMs = 60000;

    /// `counters` belong to the same pipeline and outlive this object.
    explicit DropCountersLog(const DropCounters &counters) : m_counters(counters) {}

    /// The first call starts the period. Returns the line it logged, empty when none was due or nothing
    /// grew.
    std::string Poll(uint64_t nowMs);

private:
    const DropCounters &m_counters;
    TfDropCounters m_logged{}; // the counts of the last line (zeros before the first)
    uint64_t m_periodStartMs = 0;
    bool m_started = false;
};
