// SPDX-License-Identifier: Apache-2.0
// Writes the frames of one set as files: PNG images, a PLY point cloud from the depth frame (coloured
// when the colour image mapped to depth came with it) and raw pixels with a JSON sidecar, named
// <serial>_<index>_<stream>.<ext>.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FrameCapture.h"
#include "Orvane_api.h"
#include "PlyWriter.h"
#include "StreamChoice.h"

namespace orvane::cli {

struct SaveFormats
{
    bool png = false;
    bool ply = false;
    bool raw = false;
    bool ascii = false; // PLY as text
};

struct SavedFile
{
    std::string path;
    std::string stream; // "depth", ... or "points"
    std::string format; // "png", "ply", "raw" or "json"
    uint32_t frameIndex = 0;
};

class FrameSaver
{
public:
    FrameSaver(TfDeviceHandle device, std::string uri, std::string directory, SaveFormats formats,
               std::vector<const StreamKind *> streams);

    /// Reads the intrinsics the sidecars describe and the point cloud falls back on.
    void ReadCameraParameters();
    /// Writes the files of the set `capture` read last, adding each to `saved`; false, with `error`, at
    /// the first that cannot be written.
    bool Save(const FrameCapture &capture, std::vector<SavedFile> &saved, std::string &error);

    /// The file name stem of a frame: the serial part of the URI (characters unfit for a file name
    /// replaced), its index and the stream.
    static std::string Stem(const std::string &uri, uint32_t frameIndex, const std::string &stream);
    /// The points of a depth frame (pixels without depth left out) and, when `mapped` is a colour image
    /// of the same size, their colours. False, with `error`, when no conversion works.
    bool BuildCloud(const TfFrame &depth, const TfFrame *mapped, PointCloud &cloud, std::string &error) const;

private:
    bool SaveFrame(const CapturedFrame &captured, const StreamKind &kind, std::vector<SavedFile> &saved,
                   std::string &error) const;
    bool ConvertPinhole(const TfFrame &depth, std::vector<TfVector3f> &points, std::string &error) const;
    nlohmann::json CameraJson(TfFrameType type) const;

    TfDeviceHandle m_device;
    std::string m_uri;
    std::string m_directory;
    SaveFormats m_formats;
    std::vector<const StreamKind *> m_streams;
    bool m_hasTof = false;
    bool m_hasColor = false;
    TfCameraParameters m_tof{};
    TfCameraParameters m_color{};
};

} // namespace orvane::cli
