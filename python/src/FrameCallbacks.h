// SPDX-License-Identifier: Apache-2.0
// Frame callbacks into Python. The library's frame callback carries no context, so a fixed table of
// trampolines (one function per slot) binds each open camera to its Python function.
#pragma once

#include "Orvane_api.h"

#include <pybind11/pybind11.h>

#include <cstddef>

namespace orvane::python {

class FrameCallbacks
{
public:
    /// Cameras that can have a callback at the same time.
    static constexpr size_t kSlots = 16;

    /// Under the GIL: calls `fn(frameset)` for every set of `device` from now on (replacing its function
    /// when it has one) and returns its slot. Throws StatusError when every slot is taken or the library
    /// refuses.
    static int Attach(TfDeviceHandle device, int slot, pybind11::function fn);
    /// Under the GIL: unregisters the camera's function (the GIL is released while the library waits for a
    /// call in progress) and frees the slot. Returns the library's status.
    static int Detach(TfDeviceHandle device, int slot);
    /// Sets delivered to Python and calls that raised, of one slot (for tests and statistics).
    static pybind11::tuple Counts(int slot);
};

} // namespace orvane::python
