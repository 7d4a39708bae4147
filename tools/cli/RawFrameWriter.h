// SPDX-License-Identifier: Apache-2.0
// Writes a frame's pixels exactly as delivered, and beside them a JSON sidecar with every field of the
// frame and what is known of the camera (its URI, its intrinsics).
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"

namespace orvane::cli {

class RawFrameWriter
{
public:
    /// Writes the frame's `dataLen` bytes to `pixelsPath`, then the sidecar to `sidecarPath`, each
    /// through a temporary name. `camera` goes into the sidecar as it is. False, with `error`, on failure.
    static bool Write(const std::string &pixelsPath, const std::string &sidecarPath, const TfFrame &frame,
                      const nlohmann::json &camera, std::string &error);
    /// Every field of the frame but its data pointer.
    static nlohmann::json FrameFields(const TfFrame &frame);
};

} // namespace orvane::cli
