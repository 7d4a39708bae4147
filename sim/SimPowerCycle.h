// SPDX-License-Identifier: Apache-2.0
// SimPowerCycle: a camera that loses power and starts again, whatever it was doing, on its own thread.
#pragma once

#include "SimCommandHook.h"
#include "SimTaskThread.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

/// Takes the camera down at once (no connections, no announcements) and brings it back after the
/// down time in the normal mode on its current address, serving its connections again. The settings
/// it had survive; the stream is off. Every method may be called from any thread.
class SimPowerCycle
{
public:
    explicit SimPowerCycle(SimCameraLink link) : m_link(std::move(link)) {}
    ~SimPowerCycle() { m_worker.Stop(); }
    SimPowerCycle(const SimPowerCycle &) = delete;
    SimPowerCycle &operator=(const SimPowerCycle &) = delete;

    /// Returns at once; the camera is down before the next request is served.
    void Start(unsigned downMs);
    /// Waits until `count` power cycles have ended with the camera back; false on time-out.
    bool WaitForCycles(uint64_t count, unsigned timeoutMs) const;
    void Stop() { m_worker.Stop(); }

private:
    const SimCameraLink m_link;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed; // signalled under m_mutex when a cycle ends
    uint64_t m_cycles = 0;                     // guarded by m_mutex
    SimTaskThread m_worker;                    // declared last: stopped before the members it uses
};
