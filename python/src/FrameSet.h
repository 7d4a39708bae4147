// SPDX-License-Identifier: Apache-2.0
// The frames of one set as numpy arrays the caller owns, with each frame's index and timestamp; the
// arrays of an earlier set are written over again when their shape and type still fit.
#pragma once

#include "FrameCopy.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cstddef>

namespace orvane::python {

/// The streams a set may carry, in the order FrameSet keeps them.
enum StreamSlot : size_t
{
    kDepthSlot,
    kIrSlot,
    kConfidenceSlot,
    kColorSlot,
    kColorMappedToDepthSlot,
    kDepthMappedToColorSlot,
    kIrMappedToColorSlot,
    kStreamCount
};

struct StreamInfo
{
    const char *name; ///< the FrameSet attribute
    TfFrameType type;
};

class FrameSet
{
public:
    static const std::array<StreamInfo, kStreamCount> kStreams;

    /// Under the GIL: the array the frame of `slot` is copied into: this set's own array when its shape
    /// and type fit, a new one otherwise. `data` receives where to copy.
    pybind11::array Destination(size_t slot, const FrameCopy &copy, void *&data);
    /// Under the GIL: `array` (already holding the copy) becomes the frame of `slot`.
    void Put(size_t slot, pybind11::array array, const FrameCopy &copy);
    /// Under the GIL: the streams of `present` stay, the others become None.
    void KeepOnly(const std::array<bool, kStreamCount> &present);

    pybind11::object Array(size_t slot) const;
    pybind11::object Index() const;
    pybind11::object Timestamp() const;
    pybind11::dict Indices() const;
    pybind11::dict Timestamps() const;
    pybind11::list Streams() const;
    float ExposureTime() const { return m_exposureTime; }
    uint32_t DepthRange() const { return m_depthRange; }
    std::string Repr() const;

    static void Bind(pybind11::module_ &module);

private:
    /// The first present stream in slot order: its index and timestamp stand for the set's.
    int Leader() const;

    std::array<pybind11::object, kStreamCount> m_arrays;
    std::array<uint32_t, kStreamCount> m_indices{};
    std::array<uint64_t, kStreamCount> m_timestamps{};
    float m_exposureTime = 0;
    uint32_t m_depthRange = 0;
};

} // namespace orvane::python
