// SPDX-License-Identifier: Apache-2.0
// The live handle cells and the calls running on them.
#include "api/HandleRegistry.h"

#include <algorithm>
#include <vector>

namespace {
/// The cells the current thread is inside calls on, once per call (calls nest: a restart stops and
/// starts the stream through the exported functions).
thread_local std::vector<const Device *> t_entered;

size_t OwnCalls(const Device *cell)
{
    return static_cast<size_t>(std::count(t_entered.begin(), t_entered.end(), cell));
}
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
    Entry &entry = m_entries[key];
    entry.cell = std::move(cell);
}

bool HandleRegistry::Enter(const Device *cell)
{
    t_entered.reserve(t_entered.size() + 1); // the only allocation, before anything is counted
    MutexLock lock(m_mutex);
    auto found = m_entries.find(cell);
    if (found == m_entries.end() || found->second.closing) {
        return false;
    }
    ++found->second.running;
    t_entered.push_back(cell);
    return true;
}

std::unique_ptr<Device> HandleRegistry::Leave(const Device *cell)
{
    auto mine = std::find(t_entered.rbegin(), t_entered.rend(), cell);
    if (mine != t_entered.rend()) {
        t_entered.erase(std::next(mine).base());
    }
    MutexLock lock(m_mutex);
    auto found = m_entries.find(cell);
    if (found == m_entries.end()) {
        return nullptr;
    }
    Entry &entry = found->second;
    --entry.running;
    if (entry.running == 0 && entry.releaseOnLeave) {
        std::unique_ptr<Device> released = std::move(entry.cell);
        m_entries.erase(found);
        return released;
    }
    if (entry.closing) {
        m_callEnded.notify_all();
    }
    return nullptr;
}

std::unique_ptr<Device> HandleRegistry::Close(const Device *cell, bool *live)
{
    MutexLock lock(m_mutex);
    auto found = m_entries.find(cell);
    *live = found != m_entries.end() && !found->second.closing;
    if (!*live) {
        return nullptr;
    }
    // A reference stays valid while other cells are added; an iterator would not.
    Entry &entry = found->second;
    entry.closing = true;
    if (OwnCalls(cell) > 0) {
        // Closed from inside a call on the same handle: waiting would wait for ourselves.
        entry.releaseOnLeave = true;
        return nullptr;
    }
    m_callEnded.wait(lock.Native(), [&entry]() { return entry.running == 0; });
    std::unique_ptr<Device> released = std::move(entry.cell);
    m_entries.erase(cell);
    return released;
}

size_t HandleRegistry::Count()
{
    MutexLock lock(m_mutex);
    return m_entries.size();
}
