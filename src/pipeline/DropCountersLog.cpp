// SPDX-License-Identifier: Apache-2.0
// DropCountersLog: the period, and the text of the counts that changed.
#include "pipeline/DropCountersLog.h"

#include "runtime/LogCustom.h"

namespace {

/// Appends " reason +grown (total)" for every reason of one stream that grew; true when any did.
bool AppendGrown(std::string &line, const char *stream, const TfDropCounts &now, const TfDropCounts &before)
{
    struct Field
    {
        const char *name;
        uint64_t TfDropCounts::*count;
    };
    static constexpr Field kFields[] = {
        {"queueFull", &TfDropCounts::queueFull},     {"setIncomplete", &TfDropCounts::setIncomplete},
        {"decodeError", &TfDropCounts::decodeError}, {"bufferRefused", &TfDropCounts::bufferRefused},
        {"colorLate", &TfDropCounts::colorLate},
    };
    bool grew = false;
    for (const Field &field : kFields) {
        const uint64_t total = now.*(field.count);
        if (total == before.*(field.count)) {
            continue;
        }
        line += grew ? ", " : (line.empty() ? "" : "; ");
        if (!grew) {
            line += stream;
            line += ':';
        }
        line += ' ';
        line += field.name;
        line += " +" + std::to_string(total - before.*(field.count)) + " (" + std::to_string(total) + ")";
        grew = true;
    }
    return grew;
}

} // namespace

std::string DropCountersLog::Poll(uint64_t nowMs)
{
    if (!m_started) {
        m_started = true;
        m_periodStartMs = nowMs;
        return {};
    }
    if (nowMs - m_periodStartMs < kPeriodMs) {
        return {};
    }
    m_periodStartMs = nowMs;
    const TfDropCounters now = m_counters.Read();
    std::string line;
    AppendGrown(line, "tof", now.tof, m_logged.tof);
    AppendGrown(line, "colour", now.color, m_logged.color);
    m_logged = now;
    if (!line.empty()) {
        line = "frames dropped in the last minute, " + line;
        TFLOG("%s", line.c_str());
    }
    return line;
}
