// SPDX-License-Identifier: Apache-2.0
// Writes a point cloud as a PLY file: binary little-endian by default, ASCII on request, with a colour
// per point when one is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Orvane_api.h"

namespace orvane::cli {

struct PointCloud
{
    std::vector<TfVector3f> points; // millimetres
    std::vector<uint8_t> rgb;       // empty, or red, green and blue of each point
};

class PlyWriter
{
public:
    /// Writes `cloud` to `path` (through a temporary name); false, with `error`, when the colours do not
    /// match the points or the file cannot be written.
    static bool Write(const std::string &path, const PointCloud &cloud, bool ascii, std::string &error);
};

} // namespace orvane::cli
