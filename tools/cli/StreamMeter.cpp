// SPDX-License-Identifier: Apache-2.0
// What `stream` measures of a camera: each chosen stream's statistics from the sets read, and the
// library's drop counters since the meter began.
#include "StreamMeter.h"

namespace orvane::cli {
namespace {

int64_t Microseconds(std::chrono::steady_clock::time_point at)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count();
}

TfDropCounts Grown(const TfDropCounts &now, const TfDropCounts &then)
{
    return {now.queueFull - then.queueFull, now.setIncomplete - then.setIncomplete,
            now.decodeError - then.decodeError, now.bufferRefused - then.bufferRefused,
            now.colorLate - then.colorLate};
}

} // namespace

StreamMeter::StreamMeter(TfDeviceHandle device, std::vector<const StreamKind *> streams)
    : m_device(device), m_streams(std::move(streams)), m_stats(m_streams.size())
{
    m_hasCounters = ReadCounters(m_start);
}

bool StreamMeter::ReadCounters(TfDropCounters &counters) const
{
    int32_t size = sizeof counters;
    return TFCM_GetProperty(m_device, TF_PROPERTY_EXT_DROP_COUNTERS, &counters, &size) == TF_OK &&
           size >= static_cast<int32_t>(sizeof counters);
}

void StreamMeter::Observe(const FrameCapture &capture)
{
    const int64_t arrivalUs = Microseconds(capture.ArrivedAt());
    for (const CapturedFrame *captured : capture.Frames()) {
        for (size_t i = 0; i < m_streams.size(); ++i) {
            if (captured->frame.frameType == static_cast<uint32_t>(m_streams[i]->type)) {
                m_stats[i].Add(captured->frame.frameIndex, captured->frame.timestamp, arrivalUs);
            }
        }
    }
}

std::vector<StreamRow> StreamMeter::Rows(std::chrono::steady_clock::time_point now) const
{
    TfDropCounters counters{};
    const bool readable = m_hasCounters && ReadCounters(counters);
    std::vector<StreamRow> rows;
    rows.reserve(m_streams.size());
    for (size_t i = 0; i < m_streams.size(); ++i) {
        StreamRow row{m_streams[i]->name, m_stats[i].Snapshot(Microseconds(now)), {}};
        if (readable) {
            const bool colour = m_streams[i]->type == TF_FRAME_COLOR;
            row.drops = colour ? Grown(counters.color, m_start.color) : Grown(counters.tof, m_start.tof);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace orvane::cli
