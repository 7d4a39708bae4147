// SPDX-License-Identifier: Apache-2.0
// One open camera for Python: reading sets into arrays the caller owns, its settings, geometry and frame
// callback, with the GIL released around every call that may block.
#include "Camera.h"

#include "CameraSettings.h"
#include "FrameCallbacks.h"
#include "StatusError.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace py = pybind11;

namespace orvane::python {

namespace {

using Clock = std::chrono::steady_clock;

/// The library waits at most this long per read call; longer time-outs take several calls.
constexpr int kMaxWaitMs = 1000;

bool IsReady(const TfFrameReady &ready, size_t slot)
{
    switch (slot) {
    case kDepthSlot:
        return ready.depth != 0;
    case kIrSlot:
        return ready.ir != 0;
    case kConfidenceSlot:
        return ready.confidence != 0;
    case kColorSlot:
        return ready.color != 0;
    case kColorMappedToDepthSlot:
        return ready.colorMappedToDepth != 0;
    case kDepthMappedToColorSlot:
        return ready.depthMappedToColor != 0;
    case kIrMappedToColorSlot:
        return ready.irMappedToColor != 0;
    default:
        return false;
    }
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void LogRefused(const std::vector<std::string> &refused)
{
    for (const std::string &why : refused) {
        py::module_::import("logging").attr("getLogger")("orvane").attr("warning")("frame left out: %s", why);
    }
}

} // namespace

Camera::Camera(TfDeviceHandle device) : m_device(device)
{
}

Camera::~Camera()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; the handle is gone either way.
    }
}

TfDeviceHandle Camera::Device() const
{
    if (m_device == nullptr) {
        throw StatusError(TF_ERROR_INVALID_HANDLE, "the camera is closed");
    }
    return m_device;
}

template <typename Call> void Camera::Run(const char *what, Call call)
{
    const TfDeviceHandle device = Device();
    int status = TF_OK;
    {
        py::gil_scoped_release nogil;
        status = call(device);
    }
    StatusError::Check(status, what);
}

void Camera::Close()
{
    if (m_device == nullptr) {
        return;
    }
    m_closing = true;
    const int slot = std::exchange(m_slot, -1);
    FrameCallbacks::Detach(m_device, slot);
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(m_ioMutex);
    if (m_device != nullptr) {
        TFCM_CloseDevice(&m_device);
        m_device = nullptr;
    }
}

int Camera::ReadLocked(double timeoutS, std::array<FrameCopy, kStreamCount> &copies,
                       std::array<bool, kStreamCount> &present, std::vector<std::string> &refused)
{
    if (m_device == nullptr) {
        return TF_ERROR_INVALID_HANDLE;
    }
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(std::max(timeoutS, 0.0)));
    TfFrameReady ready{};
    int status = TF_ERROR_FRAME_TIMEOUT;
    do {
        const auto leftMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int waitMs = static_cast<int>(std::clamp<long long>(leftMs, 1, kMaxWaitMs));
        if (waitMs != m_waitMs &&
            TFCM_SetWaitTimeOfReadNextFrame(m_device, static_cast<uint16_t>(waitMs)) == TF_OK) {
            m_waitMs = waitMs;
        }
        status = TFCM_ReadNextFrame(m_device, &ready);
    } while (status == TF_ERROR_FRAME_TIMEOUT && Clock::now() < deadline && !m_closing);
    m_lastPresent = {};
    if (status != TF_OK) {
        return status;
    }
    for (size_t s = 0; s < kStreamCount; ++s) {
        TfFrame frame{};
        present[s] = false;
        if (!IsReady(ready, s) || TFCM_GetFrame(m_device, FrameSet::kStreams[s].type, &frame) != TF_OK) {
            continue;
        }
        std::string why;
        if (!copies[s].Describe(frame, why)) {
            refused.push_back(std::string(FrameSet::kStreams[s].name) + ": " + why);
            continue;
        }
        present[s] = true;
        m_lastFrames[s] = frame;
    }
    m_lastPresent = present;
    m_libraryS = Seconds(Clock::now() - start);
    return TF_OK;
}

py::object Camera::Read(double timeoutS, py::object out)
{
    const Clock::time_point start = Clock::now();
    if (!out.is_none() && !py::isinstance<FrameSet>(out)) {
        throw py::type_error("out must be a FrameSet from an earlier read");
    }
    py::object holder = out.is_none() ? py::cast(FrameSet()) : out;
    FrameSet &set = holder.cast<FrameSet &>();
    std::array<FrameCopy, kStreamCount> copies;
    std::array<bool, kStreamCount> present{};
    std::vector<std::string> refused;
    std::unique_lock<std::mutex> lock(m_ioMutex, std::defer_lock);
    int status = TF_OK;
    {
        py::gil_scoped_release nogil;
        lock.lock();
        status = ReadLocked(timeoutS, copies, present, refused);
    }
    if (status != TF_OK) {
        lock.unlock();
        StatusError::Check(status, "TFCM_ReadNextFrame");
    }
    std::array<py::array, kStreamCount> arrays;
    std::array<void *, kStreamCount> data{};
    for (size_t s = 0; s < kStreamCount; ++s) {
        if (present[s]) {
            arrays[s] = set.Destination(s, copies[s], data[s]);
        }
    }
    {
        py::gil_scoped_release nogil;
        for (size_t s = 0; s < kStreamCount; ++s) {
            if (present[s]) {
                copies[s].CopyTo(data[s]);
            }
        }
    }
    m_totalS = Seconds(Clock::now() - start);
    lock.unlock();
    for (size_t s = 0; s < kStreamCount; ++s) {
        if (present[s]) {
            set.Put(s, std::move(arrays[s]), copies[s]);
        }
    }
    set.KeepOnly(present);
    if (!refused.empty()) {
        LogRefused(refused);
    }
    return holder;
}

int Camera::ReadWithoutCopy(double timeoutS)
{
    std::array<FrameCopy, kStreamCount> copies;
    std::array<bool, kStreamCount> present{};
    std::vector<std::string> refused;
    int status = TF_OK;
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(m_ioMutex);
        status = ReadLocked(timeoutS, copies, present, refused);
    }
    StatusError::Check(status, "TFCM_ReadNextFrame");
    return static_cast<int>(std::count(present.begin(), present.end(), true));
}

py::dict Camera::LastFrames() const
{
    py::dict out;
    for (size_t s = 0; s < kStreamCount; ++s) {
        if (m_lastPresent[s]) {
            const TfFrame &f = m_lastFrames[s];
            const uint32_t length = f.dataLen, format = f.pixelFormat;
            const uint16_t width = f.width, height = f.height;
            out[FrameSet::kStreams[s].name] =
                py::make_tuple(reinterpret_cast<uintptr_t>(f.pFrameData), length, width, height, format);
        }
    }
    return out;
}

py::tuple Camera::LastReadTimes() const
{
    return py::make_tuple(m_libraryS, m_totalS);
}

py::list Camera::GetSetting(const std::string &name)
{
    const SettingRow *row = CameraSettings::Find(name);
    if (row == nullptr || row->get == nullptr) {
        throw py::attribute_error("no readable setting " + name);
    }
    SettingValues values;
    Run(row->name, [&](TfDeviceHandle d) { return row->get(d, values); });
    return py::cast(values);
}

void Camera::SetSetting(const std::string &name, const std::vector<double> &value)
{
    const SettingRow *row = CameraSettings::Find(name);
    if (row == nullptr) {
        throw py::attribute_error("no setting " + name);
    }
    if (value.size() != row->arity) {
        throw py::value_error(name + " takes " + std::to_string(row->arity) + " value(s)");
    }
    Run(row->name, [&](TfDeviceHandle d) { return row->set(d, value); });
}

py::dict Camera::Intrinsics(int sensor)
{
    TfCameraParameters p{};
    Run("TFCM_GetCameraParameters",
        [&](TfDeviceHandle d) { return TFCM_GetCameraParameters(d, static_cast<TfSensorType>(sensor), &p); });
    TfFrameMode mode{};
    const TfFrameType type = sensor == TF_SENSOR_COLOR ? TF_FRAME_COLOR : TF_FRAME_DEPTH;
    Run("TFCM_GetFrameMode", [&](TfDeviceHandle d) { return TFCM_GetFrameMode(d, type, &mode); });
    py::dict out;
    out["fx"] = p.fx;
    out["fy"] = p.fy;
    out["cx"] = p.cx;
    out["cy"] = p.cy;
    out["distortion"] = std::vector<double>{p.k1, p.k2, p.p1, p.p2, p.k3, p.k4, p.k5, p.k6};
    out["width"] = mode.resolutionWidth;
    out["height"] = mode.resolutionHeight;
    return out;
}

py::tuple Camera::Extrinsics()
{
    TfCameraExtrinsicParameters p{};
    Run("TFCM_GetCameraExtrinsicParameters",
        [&](TfDeviceHandle d) { return TFCM_GetCameraExtrinsicParameters(d, &p); });
    return py::make_tuple(std::vector<double>(p.rotation, p.rotation + 9),
                          std::vector<double>(p.translation, p.translation + 3));
}

py::tuple Camera::MeasuringRange(int range)
{
    TfMeasuringRange r{};
    r.depthRange = static_cast<uint8_t>(range);
    Run("TFCM_GetDepthMeasuringRange", [&](TfDeviceHandle d) { return TFCM_GetDepthMeasuringRange(d, &r); });
    const uint16_t effective = r.depthMax[0], maximum = r.depthMax[2];
    return py::make_tuple(effective, maximum);
}

py::dict Camera::DropCounters()
{
    TfDropCounters c{};
    int32_t size = sizeof c;
    Run("TFCM_GetProperty",
        [&](TfDeviceHandle d) { return TFCM_GetProperty(d, TF_PROPERTY_EXT_DROP_COUNTERS, &c, &size); });
    const auto counts = [](const TfDropCounts &n) {
        py::dict d;
        d["queue_full"] = n.queueFull;
        d["set_incomplete"] = n.setIncomplete;
        d["decode_error"] = n.decodeError;
        d["buffer_refused"] = n.bufferRefused;
        d["color_late"] = n.colorLate;
        return d;
    };
    py::dict out;
    out["tof"] = counts(c.tof);
    out["color"] = counts(c.color);
    out["tof_delivered"] = c.tofDelivered;
    out["color_delivered"] = c.colorDelivered;
    return out;
}

std::string Camera::Property(int key)
{
    char text[256] = {};
    int32_t size = sizeof text - 1;
    Run("TFCM_GetProperty", [&](TfDeviceHandle d) { return TFCM_GetProperty(d, key, text, &size); });
    return std::string(text, strnlen(text, sizeof text - 1));
}

py::list Camera::PropertyList(int key)
{
    uint8_t list[64] = {};
    int32_t size = sizeof list;
    Run("TFCM_GetProperty", [&](TfDeviceHandle d) { return TFCM_GetProperty(d, key, list, &size); });
    // The count comes from the camera: never past the buffer.
    const size_t count = std::min<size_t>(list[0], sizeof list - 1);
    py::list out;
    for (size_t i = 0; i < count; ++i) {
        out.append(list[1 + i]);
    }
    return out;
}

py::array_t<float> Camera::PointCloud(py::array_t<uint16_t, py::array::c_style> depth)
{
    if (depth.ndim() != 2) {
        throw py::value_error("depth must be a 2-D uint16 array");
    }
    TfFrame frame{};
    frame.frameType = TF_FRAME_DEPTH;
    frame.pixelFormat = TF_PIXEL_DEPTH_MM16;
    frame.height = static_cast<uint16_t>(depth.shape(0));
    frame.width = static_cast<uint16_t>(depth.shape(1));
    if (frame.height != depth.shape(0) || frame.width != depth.shape(1)) {
        throw py::value_error("depth image too large");
    }
    frame.dataLen = static_cast<uint32_t>(depth.nbytes());
    frame.pFrameData = reinterpret_cast<uint8_t *>(const_cast<uint16_t *>(depth.data()));
    py::array_t<float> points({static_cast<py::ssize_t>(depth.size()), py::ssize_t{3}});
    auto *vectors = reinterpret_cast<TfVector3f *>(points.mutable_data());
    Run("TFCM_ConvertDepthFrameToPointCloudVector",
        [&](TfDeviceHandle d) { return TFCM_ConvertDepthFrameToPointCloudVector(d, &frame, vectors); });
    return points;
}

void Camera::OnFrames(py::object fn)
{
    const TfDeviceHandle device = Device();
    if (fn.is_none()) {
        const int slot = std::exchange(m_slot, -1);
        StatusError::Check(FrameCallbacks::Detach(device, slot), "TFCM_UnRegisterNotify");
        return;
    }
    m_slot = FrameCallbacks::Attach(device, m_slot, fn.cast<py::function>());
}

py::tuple Camera::CallbackCounts() const
{
    return FrameCallbacks::Counts(m_slot);
}

void Camera::StartStream()
{
    Run("TFCM_StartStream", [](TfDeviceHandle d) { return TFCM_StartStream(d); });
}

void Camera::StopStream()
{
    Run("TFCM_StopStream", [](TfDeviceHandle d) { return TFCM_StopStream(d); });
}

void Camera::Trigger()
{
    Run("TFCM_SetSoftwareSlaveTrigger", [](TfDeviceHandle d) { return TFCM_SetSoftwareSlaveTrigger(d); });
}

} // namespace orvane::python

namespace orvane::python {

void Camera::Bind(py::module_ &module)
{
    py::class_<Camera>(module, "Camera", "An open camera of the compiled layer (orvane.Camera wraps it).")
        .def("close", &Camera::Close, "Unregisters the frame callback and closes the camera; idempotent.")
        .def_property_readonly("is_open", &Camera::IsOpen)
        .def("read", &Camera::Read, py::arg("timeout"), py::arg("out") = py::none(),
             "Waits up to `timeout` seconds for the next set; copies it into `out` or a new FrameSet.")
        .def("read_without_copy", &Camera::ReadWithoutCopy, py::arg("timeout"),
             "Reads the next set and fetches its frames without copying them; returns the frame count.")
        .def("last_frames", &Camera::LastFrames,
             "The library's own buffers of the last read: name -> (address, bytes, width, height, format).")
        .def("last_read_times", &Camera::LastReadTimes,
             "(seconds in the library, seconds in total) of the last read.")
        .def("get_setting", &Camera::GetSetting, py::arg("name"))
        .def("set_setting", &Camera::SetSetting, py::arg("name"), py::arg("value"))
        .def("intrinsics", &Camera::Intrinsics, py::arg("sensor"))
        .def("extrinsics", &Camera::Extrinsics)
        .def("measuring_range", &Camera::MeasuringRange, py::arg("range"))
        .def("drop_counters", &Camera::DropCounters)
        .def("property", &Camera::Property, py::arg("key"))
        .def("property_list", &Camera::PropertyList, py::arg("key"))
        .def("point_cloud", &Camera::PointCloud, py::arg("depth"))
        .def("on_frames", &Camera::OnFrames, py::arg("fn"))
        .def("callback_counts", &Camera::CallbackCounts)
        .def("start", &Camera::StartStream)
        .def("stop", &Camera::StopStream)
        .def("trigger", &Camera::Trigger)
        .def_property_readonly("handle", &Camera::Handle);
}

} // namespace orvane::python
