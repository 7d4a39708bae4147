// SPDX-License-Identifier: Apache-2.0
// Whether the interpreter can still be entered from a library thread (not before start-up or while it ends).
#pragma once

#include <Python.h>

namespace orvane::python {

inline bool InterpreterGone()
{
#if PY_VERSION_HEX >= 0x030D0000
    return !Py_IsInitialized() || Py_IsFinalizing();
#else
    return !Py_IsInitialized() || _Py_IsFinalizing();
#endif
}

} // namespace orvane::python
