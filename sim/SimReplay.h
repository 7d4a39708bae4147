// SPDX-License-Identifier: Apache-2.0
// SimReplay: turns a simulated camera into the camera of a raw recording: its settings as recorded, its
// stream the recorded buffers, and the host's settings acknowledged without changing what it reports.
#pragma once

#include "SimCamera.h"
#include "SimRecording.h"
#include "SimReplaySource.h"

#include <memory>
#include <string>

class SimReplay
{
public:
    /// Makes `camera` (not yet serving) replay the recording at `path`, which `recording` was loaded from.
    /// Returns the source that serves the buffers, or null with `error` set.
    static std::shared_ptr<SimReplaySource> Attach(SimCamera &camera, const SimRecording &recording,
                                                   const std::string &path, const SimReplayOptions &options,
                                                   std::string &error);
    /// The camera's command hook during a replay: the stream switch, the calibration request and the
    /// upgrade and transfer commands go on as usual; every other setting is acknowledged and left as
    /// recorded, since a replay cannot change what was recorded.
    static SimHookResult HoldSettings(const RecordedFrame &frame);
};
