// SPDX-License-Identifier: Apache-2.0
// RecordingHeader: the JSON header of a recording, gathered from the opened camera through the library.
#pragma once

#include <nlohmann/json.hpp>

#include "CameraScope.h"
#include "StreamChoice.h"

namespace orvane::cli {

class RecordingHeader
{
public:
    /// The camera's identity, versions, intrinsics, extrinsics, modes and the start time. A value the
    /// camera does not give is left out (and named under "unavailable"), never guessed.
    static nlohmann::json Describe(const CameraScope &camera, const std::vector<const StreamKind *> &streams,
                                   int zstdLevel);
};

} // namespace orvane::cli
