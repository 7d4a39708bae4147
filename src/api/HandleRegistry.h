// SPDX-License-Identifier: Apache-2.0
// The handle cells the open calls gave out and that are not yet closed, with the calls running on each
// camera, so that a handle closed under a running call, or used again after its close, is never read
// through.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <unordered_map>

#include "api/DeviceHandle.h"
#include "runtime/Mutex.h"

/// Several cells may lead to one camera (opening an opened camera by its address hands out another
/// cell for it), so the calls are counted by camera: closing any of its cells waits for all of them, and
/// the camera's other cells are left without a camera (their calls return -3 until they are closed).
class HandleRegistry
{
public:
    static HandleRegistry &Instance();

    /// Makes a cell just filled by an open call live.
    void Add(std::unique_ptr<Device> cell);

    /// Enters a call on `cell`: its camera, or nullptr, without reading through the value, for a value
    /// that is not a live cell, a cell being closed or left without a camera, or a camera being closed.
    BaseDevice *Enter(const Device *cell);
    /// Ends a call entered with Enter on `device`. The last call on a camera closed from inside one of
    /// its own calls (a callback closing its camera) hands the closed cell back to be released.
    std::unique_ptr<Device> Leave(const BaseDevice *device);

    /// Takes `cell` out of use: no call enters its camera any more, and once the calls running on the
    /// camera (other than the calling thread's own) have ended the cell is handed back to be released.
    /// `*live` is false for a value that is not a live cell. With `*live` true the result is nullptr
    /// when the calling thread is itself inside a call on the camera (whose end releases it), and a cell
    /// without a camera when there is nothing to release (its camera was closed through another cell).
    std::unique_ptr<Device> Close(const Device *cell, bool *live);

    /// Live cells (for tests and the log).
    size_t Count();

private:
    struct Use
    {
        unsigned running = 0;           ///< calls inside the camera
        bool closing = false;           ///< no call enters any more
        const Device *closer = nullptr; ///< the cell to release when its close was left to the last call
    };

    std::unique_ptr<Device> FinishClose(const BaseDevice *device, const Device *closer) REQUIRES(m_mutex);

    Mutex m_mutex;
    std::condition_variable m_callEnded;
    std::unordered_map<const Device *, std::unique_ptr<Device>> m_cells GUARDED_BY(m_mutex);
    std::unordered_map<const BaseDevice *, Use> m_uses GUARDED_BY(m_mutex);
};
