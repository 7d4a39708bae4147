// SPDX-License-Identifier: Apache-2.0
// Frame callbacks into Python. The library's frame callback carries no context, so a fixed table of
// trampolines (one function per slot) binds each open camera to its Python function.
#include "FrameCallbacks.h"

#include "FrameCopy.h"
#include "FrameSet.h"
#include "Interpreter.h"
#include "StatusError.h"

#include <pybind11/numpy.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <utility>

namespace py = pybind11;

namespace orvane::python {

namespace {

struct Slot
{
    std::mutex mutex;
    bool active = false; // guarded by mutex
    py::object fn;       // guarded by mutex; changed and released only under the GIL
    std::atomic<uint64_t> delivered{0};
    std::atomic<uint64_t> raised{0};
};

std::array<Slot, FrameCallbacks::kSlots> g_slots;

struct Buffer
{
    void operator()(void *data) const { std::free(data); }
};

/// Logs what a callback raised through Python's logging ("orvane" logger); never lets it out.
void Report(py::error_already_set &error)
{
    try {
        py::module_::import("logging").attr("getLogger")("orvane").attr("error")(
            "frame callback raised %s", py::repr(error.value()),
            py::arg("exc_info") = py::make_tuple(error.type(), error.value(), error.trace()));
    } catch (py::error_already_set &) {
        PyErr_Clear();
    }
}

/// The body of every trampoline: copies the frames without the GIL, then calls the slot's function.
int Deliver(size_t index, CallbackFrames *frames)
{
    Slot &slot = g_slots[index];
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (!slot.active || frames == nullptr || InterpreterGone()) {
            return 0;
        }
    }
    const std::array<std::pair<const TfFrame *, bool>, kStreamCount> parts = {{
        {&frames->depth, frames->hasDepth != 0},
        {&frames->ir, frames->hasIr != 0},
        {&frames->confidence, frames->hasConfidence != 0},
        {&frames->color, frames->hasColor != 0},
        {&frames->colorMappedToDepth, frames->hasMappedColor != 0},
        {&frames->depthMappedToColor, frames->hasMappedDepth != 0},
        {&frames->irMappedToColor, frames->hasMappedIr != 0},
    }};
    std::array<FrameCopy, kStreamCount> copies;
    std::array<std::unique_ptr<void, Buffer>, kStreamCount> buffers;
    for (size_t s = 0; s < kStreamCount; ++s) {
        std::string why;
        if (parts[s].second && copies[s].Describe(*parts[s].first, why)) {
            buffers[s].reset(std::malloc(copies[s].Bytes()));
            if (buffers[s]) {
                copies[s].CopyTo(buffers[s].get());
            }
        }
    }
    if (InterpreterGone()) {
        return 0;
    }
    py::gil_scoped_acquire gil;
    py::object fn;
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (!slot.active) {
            return 0;
        }
        fn = slot.fn;
    }
    try {
        FrameSet set;
        for (size_t s = 0; s < kStreamCount; ++s) {
            if (!buffers[s]) {
                continue;
            }
            std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(copies[s].Height()),
                                              static_cast<py::ssize_t>(copies[s].Width())};
            if (copies[s].Channels() > 1) {
                shape.push_back(static_cast<py::ssize_t>(copies[s].Channels()));
            }
            void *data = buffers[s].release();
            py::capsule owner(data, [](void *p) { std::free(p); });
            const py::dtype dtype =
                copies[s].SampleBytes() == 2 ? py::dtype::of<uint16_t>() : py::dtype::of<uint8_t>();
            set.Put(s, py::array(dtype, shape, {}, data, owner), copies[s]);
        }
        slot.delivered.fetch_add(1);
        fn(py::cast(std::move(set)));
    } catch (py::error_already_set &error) {
        slot.raised.fetch_add(1);
        Report(error);
    } catch (const std::exception &error) {
        slot.raised.fetch_add(1);
        PySys_WriteStderr("orvane: frame callback failed: %s\n", error.what());
    }
    return 0;
}

template <size_t I> int Trampoline(CallbackFrames *frames)
{
    return Deliver(I, frames);
}

template <size_t... I>
constexpr std::array<TfFrameNotifyCallback, sizeof...(I)> MakeTrampolines(std::index_sequence<I...>)
{
    return {&Trampoline<I>...};
}

constexpr auto kTrampolines = MakeTrampolines(std::make_index_sequence<FrameCallbacks::kSlots>());

} // namespace

int FrameCallbacks::Attach(TfDeviceHandle device, int current, py::function fn)
{
    if (current >= 0) {
        std::lock_guard<std::mutex> lock(g_slots[static_cast<size_t>(current)].mutex);
        g_slots[static_cast<size_t>(current)].fn = std::move(fn);
        return current;
    }
    size_t chosen = kSlots;
    for (size_t i = 0; i < kSlots && chosen == kSlots; ++i) {
        std::lock_guard<std::mutex> lock(g_slots[i].mutex);
        if (!g_slots[i].active && !g_slots[i].fn) {
            g_slots[i].active = true;
            g_slots[i].fn = fn;
            g_slots[i].delivered = 0;
            g_slots[i].raised = 0;
            chosen = i;
        }
    }
    if (chosen == kSlots) {
        throw StatusError(TF_ERROR_OTHER, "every one of the " + std::to_string(kSlots) +
                                              " frame callback slots is taken: close a camera first");
    }
    int status = TF_OK;
    {
        py::gil_scoped_release nogil;
        status = TFCM_RegisterNotify(device, kTrampolines[chosen]);
    }
    if (status != TF_OK) {
        std::lock_guard<std::mutex> lock(g_slots[chosen].mutex);
        g_slots[chosen].active = false;
        g_slots[chosen].fn = py::object();
        StatusError::Check(status, "TFCM_RegisterNotify");
    }
    return static_cast<int>(chosen);
}

int FrameCallbacks::Detach(TfDeviceHandle device, int index)
{
    if (index < 0) {
        return TF_OK;
    }
    int status = TF_OK;
    {
        // A call in progress may be waiting for the GIL: the library waits for it with the GIL free.
        py::gil_scoped_release nogil;
        status = TFCM_UnRegisterNotify(device);
    }
    Slot &slot = g_slots[static_cast<size_t>(index)];
    py::object dropped;
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.active = false;
        dropped = std::move(slot.fn);
        slot.fn = py::object();
    }
    return status;
}

py::tuple FrameCallbacks::Counts(int index)
{
    if (index < 0) {
        return py::make_tuple(0, 0);
    }
    const Slot &slot = g_slots[static_cast<size_t>(index)];
    return py::make_tuple(slot.delivered.load(), slot.raised.load());
}

} // namespace orvane::python
