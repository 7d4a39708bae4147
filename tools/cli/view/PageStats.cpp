// SPDX-License-Identifier: Apache-2.0
// What one page has been sent, per stream: totals, and the rate over the last report period, as the
// per-second "stats" message carries them.
#include "PageStats.h"

#include <cmath>

namespace orvane::cli {

nlohmann::json PageStats::Report(Clock::time_point now, const PerStream &dropped, const CameraDrops &camera)
{
    const double seconds = std::chrono::duration<double>(now - m_periodStart).count();
    nlohmann::json fps = nlohmann::json::object();
    nlohmann::json sent = nlohmann::json::object();
    nlohmann::json drops = nlohmann::json::object();
    for (size_t i = 0; i < kViewStreamCount; ++i) {
        const char *name = ViewStreamName(static_cast<ViewStream>(i));
        const uint64_t inPeriod = m_sent[i] - m_sentAtPeriodStart[i];
        const double rate = seconds > 0 ? static_cast<double>(inPeriod) / seconds : 0.0;
        fps[name] = std::round(rate * 10.0) / 10.0;
        sent[name] = m_sent[i];
        drops[name] = dropped[i];
    }
    m_sentAtPeriodStart = m_sent;
    m_periodStart = now;
    return {{"type", "stats"},
            {"fps", fps},
            {"sent", sent},
            {"dropped", drops},
            {"cameraDropped", {{"tof", camera.tof}, {"color", camera.color}}}};
}

} // namespace orvane::cli
