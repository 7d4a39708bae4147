// SPDX-License-Identifier: Apache-2.0
// The faults on demand of one simulated data stream: frames without their ToF or colour part, colour
// sent apart, malformed buffers and stalls, each asked for ahead and taken by the frames that follow, and
// the count of each fault taken, to hold against what the host says it lost.
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

/// The faults taken so far, one count per frame (or buffer) that took one.
struct SimInjectedFaults
{
    uint64_t tofDropped = 0;     // frames sent without their ToF part
    uint64_t colorDropped = 0;   // frames that would carry colour, sent without it
    uint64_t colorSplit = 0;     // frames whose colour part went in a buffer of its own
    uint64_t truncated = 0;      // buffers whose ToF sub-packet runs past their end (nothing follows it)
    uint64_t unknownType = 0;    // buffers with an unknown sub-packet before their images
    uint64_t shortThenClose = 0; // buffers cut in half by a closed connection
    uint64_t stalls = 0;         // buffers that stopped halfway for a while
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
    /// What TakeNext has handed out since construction.
    SimInjectedFaults Injected() const;

private:
    void CountTaken(const SimFrameFaults &faults); // needs m_mutex

    mutable std::mutex m_mutex;
    unsigned m_dropTof = 0;                        // guarded by m_mutex
    unsigned m_dropColor = 0;                      // guarded by m_mutex
    unsigned m_splitColor = 0;                     // guarded by m_mutex
    SimBufferFault m_fault = SimBufferFault::None; // guarded by m_mutex
    unsigned m_faultCount = 0;                     // guarded by m_mutex
    unsigned m_stallMs = 0;                        // guarded by m_mutex
    SimInjectedFaults m_injected;                  // guarded by m_mutex
};
