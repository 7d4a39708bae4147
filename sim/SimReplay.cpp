// SPDX-License-Identifier: Apache-2.0
// SimReplay: wiring a recording into a simulated camera's settings, stream and command hook.
#include "SimReplay.h"

#include "SimCommandSet.h"

namespace {
constexpr uint8_t kCalibrationRequest = 0x01;
constexpr uint8_t kStreamSwitch = 0x1B;
constexpr uint8_t kUpgradeAndJson = 0x1D;
} // namespace

std::shared_ptr<SimReplaySource> SimReplay::Attach(SimCamera &camera, const SimRecording &recording,
                                                   const std::string &path, const SimReplayOptions &options,
                                                   std::string &error)
{
    auto source = std::make_shared<SimReplaySource>(options);
    if (!source->Open(path, error)) {
        return nullptr;
    }
    const std::string address = camera.Config().address;
    for (size_t session = 0; session < camera.SessionCount(); ++session) {
        camera.UpdateSettings(
            [&](SimSettings &settings) {
                recording.ApplyTo(settings);
                settings.ipAddress = address;
            },
            session);
    }
    camera.SetCommandHook(&SimReplay::HoldSettings);
    // One recording is one session's stream.
    camera.Streamer(0).SetReplaySource(source);
    return source;
}

SimHookResult SimReplay::HoldSettings(const RecordedFrame &frame)
{
    SimHookResult result;
    const auto id = static_cast<uint8_t>(frame.command & ~SimCommandSet::kQueryBit);
    const bool query = (frame.command & SimCommandSet::kQueryBit) != 0;
    if (!query && id != kStreamSwitch && id != kCalibrationRequest && id != kUpgradeAndJson) {
        result.kind = SimHookResult::Kind::Done;
    }
    return result;
}
