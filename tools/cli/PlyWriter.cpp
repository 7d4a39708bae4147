// SPDX-License-Identifier: Apache-2.0
// Writes a point cloud as a PLY file: binary little-endian by default, ASCII on request, with a colour
// per point when one is given.
#include "PlyWriter.h"

#include <cstdio>
#include <cstring>

#include "AtomicFile.h"

namespace orvane::cli {
namespace {

void AppendFloatLe(std::string &out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
}

std::string Header(size_t count, bool colour, bool ascii)
{
    std::string header = std::string("ply\nformat ") + (ascii ? "ascii" : "binary_little_endian") +
                         " 1.0\ncomment orvane-cli point cloud, millimetres\nelement vertex " +
                         std::to_string(count) + "\nproperty float x\nproperty float y\nproperty float z\n";
    if (colour) {
        header += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    }
    return header + "end_header\n";
}

} // namespace

bool PlyWriter::Write(const std::string &path, const PointCloud &cloud, bool ascii, std::string &error)
{
    const bool colour = !cloud.rgb.empty();
    if (colour && cloud.rgb.size() != 3 * cloud.points.size()) {
        error = path + ": " + std::to_string(cloud.rgb.size()) + " colour bytes for " +
                std::to_string(cloud.points.size()) + " points";
        return false;
    }
    std::string body = Header(cloud.points.size(), colour, ascii);
    body.reserve(body.size() + cloud.points.size() * (ascii ? 40 : 15));
    for (size_t i = 0; i < cloud.points.size(); ++i) {
        const TfVector3f &p = cloud.points[i];
        if (ascii) {
            char line[96];
            int length = std::snprintf(line, sizeof line, "%.3f %.3f %.3f", p.x, p.y, p.z);
            if (colour) {
                length += std::snprintf(line + length, sizeof line - static_cast<size_t>(length), " %u %u %u",
                                        cloud.rgb[3 * i], cloud.rgb[3 * i + 1], cloud.rgb[3 * i + 2]);
            }
            body.append(line, static_cast<size_t>(length));
            body.push_back('\n');
            continue;
        }
        AppendFloatLe(body, p.x);
        AppendFloatLe(body, p.y);
        AppendFloatLe(body, p.z);
        if (colour) {
            body.append(reinterpret_cast<const char *>(&cloud.rgb[3 * i]), 3);
        }
    }
    AtomicFile file(path);
    if (!file.Write(body.data(), body.size()) || !file.Commit()) {
        error = file.Error();
        return false;
    }
    return true;
}

} // namespace orvane::cli
