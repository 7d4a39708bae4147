// SPDX-License-Identifier: Apache-2.0
// A failed library call on its way to Python: the status code, its name and what was being done.
#include "StatusError.h"

#include "Orvane_api.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace orvane::python {

StatusError::StatusError(int status, const std::string &message)
    : std::runtime_error(message), m_status(status)
{
}

std::string StatusError::NameOf(int status)
{
    struct Name
    {
        int code;
        const char *name;
    };
    // The module's one list of the header's status names.
    static constexpr Name kNames[] = {
        {TF_OK, "TF_OK"},
        {TF_ERROR_DEVICE_NOT_FOUND, "TF_ERROR_DEVICE_NOT_FOUND"},
        {TF_ERROR_NOT_CONNECTED_STREAM, "TF_ERROR_NOT_CONNECTED_STREAM"},
        {TF_ERROR_INVALID_HANDLE, "TF_ERROR_INVALID_HANDLE"},
        {TF_ERROR_NO_FRAME_MODE, "TF_ERROR_NO_FRAME_MODE"},
        {TF_ERROR_NO_FRAME_DATA, "TF_ERROR_NO_FRAME_DATA"},
        {TF_ERROR_GET_PROPERTY_KEY, "TF_ERROR_GET_PROPERTY_KEY"},
        {TF_ERROR_SET_PROPERTY_KEY, "TF_ERROR_SET_PROPERTY_KEY"},
        {TF_ERROR_PROPERTY_NULL, "TF_ERROR_PROPERTY_NULL"},
        {TF_ERROR_DEPTH_RANGE, "TF_ERROR_DEPTH_RANGE"},
        {TF_ERROR_FRAME_TIMEOUT, "TF_ERROR_FRAME_TIMEOUT"},
        {TF_ERROR_NULL_POINTER, "TF_ERROR_NULL_POINTER"},
        {TF_ERROR_NOT_CONNECTED, "TF_ERROR_NOT_CONNECTED"},
        {TF_ERROR_SENSOR_TYPE, "TF_ERROR_SENSOR_TYPE"},
        {TF_ERROR_INVALID_ARGUMENT, "TF_ERROR_INVALID_ARGUMENT"},
        {TF_ERROR_UPGRADE_REJECTED, "TF_ERROR_UPGRADE_REJECTED"},
        {TF_ERROR_UPGRADE_FILE, "TF_ERROR_UPGRADE_FILE"},
        {TF_ERROR_UPGRADE_PATH_TOO_LONG, "TF_ERROR_UPGRADE_PATH_TOO_LONG"},
        {TF_ERROR_UPGRADE_NO_CALLBACK, "TF_ERROR_UPGRADE_NO_CALLBACK"},
        {TF_ERROR_ALREADY_INITIALIZED, "TF_ERROR_ALREADY_INITIALIZED"},
        {TF_ERROR_NOT_INITIALIZED, "TF_ERROR_NOT_INITIALIZED"},
        {TF_ERROR_ALREADY_OPENED, "TF_ERROR_ALREADY_OPENED"},
        {TF_ERROR_TRANSPORT, "TF_ERROR_TRANSPORT"},
        {TF_ERROR_NOT_CONFIRMED, "TF_ERROR_NOT_CONFIRMED"},
        {TF_ERROR_STREAMING, "TF_ERROR_STREAMING"},
        {TF_ERROR_OTHER, "TF_ERROR_OTHER"},
    };
    for (const Name &name : kNames) {
        if (name.code == status) {
            return name.name;
        }
    }
    return "TF_STATUS_" + std::to_string(status);
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
