// SPDX-License-Identifier: Apache-2.0
// The faults on demand of one simulated data stream: frames without their ToF or colour part, colour
// sent apart, malformed buffers and stalls, each asked for ahead and taken by the frames that follow.
#pragma once

#include <mutex>

/// Malformed buffers the stream can send on demand.
enum class SimBufferFault
{
    None,
    TruncatedSubPacket, // the ToF sub-packet claims its full length but the buffer ends halfway through it
    UnknownTypeId,      // a sub-packet of an unknown type stands before the ToF data
    ShortThenClose // the buffer header announces the whole buffer, half of it is sent, the connection closes
};

/// What the faults asked for do to one frame.
struct SimFrameFaults
{
    bool dropTof = false;
    bool dropColor = false;
    bool splitColor = false;
    SimBufferFault buffer = SimBufferFault::None;
    unsigned stallMs = 0;
};

/// Counts down the faults asked for, frame by frame. Every method may be called from any thread.
class SimStreamFaults
{
public:
    /// The next `frames` frames go without their ToF part.
    void DropTof(unsigned frames);
    /// The next `frames` frames that would carry a colour part go without it.
    void DropColor(unsigned frames);
    /// The next `frames` frames with a colour part send it in a buffer of its own.
    void SplitColor(unsigned frames);
    /// The next `count` buffers carry `fault` (None clears).
    void SetBufferFault(SimBufferFault fault, unsigned count);
    /// The next buffer stops halfway for stallMs.
    void Stall(unsigned stallMs);

    /// Takes the faults of the frame being built; `colorOn` when it would carry a colour part.
    SimFrameFaults TakeNext(bool colorOn);

private:
    std::mutex m_mutex;
    unsigned m_dropTof = 0;                        // guarded by m_mutex
    unsigned m_dropColor = 0;                      // guarded by m_mutex
    unsigned m_splitColor = 0;                     // guarded by m_mutex
    SimBufferFault m_fault = SimBufferFault::None; // guarded by m_mutex
    unsigned m_faultCount = 0;                     // guarded by m_mutex
    unsigned m_stallMs = 0;                        // guarded by m_mutex
};
