// SPDX-License-Identifier: Apache-2.0
// What `stream` measures of a camera: each chosen stream's statistics from the sets read, and the
// library's drop counters since the meter began.
#pragma once

#include <chrono>
#include <vector>

#include "FrameCapture.h"
#include "Orvane_api.h"
#include "StreamChoice.h"
#include "StreamReport.h"
#include "StreamStats.h"

namespace orvane::cli {

class StreamMeter
{
public:
    /// Takes the library's drop counters now as the zero of later reports.
    StreamMeter(TfDeviceHandle device, std::vector<const StreamKind *> streams);

    /// Counts the frames of the set `capture` read last.
    void Observe(const FrameCapture &capture);
    /// Every stream's row at `now`. The drops are zero when the library's counters cannot be read.
    std::vector<StreamRow> Rows(std::chrono::steady_clock::time_point now) const;
    /// False when the library's drop counters could not be read.
    bool HasDropCounters() const { return m_hasCounters; }

private:
    bool ReadCounters(TfDropCounters &counters) const;

    TfDeviceHandle m_device;
    std::vector<const StreamKind *> m_streams;
    std::vector<StreamStats> m_stats; // one per stream
    TfDropCounters m_start{};
    bool m_hasCounters = false;
};

} // namespace orvane::cli
