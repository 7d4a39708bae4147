// SPDX-License-Identifier: Apache-2.0
// The library's life in a Python process: one initialisation at a time, the camera list, hot-plug
// notifications and opening cameras.
#pragma once

#include "Camera.h"

#include <pybind11/pybind11.h>

#include <memory>
#include <string>

namespace orvane::python {

class Library
{
public:
    /// Initialises the library; a second live Library gives TF_ERROR_ALREADY_INITIALIZED.
    Library();
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    /// Shuts the library down (open cameras must be closed first); idempotent.
    void Shutdown();
    bool IsLive() const { return m_live; }

    /// Waits up to `waitS` seconds until at least `minCount` cameras are listed; returns the list as dicts.
    pybind11::list Devices(double waitS, unsigned minCount);
    /// Calls `fn(info_dict, added)` on every arrival and removal (None stops the calls).
    void OnHotPlug(pybind11::object fn);
    /// Opens by URI, alias or IP address (exactly one given).
    std::unique_ptr<Camera> Open(const std::string &uri, const std::string &alias, const std::string &ip);

    static std::string Version();
    static void Bind(pybind11::module_ &module);

private:
    bool m_live = false;
};

} // namespace orvane::python
