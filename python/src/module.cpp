// SPDX-License-Identifier: Apache-2.0
// The compiled module _orvane: the public C API for the pure-Python package orvane.
#include "Camera.h"
#include "CameraSettings.h"
#include "FrameCallbacks.h"
#include "FrameSet.h"
#include "Library.h"
#include "StatusError.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace orvane::python;

PYBIND11_MODULE(_orvane, module)
{
    module.doc() = "The compiled layer of the orvane package over libOrvane_api; use the package orvane.";
    StatusError::RegisterTranslator();
    FrameSet::Bind(module);
    Camera::Bind(module);
    Library::Bind(module);
    module.def("version", &Library::Version, "The library's version, e.g. \"1.0.2\".");
    module.def("status_name", &StatusError::NameOf, py::arg("status"), "The header's name of a status code.");
    module.def(
        "settings",
        [] {
            py::list rows;
            for (const SettingRow &row : CameraSettings::Rows()) {
                rows.append(py::make_tuple(row.name, row.arity, row.isSwitch, row.get != nullptr, row.doc));
            }
            return rows;
        },
        "The settings table: (name, numbers in the value, on/off, readable, description) per setting.");
    module.attr("CALLBACK_SLOTS") = FrameCallbacks::kSlots;
}
