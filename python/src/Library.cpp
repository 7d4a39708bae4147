// SPDX-License-Identifier: Apache-2.0
// The library's life in a Python process: one initialisation at a time, the camera list, hot-plug
// notifications and opening cameras.
#include "Library.h"

#include "Interpreter.h"
#include "StatusError.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace orvane::python {

namespace {

std::atomic<bool> g_live{false};
py::object *g_hotplug = nullptr; // changed and called only under the GIL; never destroyed (process lifetime)

py::dict InfoDict(const TfDeviceInfo &info)
{
    const std::string uri(info.uri, strnlen(info.uri, sizeof info.uri));
    const std::string alias(info.alias, strnlen(info.alias, sizeof info.alias));
    char ip[32] = {};
    if (TFCM_GetDeviceIP(uri.c_str(), ip) != TF_OK) {
        ip[0] = '\0';
    }
    py::dict d;
    d["uri"] = uri;
    d["alias"] = alias;
    d["ip"] = std::string(ip, strnlen(ip, sizeof ip - 1));
    d["sessions"] = static_cast<uint32_t>(info.sessionCount);
    d["device_type"] = static_cast<uint32_t>(info.devicetype);
    d["status"] = static_cast<uint32_t>(info.status);
    return d;
}

void OnHotPlugEvent(const TfDeviceInfo *info, int status, void *)
{
    if (info == nullptr || InterpreterGone()) {
        return;
    }
    const TfDeviceInfo copy = *info; // valid during the call only
    py::gil_scoped_acquire gil;
    if (g_hotplug == nullptr || g_hotplug->is_none()) {
        return;
    }
    const py::object fn = *g_hotplug;
    try {
        fn(InfoDict(copy), status == TF_HOTPLUG_ADDED);
    } catch (py::error_already_set &error) {
        py::module_::import("logging").attr("getLogger")("orvane").attr("error")(
            "hot-plug callback raised %s", py::repr(error.value()),
            py::arg("exc_info") = py::make_tuple(error.type(), error.value(), error.trace()));
    }
}

} // namespace

Library::Library()
{
    if (g_live.exchange(true)) {
        throw StatusError(TF_ERROR_ALREADY_INITIALIZED,
                          "another orvane.Context is live in this process: close it first");
    }
    if (g_hotplug == nullptr) {
        g_hotplug = new py::object(py::none());
    }
    int status = TF_OK;
    {
        py::gil_scoped_release nogil;
        // Registered first, so that cameras already announcing are reported too.
        TFCM_SetHotPlugStatusCallback_(&OnHotPlugEvent, &g_live);
        status = TFCM_Initialize();
    }
    if (status != TF_OK) {
        g_live = false;
        StatusError::Check(status, "TFCM_Initialize");
    }
    m_live = true;
}

Library::~Library()
{
    try {
        Shutdown();
    } catch (...) {
        // A destructor cannot report.
    }
}

void Library::Shutdown()
{
    if (!m_live) {
        return;
    }
    m_live = false;
    *g_hotplug = py::none();
    int status = TF_OK;
    {
        // A hot-plug call may be waiting for the GIL while the library stops its threads.
        py::gil_scoped_release nogil;
        status = TFCM_Shutdown();
    }
    g_live = false;
    StatusError::Check(status, "TFCM_Shutdown");
}

py::list Library::Devices(double waitS, unsigned minCount)
{
    if (!m_live) {
        throw StatusError(TF_ERROR_NOT_INITIALIZED, "the context is closed");
    }
    std::vector<TfDeviceInfo> infos;
    {
        py::gil_scoped_release nogil;
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(std::max(waitS, 0.0)));
        for (;;) {
            uint32_t count = 0;
            TFCM_GetDeviceCount(&count);
            if (count >= minCount || std::chrono::steady_clock::now() >= deadline) {
                infos.resize(count);
                if (count > 0 && TFCM_GetDeviceListInfo(infos.data(), count) != TF_OK) {
                    infos.clear();
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    py::list out;
    for (const TfDeviceInfo &info : infos) {
        if (info.uri[0] != '\0') {
            out.append(InfoDict(info));
        }
    }
    return out;
}

void Library::OnHotPlug(py::object fn)
{
    *g_hotplug = std::move(fn);
}

std::unique_ptr<Camera> Library::Open(const std::string &uri, const std::string &alias, const std::string &ip)
{
    if (!m_live) {
        throw StatusError(TF_ERROR_NOT_INITIALIZED, "the context is closed");
    }
    TfDeviceHandle device = nullptr;
    int status = TF_OK;
    const char *call = "TFCM_OpenDevice";
    {
        py::gil_scoped_release nogil;
        if (!uri.empty()) {
            status = TFCM_OpenDevice(uri.c_str(), &device);
        } else if (!alias.empty()) {
            call = "TFCM_OpenDeviceByAlias";
            status = TFCM_OpenDeviceByAlias(alias.c_str(), &device);
        } else {
            call = "TFCM_OpenDeviceByIP";
            status = TFCM_OpenDeviceByIP(ip.c_str(), &device);
        }
    }
    StatusError::Check(status, call);
    return std::make_unique<Camera>(device);
}

std::string Library::Version()
{
    char version[6] = {};
    TFCM_GetSDKVersion(version);
    return std::string(version, 5);
}

void Library::Bind(py::module_ &module)
{
    py::class_<Library>(module, "Library", "The initialised library (orvane.Context wraps it).")
        .def(py::init<>())
        .def("shutdown", &Library::Shutdown)
        .def_property_readonly("is_live", &Library::IsLive)
        .def("devices", &Library::Devices, py::arg("wait"), py::arg("min_count"))
        .def("on_hotplug", &Library::OnHotPlug, py::arg("fn"))
        .def("open", &Library::Open, py::arg("uri") = "", py::arg("alias") = "", py::arg("ip") = "");
}

} // namespace orvane::python
