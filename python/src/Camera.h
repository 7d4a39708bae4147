// SPDX-License-Identifier: Apache-2.0
// One open camera for Python: reading sets into arrays the caller owns, its settings, geometry and frame
// callback, with the GIL released around every call that may block.
#pragma once

#include "FrameCopy.h"
#include "FrameSet.h"
#include "Orvane_api.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace orvane::python {

class Camera
{
public:
    explicit Camera(TfDeviceHandle device);
    ~Camera();
    Camera(const Camera &) = delete;
    Camera &operator=(const Camera &) = delete;

    /// Unregisters the callback and closes the handle; a second close does nothing.
    void Close();
    bool IsOpen() const { return m_device != nullptr; }

    /// Waits up to `timeoutS` for the next set and copies it into `out` (a FrameSet) or a new FrameSet.
    pybind11::object Read(double timeoutS, pybind11::object out);
    /// Reads the next set and fetches its frames without copying them (the library's own cost); returns
    /// the number of frames.
    int ReadWithoutCopy(double timeoutS);
    /// Where the library's frames of the last read() are: stream name to (address, bytes, width, height,
    /// pixel format). Valid until the next read.
    pybind11::dict LastFrames() const;
    /// Seconds the last read() spent in the library and in total.
    pybind11::tuple LastReadTimes() const;

    pybind11::list GetSetting(const std::string &name);
    void SetSetting(const std::string &name, const std::vector<double> &value);

    pybind11::dict Intrinsics(int sensor);
    pybind11::tuple Extrinsics();
    pybind11::tuple MeasuringRange(int range);
    pybind11::dict DropCounters();
    std::string Property(int key);
    pybind11::list PropertyList(int key);

    /// The library's conversion of `depth` (uint16 H x W) into H x W points (N x 3 float32, millimetres).
    pybind11::array_t<float> PointCloud(pybind11::array_t<uint16_t, pybind11::array::c_style> depth);

    void OnFrames(pybind11::object fn);
    pybind11::tuple CallbackCounts() const;

    void StartStream();
    void StopStream();
    void Trigger();
    /// The handle as a number, for ctypes users of the same library.
    uintptr_t Handle() const { return reinterpret_cast<uintptr_t>(m_device); }

    static void Bind(pybind11::module_ &module);

private:
    TfDeviceHandle Device() const;
    /// Without the GIL, holding m_ioMutex: waits for a set and fetches its frames.
    int ReadLocked(double timeoutS, std::array<FrameCopy, kStreamCount> &copies,
                   std::array<bool, kStreamCount> &present, std::vector<std::string> &refused);
    /// Runs `call` on the handle with the GIL released, throwing on failure.
    template <typename Call> void Run(const char *what, Call call);

    TfDeviceHandle m_device = nullptr;
    std::atomic<bool> m_closing{false}; // a read in progress stops waiting after its current library call
    std::mutex m_ioMutex;               // one read, close or callback change at a time
    int m_waitMs = -1;                  // guarded by m_ioMutex: the wait time last set in the library
    int m_slot = -1;                    // changed under the GIL: the frame callback's slot
    std::array<TfFrame, kStreamCount> m_lastFrames{}; // guarded by m_ioMutex
    std::array<bool, kStreamCount> m_lastPresent{};   // guarded by m_ioMutex
    double m_libraryS = 0;
    double m_totalS = 0;
};

} // namespace orvane::python
