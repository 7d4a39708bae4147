// SPDX-License-Identifier: Apache-2.0
// SimReplaySource: reads the recording record by record and paces the buffers by their arrival times.
#include "SimReplaySource.h"

#include "runtime/ByteReader.h"

#include <cstdio>

namespace {
constexpr uint32_t kStreamBufferType = 1;
} // namespace

bool SimReplaySource::Open(const std::string &path, std::string &error)
{
    m_file.open(path, std::ios::binary);
    std::string header;
    if (!m_file || !m_reader.ReadHeader(header)) {
        error = path + " is not a raw recording";
        return false;
    }
    return true;
}

bool SimReplaySource::Fetch(Clock::time_point now)
{
    uint64_t arrivalNs = 0;
    RawRecordingReader::Result result = m_reader.Next(arrivalNs, m_payload);
    if (result != RawRecordingReader::Result::kRecord && m_options.loop && m_reader.RecordsRead() > 0) {
        m_reader.Rewind();
        m_paced = false;
        result = m_reader.Next(arrivalNs, m_payload);
    }
    if (result != RawRecordingReader::Result::kRecord) {
        if (!m_finished) {
            std::fprintf(stderr, "orvane-camsim: the replay has sent its %llu buffers\n",
                         static_cast<unsigned long long>(m_sent));
        }
        m_finished = true;
        return false;
    }
    ByteWriter buffer;
    buffer.WriteU32Le(kStreamBufferType);
    buffer.WriteU32Le(static_cast<uint32_t>(m_payload.size()));
    buffer.WriteBytes(m_payload.data(), m_payload.size());
    m_buffer = std::move(buffer.Bytes());
    m_due = now;
    if (m_paced && m_options.rate > 0 && arrivalNs >= m_lastArrivalNs) {
        const auto gapNs = static_cast<double>(arrivalNs - m_lastArrivalNs) / m_options.rate;
        m_due = m_lastDue + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::nanoseconds(static_cast<int64_t>(gapNs)));
        if (m_due < now - kCatchUpLimit) {
            m_due = now;
        }
    }
    m_lastArrivalNs = arrivalNs;
    m_held = true;
    return true;
}

SimReplaySource::Clock::time_point SimReplaySource::Step(Clock::time_point now, const Send &send,
                                                         const std::function<void()> &sent)
{
    if (!m_held && !Fetch(now)) {
        return now + kIdleWait;
    }
    if (now < m_due) {
        return m_due;
    }
    m_held = false;
    m_lastDue = m_due;
    m_paced = true;
    if (send(m_buffer)) {
        ++m_sent;
        sent();
    }
    return now;
}
