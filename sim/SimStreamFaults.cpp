// SPDX-License-Identifier: Apache-2.0
// The faults on demand of one simulated data stream, counted down frame by frame and counted when taken.
#include "SimStreamFaults.h"

void SimStreamFaults::DropTof(unsigned frames)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dropTof = frames;
}

void SimStreamFaults::DropColor(unsigned frames)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dropColor = frames;
}

void SimStreamFaults::SplitColor(unsigned frames)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_splitColor = frames;
}

void SimStreamFaults::SetBufferFault(SimBufferFault fault, unsigned count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = count == 0 ? SimBufferFault::None : fault;
    m_faultCount = m_fault == SimBufferFault::None ? 0 : count;
}

void SimStreamFaults::Stall(unsigned stallMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stallMs = stallMs;
}

SimFrameFaults SimStreamFaults::TakeNext(bool colorOn)
{
    SimFrameFaults faults;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dropTof > 0) {
        faults.dropTof = true;
        --m_dropTof;
    }
    if (colorOn && m_dropColor > 0) {
        faults.dropColor = true;
        --m_dropColor;
    }
    // A frame that drops its colour part has nothing to send apart.
    if (colorOn && !faults.dropColor && m_splitColor > 0) {
        faults.splitColor = true;
        --m_splitColor;
    }
    if (m_faultCount > 0) {
        faults.buffer = m_fault;
        if (--m_faultCount == 0) {
            m_fault = SimBufferFault::None;
        }
    }
    faults.stallMs = m_stallMs;
    m_stallMs = 0;
    CountTaken(faults);
    return faults;
}

void SimStreamFaults::CountTaken(const SimFrameFaults &faults)
{
    m_injected.tofDropped += faults.dropTof ? 1 : 0;
    m_injected.colorDropped += faults.dropColor ? 1 : 0;
    m_injected.colorSplit += faults.splitColor ? 1 : 0;
    m_injected.truncated += faults.buffer == SimBufferFault::TruncatedSubPacket ? 1 : 0;
    m_injected.unknownType += faults.buffer == SimBufferFault::UnknownTypeId ? 1 : 0;
    m_injected.shortThenClose += faults.buffer == SimBufferFault::ShortThenClose ? 1 : 0;
    m_injected.stalls += faults.stallMs > 0 ? 1 : 0;
}

SimInjectedFaults SimStreamFaults::Injected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_injected;
}
