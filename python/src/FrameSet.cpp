// SPDX-License-Identifier: Apache-2.0
// The frames of one set as numpy arrays the caller owns, with each frame's index and timestamp; the
// arrays of an earlier set are written over again when their shape and type still fit.
#include "FrameSet.h"

namespace py = pybind11;

namespace orvane::python {

const std::array<StreamInfo, kStreamCount> FrameSet::kStreams = {{
    {"depth", TF_FRAME_DEPTH},
    {"ir", TF_FRAME_IR},
    {"confidence", TF_FRAME_CONFIDENCE},
    {"color", TF_FRAME_COLOR},
    {"color_mapped_to_depth", TF_FRAME_COLOR_MAPPED_TO_DEPTH},
    {"depth_mapped_to_color", TF_FRAME_DEPTH_MAPPED_TO_COLOR},
    {"ir_mapped_to_color", TF_FRAME_IR_MAPPED_TO_COLOR},
}};

namespace {

std::vector<py::ssize_t> ShapeOf(const FrameCopy &copy)
{
    std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(copy.Height()),
                                      static_cast<py::ssize_t>(copy.Width())};
    if (copy.Channels() > 1) {
        shape.push_back(static_cast<py::ssize_t>(copy.Channels()));
    }
    return shape;
}

py::dtype DtypeOf(const FrameCopy &copy)
{
    return copy.SampleBytes() == 2 ? py::dtype::of<uint16_t>() : py::dtype::of<uint8_t>();
}

bool Fits(const py::object &held, const FrameCopy &copy)
{
    if (held.is_none() || !py::isinstance<py::array>(held)) {
        return false;
    }
    const py::array array = py::reinterpret_borrow<py::array>(held);
    const auto shape = ShapeOf(copy);
    if (array.ndim() != static_cast<py::ssize_t>(shape.size()) || !array.dtype().is(DtypeOf(copy)) ||
        !array.writeable() || (array.flags() & py::array::c_style) == 0) {
        return false;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        if (array.shape(static_cast<py::ssize_t>(i)) != shape[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

py::array FrameSet::Destination(size_t slot, const FrameCopy &copy, void *&data)
{
    py::array array = Fits(m_arrays[slot], copy) ? py::reinterpret_borrow<py::array>(m_arrays[slot])
                                                 : py::array(DtypeOf(copy), ShapeOf(copy));
    data = array.mutable_data();
    return array;
}

void FrameSet::Put(size_t slot, py::array array, const FrameCopy &copy)
{
    m_arrays[slot] = std::move(array);
    m_indices[slot] = copy.Index();
    m_timestamps[slot] = copy.Timestamp();
    if (slot == kDepthSlot) {
        m_exposureTime = copy.ExposureTime();
        m_depthRange = copy.DepthRange();
    }
}

void FrameSet::KeepOnly(const std::array<bool, kStreamCount> &present)
{
    for (size_t slot = 0; slot < kStreamCount; ++slot) {
        if (!present[slot]) {
            m_arrays[slot] = py::none();
        }
    }
}

py::object FrameSet::Array(size_t slot) const
{
    return m_arrays[slot] ? m_arrays[slot] : py::none();
}

int FrameSet::Leader() const
{
    for (size_t slot = 0; slot < kStreamCount; ++slot) {
        if (m_arrays[slot] && !m_arrays[slot].is_none()) {
            return static_cast<int>(slot);
        }
    }
    return -1;
}

py::object FrameSet::Index() const
{
    const int leader = Leader();
    return leader < 0 ? py::object(py::none()) : py::object(py::int_(m_indices[static_cast<size_t>(leader)]));
}

py::object FrameSet::Timestamp() const
{
    const int leader = Leader();
    return leader < 0 ? py::object(py::none())
                      : py::object(py::int_(m_timestamps[static_cast<size_t>(leader)]));
}

py::dict FrameSet::Indices() const
{
    py::dict out;
    for (size_t slot = 0; slot < kStreamCount; ++slot) {
        if (m_arrays[slot] && !m_arrays[slot].is_none()) {
            out[kStreams[slot].name] = m_indices[slot];
        }
    }
    return out;
}

py::dict FrameSet::Timestamps() const
{
    py::dict out;
    for (size_t slot = 0; slot < kStreamCount; ++slot) {
        if (m_arrays[slot] && !m_arrays[slot].is_none()) {
            out[kStreams[slot].name] = m_timestamps[slot];
        }
    }
    return out;
}

py::list FrameSet::Streams() const
{
    py::list out;
    for (size_t slot = 0; slot < kStreamCount; ++slot) {
        if (m_arrays[slot] && !m_arrays[slot].is_none()) {
            out.append(kStreams[slot].name);
        }
    }
    return out;
}

std::string FrameSet::Repr() const
{
    std::string text = "<FrameSet";
    const py::object index = Index();
    text += index.is_none() ? " empty" : " #" + py::str(index).cast<std::string>();
    for (size_t slot = 0; slot < kStreamCount; ++slot) {
        if (m_arrays[slot] && !m_arrays[slot].is_none()) {
            const py::array array = py::reinterpret_borrow<py::array>(m_arrays[slot]);
            text += std::string(" ") + kStreams[slot].name + " " + std::to_string(array.shape(1)) + "x" +
                    std::to_string(array.shape(0));
        }
    }
    return text + ">";
}

void FrameSet::Bind(py::module_ &module)
{
    py::class_<FrameSet> cls(module, "FrameSet",
                             "The frames of one set, each a numpy array owned by the caller (None when the "
                             "set does not carry that stream). Pass it back as `read(out=...)` to have the "
                             "next set written into the same arrays.");
    cls.def(py::init<>());
    static const char *const kDocs[kStreamCount] = {
        "Depth in millimetres, uint16 H x W (0: no depth).",
        "IR, uint8 or uint16 H x W as the camera's IR format.",
        "Confidence, uint16 H x W.",
        "Colour, uint8 H x W x 3 in RGB order.",
        "Colour mapped into the depth camera, uint8 H x W x 3 RGB (with colour-to-depth mapping on).",
        "Depth mapped into the colour camera, uint16 H x W in millimetres (with depth-to-colour mapping on).",
        "IR mapped into the colour camera (with depth-to-colour mapping on).",
    };
    for (size_t slot = 0; slot < kStreamCount; ++slot) {
        cls.def_property_readonly(
            kStreams[slot].name, [slot](const FrameSet &set) { return set.Array(slot); }, kDocs[slot]);
    }
    cls.def_property_readonly(
        "index", &FrameSet::Index,
        "The camera's frame index of the set (of its depth frame, else its first frame).");
    cls.def_property_readonly(
        "timestamp", &FrameSet::Timestamp,
        "The camera's timestamp of the set in microseconds, from the same frame as index.");
    cls.def_property_readonly("indices", &FrameSet::Indices, "Frame index per stream present.");
    cls.def_property_readonly("timestamps", &FrameSet::Timestamps, "Camera timestamp per stream present.");
    cls.def_property_readonly("streams", &FrameSet::Streams, "Names of the streams the set carries.");
    cls.def_property_readonly("exposure_time", &FrameSet::ExposureTime, "Exposure time of the depth frame.");
    cls.def_property_readonly("depth_range", &FrameSet::DepthRange,
                              "Depth range the depth frame was taken in.");
    cls.def("__repr__", &FrameSet::Repr);
}

} // namespace orvane::python
