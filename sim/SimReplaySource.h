// SPDX-License-Identifier: Apache-2.0
// SimReplaySource: the buffers of a raw recording, handed to a session's stream at their recorded pace.
#pragma once

#include "runtime/RawRecordingReader.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

/// How a recording is served.
struct SimReplayOptions
{
    bool loop = false; ///< start again from the first buffer after the last
    double rate = 1.0; ///< 1 the recorded pace, 2 twice as fast; 0 as fast as the client reads
};

/// Read by the stream thread only (Step); Open before the session serves. A stream that stops and
/// starts again carries on with the next buffer, its pace counted from the restart.
class SimReplaySource
{
public:
    using Clock = std::chrono::steady_clock;
    /// Writes one whole stream buffer to the data client; false when the client is gone.
    using Send = std::function<bool(const std::vector<uint8_t> &)>;

    /// How long an ended replay waits before it looks again (for a stop).
    static constexpr std::chrono::milliseconds kIdleWait{100};
    /// A buffer due further back than this starts the pace afresh (the stream was off meanwhile).
    static constexpr std::chrono::milliseconds kCatchUpLimit{500};

    explicit SimReplaySource(SimReplayOptions options) : m_options(options) {}

    /// False with `error` set when the file cannot be read as a raw recording.
    bool Open(const std::string &path, std::string &error);
    /// Sends the next buffer when it is due and returns when to call again (`now` right after a send).
    /// `sent` runs after each buffer written whole.
    Clock::time_point Step(Clock::time_point now, const Send &send, const std::function<void()> &sent);

    /// Buffers sent, counting every loop.
    uint64_t BuffersSent() const { return m_sent; }
    /// True once the last buffer went out without --loop (or the file ended in a damaged record).
    bool Finished() const { return m_finished; }

private:
    /// Reads the next record into the held buffer, looping when asked; false when none is left.
    bool Fetch(Clock::time_point now);

    const SimReplayOptions m_options;
    std::ifstream m_file;
    RawRecordingReader m_reader{m_file};
    std::vector<uint8_t> m_payload;
    std::vector<uint8_t> m_buffer; // the held stream buffer, header included
    bool m_held = false;
    bool m_finished = false;
    bool m_paced = false; // a buffer was sent since the start or the last loop: m_lastDue counts
    uint64_t m_lastArrivalNs = 0;
    Clock::time_point m_lastDue;
    Clock::time_point m_due;
    uint64_t m_sent = 0;
};
