// SPDX-License-Identifier: Apache-2.0
// Writes the frames of one set as files: PNG images, a PLY point cloud from the depth frame (coloured
// when the colour image mapped to depth came with it) and raw pixels with a JSON sidecar, named
// <serial>_<index>_<stream>.<ext>.
#include "FrameSaver.h"

#include <cstring>

#include "PngWriter.h"
#include "RawFrameWriter.h"

namespace orvane::cli {
namespace {

constexpr uint16_t kNoDepth = 0xFFFF; // like 0, a pixel without depth

nlohmann::json ParametersJson(const TfCameraParameters &p)
{
    return {{"fx", p.fx}, {"fy", p.fy}, {"cx", p.cx}, {"cy", p.cy}, {"k1", p.k1}, {"k2", p.k2},
            {"p1", p.p1}, {"p2", p.p2}, {"k3", p.k3}, {"k4", p.k4}, {"k5", p.k5}, {"k6", p.k6}};
}

} // namespace

FrameSaver::FrameSaver(TfDeviceHandle device, std::string uri, std::string directory, SaveFormats formats,
                       std::vector<const StreamKind *> streams)
    : m_device(device), m_uri(std::move(uri)), m_directory(std::move(directory)), m_formats(formats),
      m_streams(std::move(streams))
{
}

void FrameSaver::ReadCameraParameters()
{
    m_hasTof = TFCM_GetCameraParameters(m_device, TF_SENSOR_TOF, &m_tof) == TF_OK;
    m_hasColor = TFCM_GetCameraParameters(m_device, TF_SENSOR_COLOR, &m_color) == TF_OK;
}

std::string FrameSaver::Stem(const std::string &uri, uint32_t frameIndex, const std::string &stream)
{
    std::string serial = uri.substr(uri.rfind(':') == std::string::npos ? 0 : uri.rfind(':') + 1);
    for (char &c : serial) {
        const bool fit = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                         c == '-' || c == '.';
        c = fit ? c : '_';
    }
    if (serial.empty() || serial[0] == '.') {
        serial = "camera" + serial;
    }
    return serial + "_" + std::to_string(frameIndex) + "_" + stream;
}

nlohmann::json FrameSaver::CameraJson(TfFrameType type) const
{
    nlohmann::json camera = {{"uri", m_uri}};
    const bool colour = type == TF_FRAME_COLOR;
    if (colour ? m_hasColor : m_hasTof) {
        camera["sensor"] = colour ? "color" : "tof";
        camera["intrinsics"] = ParametersJson(colour ? m_color : m_tof);
    }
    return camera;
}

bool FrameSaver::SaveFrame(const CapturedFrame &captured, const StreamKind &kind,
                           std::vector<SavedFile> &saved, std::string &error) const
{
    const TfFrame &frame = captured.frame;
    const std::string stem = m_directory + "/" + Stem(m_uri, frame.frameIndex, kind.name);
    if (m_formats.png) {
        PngImage image;
        if (!PngWriter::ImageOf(frame, image, error) || !PngWriter::Write(stem + ".png", image, error)) {
            return false;
        }
        saved.push_back({stem + ".png", kind.name, "png", frame.frameIndex});
    }
    if (m_formats.raw) {
        if (!RawFrameWriter::Write(stem + ".raw", stem + ".json", frame, CameraJson(kind.type), error)) {
            return false;
        }
        saved.push_back({stem + ".raw", kind.name, "raw", frame.frameIndex});
        saved.push_back({stem + ".json", kind.name, "json", frame.frameIndex});
    }
    return true;
}

bool FrameSaver::Save(const FrameCapture &capture, std::vector<SavedFile> &saved, std::string &error)
{
    for (const StreamKind *kind : m_streams) {
        const CapturedFrame *captured = capture.Find(kind->type);
        if (captured != nullptr && !SaveFrame(*captured, *kind, saved, error)) {
            return false;
        }
    }
    const CapturedFrame *depth = capture.Find(TF_FRAME_DEPTH);
    if (!m_formats.ply || depth == nullptr) {
        return true;
    }
    const CapturedFrame *mapped = capture.Find(TF_FRAME_COLOR_MAPPED_TO_DEPTH);
    PointCloud cloud;
    const std::string path = m_directory + "/" + Stem(m_uri, depth->frame.frameIndex, "points") + ".ply";
    if (!BuildCloud(depth->frame, mapped != nullptr ? &mapped->frame : nullptr, cloud, error) ||
        !PlyWriter::Write(path, cloud, m_formats.ascii, error)) {
        return false;
    }
    saved.push_back({path, "points", "ply", depth->frame.frameIndex});
    return true;
}

bool FrameSaver::ConvertPinhole(const TfFrame &depth, std::vector<TfVector3f> &points,
                                std::string &error) const
{
    // Each pixel through the pinhole of the ToF intrinsics; pixels without depth stay (0, 0, 0).
    if (!m_hasTof) {
        error = "the camera gave neither a depth-to-world table nor its ToF intrinsics";
        return false;
    }
    const size_t count = points.size();
    std::vector<TfDepthVector3> pixels(count);
    for (size_t i = 0; i < count; ++i) {
        uint16_t z;
        std::memcpy(&z, depth.pFrameData + 2 * i, sizeof z);
        pixels[i].depthX = static_cast<int32_t>(i % depth.width);
        pixels[i].depthY = static_cast<int32_t>(i / depth.width);
        pixels[i].depthZ = z == kNoDepth ? 0 : z;
    }
    TfCameraParameters tof = m_tof;
    const int status = TFCM_ConvertDepthToPointCloud(m_device, pixels.data(), points.data(),
                                                     static_cast<int32_t>(count), &tof);
    if (status != TF_OK) {
        error = "TFCM_ConvertDepthToPointCloud: " + std::to_string(status);
        return false;
    }
    return true;
}

bool FrameSaver::BuildCloud(const TfFrame &depth, const TfFrame *mapped, PointCloud &cloud,
                            std::string &error) const
{
    const size_t count = size_t{depth.width} * depth.height;
    if (depth.pixelFormat != TF_PIXEL_DEPTH_MM16 || depth.pFrameData == nullptr ||
        depth.dataLen < 2 * count || count == 0) {
        error = "the depth frame (" + std::to_string(depth.width) + " x " + std::to_string(depth.height) +
                ", " + std::to_string(depth.dataLen) + " bytes) cannot become points";
        return false;
    }
    std::vector<TfVector3f> points(count);
    TfFrame frame = depth;
    if (TFCM_ConvertDepthFrameToPointCloudVector(m_device, &frame, points.data()) != TF_OK &&
        !ConvertPinhole(depth, points, error)) {
        return false;
    }
    const bool colour = mapped != nullptr && mapped->width == depth.width && mapped->height == depth.height &&
                        (mapped->pixelFormat == TF_PIXEL_RGB888 || mapped->pixelFormat == TF_PIXEL_BGR888) &&
                        mapped->pFrameData != nullptr && mapped->dataLen >= 3 * count;
    const bool bgr = colour && mapped->pixelFormat == TF_PIXEL_BGR888;
    cloud = PointCloud{};
    cloud.points.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (points[i].z <= 0.0f) {
            continue;
        }
        cloud.points.push_back(points[i]);
        if (colour) {
            const uint8_t *rgb = mapped->pFrameData + 3 * i;
            cloud.rgb.insert(cloud.rgb.end(), {rgb[bgr ? 2 : 0], rgb[1], rgb[bgr ? 0 : 2]});
        }
    }
    return true;
}

} // namespace orvane::cli
