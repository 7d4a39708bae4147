// SPDX-License-Identifier: Apache-2.0
// The handle cells the open calls gave out and that are not yet closed, with the calls running on each,
// so that a handle closed under a running call, or used again after its close, is never read through.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <unordered_map>

#include "api/DeviceHandle.h"
#include "runtime/Mutex.h"

class HandleRegistry
{
public:
    static HandleRegistry &Instance();

    /// Makes a cell just filled by an open call live.
    void Add(std::unique_ptr<Device> cell);

    /// Enters a call on `cell`: false, without reading through it, for a value that is not a live cell
    /// or a cell being closed.
    bool Enter(const Device *cell);
    /// Ends a call entered with Enter. The last call on a cell closed from inside one of its own calls
    /// (a callback closing its camera) hands the cell back to be released.
    std::unique_ptr<Device> Leave(const Device *cell);

    /// Takes `cell` out of use: no call enters it any more, and once the calls running on it (other than
    /// the calling thread's own) have ended the cell is handed back to be released. nullptr with
    /// `*live` false for a value that is not a live cell; nullptr with `*live` true when the calling
    /// thread is itself inside a call on the cell, whose end releases it.
    std::unique_ptr<Device> Close(const Device *cell, bool *live);

    /// Live cells (for tests and the log).
    size_t Count();

private:
    struct Entry
    {
        std::unique_ptr<Device> cell;
        unsigned running = 0;        ///< calls inside the cell
        bool closing = false;        ///< no call enters any more
        bool releaseOnLeave = false; ///< closed from inside one of its calls
    };

    Mutex m_mutex;
    std::condition_variable m_callEnded;
    std::unordered_map<const Device *, Entry> m_entries GUARDED_BY(m_mutex);
};
