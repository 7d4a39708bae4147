// SPDX-License-Identifier: Apache-2.0
// The live handle cells and the calls running on their cameras.
#include "api/HandleRegistry.h"

#include <algorithm>
#include <vector>

namespace {
/// The cameras the current thread is inside calls on, once per call (calls nest: a restart stops and
/// starts the stream through the exported functions).
thread_local std::vector<const BaseDevice *> t_entered;
} // namespace

HandleRegistry &HandleRegistry::Instance()
{
    static HandleRegistry registry;
    return registry;
}

void HandleRegistry::Add(std::unique_ptr<Device> cell)
{
    MutexLock lock(m_mutex);
    const Device *key = cell.get();
    m_cells[key] = std::move(cell);
}

BaseDevice *HandleRegistry::Enter(const Device *cell)
{
    t_entered.reserve(t_entered.size() + 1); // the only allocation, before anything is counted
    MutexLock lock(m_mutex);
    auto found = m_cells.find(cell);
    if (found == m_cells.end() || found->second == nullptr || found->second->pDevice == nullptr) {
        return nullptr; // unknown, being closed, or its camera was closed through another cell
    }
    BaseDevice *device = found->second->pDevice;
    Use &use = m_uses[device];
    if (use.closing) {
        return nullptr;
    }
    ++use.running;
    t_entered.push_back(device);
    return device;
}

std::unique_ptr<Device> HandleRegistry::Leave(const BaseDevice *device)
{
    auto mine = std::find(t_entered.rbegin(), t_entered.rend(), device);
    if (mine != t_entered.rend()) {
        t_entered.erase(std::next(mine).base());
    }
    MutexLock lock(m_mutex);
    auto found = m_uses.find(device);
    if (found == m_uses.end()) {
        return nullptr;
    }
    Use &use = found->second;
    --use.running;
    if (use.running == 0 && use.closer != nullptr) {
        return FinishClose(device, use.closer);
    }
    if (use.closing) {
        m_callEnded.notify_all();
    }
    return nullptr;
}

std::unique_ptr<Device> HandleRegistry::Close(const Device *cell, bool *live)
{
    MutexLock lock(m_mutex);
    auto found = m_cells.find(cell);
    *live = found != m_cells.end() && found->second != nullptr;
    if (!*live) {
        return nullptr;
    }
    const BaseDevice *device = found->second->pDevice;
    if (device == nullptr || m_uses[device].closing) {
        // Nothing to release: the camera was closed, or is being closed, through another cell.
        std::unique_ptr<Device> orphan = std::move(found->second);
        orphan->pDevice = nullptr;
        m_cells.erase(found);
        return orphan;
    }
    // A reference stays valid while other entries are added; an iterator would not.
    Use &use = m_uses[device];
    use.closing = true;
    if (std::count(t_entered.begin(), t_entered.end(), device) > 0) {
        // Closed from inside a call on the same camera: waiting would wait for ourselves.
        use.closer = cell;
        return nullptr;
    }
    m_callEnded.wait(lock.Native(), [&use]() { return use.running == 0; });
    return FinishClose(device, cell);
}

std::unique_ptr<Device> HandleRegistry::FinishClose(const BaseDevice *device, const Device *closer)
{
    std::unique_ptr<Device> released;
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        if (it->first == closer) {
            released = std::move(it->second);
            it = m_cells.erase(it);
            continue;
        }
        if (it->second != nullptr && it->second->pDevice == device) {
            it->second->pDevice = nullptr; // another cell of the same camera: its calls now return -3
        }
        ++it;
    }
    m_uses.erase(device);
    return released;
}

size_t HandleRegistry::Count()
{
    MutexLock lock(m_mutex);
    return m_cells.size();
}
