// SPDX-License-Identifier: Apache-2.0
// SimPowerCycle: a camera that loses power and starts again.
#include "SimPowerCycle.h"

#include "runtime/LogCustom.h"

#include <chrono>

void SimPowerCycle::Start(unsigned downMs)
{
    TFLOG("camera %s: fault: power lost for %u ms", m_link.serial().c_str(), downMs);
    m_link.goDown();
    m_worker.Post([this, downMs] {
        if (!m_worker.SleepFor(downMs)) {
            return;
        }
        m_link.comeUp(0, m_link.address(), true);
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_cycles;
        m_changed.notify_all();
    });
}

bool SimPowerCycle::WaitForCycles(uint64_t count, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_cycles >= count; });
}
