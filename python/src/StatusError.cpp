// SPDX-License-Identifier: Apache-2.0
// A failed library call on its way to Python: the status code, its name and what was being done.
#include "StatusError.h"

#include "Orvane_api.h"
#include "StatusNames.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace orvane::python {

StatusError::StatusError(int status, const std::string &message)
    : std::runtime_error(message), m_status(status)
{
}

std::string StatusError::NameOf(int status)
{
    return orvane::cli::StatusName(status);
}

void StatusError::Check(int status, const char *call)
{
    if (status != TF_OK) {
        throw StatusError(status, std::string(call) + " failed with " + NameOf(status) + " (" +
                                      std::to_string(status) + ")");
    }
}

void StatusError::RegisterTranslator()
{
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) {
                std::rethrow_exception(pending);
            }
        } catch (const StatusError &error) {
            // The exception classes live in the pure-Python layer (orvane.errors).
            py::object make = py::module_::import("orvane.errors").attr("error_for");
            py::object exception = make(NameOf(error.Status()), error.Status(), error.what());
            PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exception.ptr())), exception.ptr());
        }
    });
}

} // namespace orvane::python
