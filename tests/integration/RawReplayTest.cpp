// SPDX-License-Identifier: Apache-2.0
// A field problem replayed: the library records a simulated camera's buffers, the simulator serves the
// recording as a camera, and the library decodes the same frames from it, bit for bit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CameraFixture.h"
#include "CameraSimulator.h"
#include "HotPlugRecorder.h"
#include "Orvane_api.h"
#include "SimRecording.h"
#include "SimReplay.h"
#include "TestSupport.h"

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(orvtest::ApiLoopbackEnvironment());
using namespace orvtest;

const std::string kSerial = "SNRAW242";
/// Decoded frames by (camera timestamp, frame type): the timestamp travels inside the recorded buffers.
using Frames = std::map<std::pair<uint64_t, uint32_t>, std::vector<uint8_t>>;

/// Reads sets for `timeoutMs` or until `done` says so, keeping a copy of every frame.
void Capture(TfDeviceHandle device, Frames &frames, unsigned timeoutMs,
             const std::function<bool()> &done = {})
{
    static const std::pair<uint32_t, TfFrameType> kTypes[] = {{kReadyDepth, TF_FRAME_DEPTH},
                                                              {kReadyIr, TF_FRAME_IR},
                                                              {kReadyColor, TF_FRAME_COLOR},
                                                              {kReadyConfidence, TF_FRAME_CONFIDENCE}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!(done && done()) && std::chrono::steady_clock::now() < deadline) {
        TfFrameReady ready{};
        if (TFCM_ReadNextFrame(device, &ready) != 0) {
            continue;
        }
        uint32_t bits = 0;
        std::memcpy(&bits, &ready, sizeof bits);
        for (const auto &[bit, type] : kTypes) {
            TfFrame frame{};
            if ((bits & bit) != 0 && TFCM_GetFrame(device, type, &frame) == 0) {
                const uint64_t timestamp = frame.timestamp; // copies: the record is packed
                const uint32_t frameType = frame.frameType;
                frames[{timestamp, frameType}].assign(frame.pFrameData, frame.pFrameData + frame.dataLen);
            }
        }
    }
}

/// The library initialised around `simulator`'s one camera, opened for `body` (which may close it), then all
/// of it shut down, so that the next run starts from a library that has never seen the camera.
void WithCamera(CameraSimulator &simulator, const std::function<void(TfDeviceHandle &)> &body)
{
    auto plugs = std::make_unique<HotPlugRecorder>();
    ASSERT_EQ(TFCM_Initialize(), 0);
    simulator.Start();
    const std::string uri = "KR52Lite:" + kSerial;
    TfDeviceHandle device = nullptr;
    if (plugs->WaitFor(uri, 0, 1, kCameraWaitMs) && TFCM_OpenDevice(uri.c_str(), &device) == 0) {
        body(device);
        if (device != nullptr) {
            EXPECT_EQ(TFCM_CloseDevice(&device), 0);
        }
    } else {
        ADD_FAILURE() << uri << " was not listed or did not open";
    }
    simulator.Stop();
    plugs.reset();
    EXPECT_EQ(TFCM_Shutdown(), 0);
}

/// Whether this process holds `path` open.
bool IsOpenHere(const std::string &path)
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) {
            return true;
        }
    }
    return false;
}

TfRawRecordingStatus RecordingStatus(TfDeviceHandle device)
{
    TfRawRecordingStatus status{};
    int32_t size = sizeof status;
    EXPECT_EQ(TFCM_GetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, &status, &size), TF_OK);
    return status;
}

TEST(RawReplayTest, ARecordingReplayedThroughTheSimulatorDecodesToTheSameFrames)
{
    TempDir dir;
    const std::string path = dir.Path() + "/field.raw";
    const std::string unstopped = dir.Path() + "/unstopped.raw";

    // The recorded run: a camera slow enough for a busy machine to decode every frame.
    CameraSimulator::Options options;
    options.announcePeriodMs = kAnnounceMs;
    CameraSimulator original(options);
    SimCameraConfig config;
    config.serial = kSerial;
    config.address = "127.0.0.242";
    SimCamera &camera = original.AddCamera(config);
    camera.UpdateSettings([&](SimSettings &s) {
        s.serial = s.deviceSerial = kSerial;
        s.ipAddress = config.address;
    });
    camera.Streamer().OverrideFramePeriod(std::chrono::milliseconds(100));
    Frames recorded;
    TfRawRecordingStatus status{};
    WithCamera(original, [&](TfDeviceHandle &device) {
        // Values that are not one NUL-terminated text are refused before anything starts.
        EXPECT_EQ(TFCM_SetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, "ab", 2),
                  TF_ERROR_INVALID_ARGUMENT);
        ASSERT_EQ(TFCM_SetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, path.c_str(),
                                   static_cast<int32_t>(path.size() + 1)),
                  TF_OK);
        EXPECT_EQ(RecordingStatus(device).active, 1u);
        Capture(device, recorded, 1500);
        ASSERT_EQ(TFCM_SetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, "", 1), TF_OK);
        status = RecordingStatus(device);
        // The last buffers recorded are still on their way through the pipeline.
        Capture(device, recorded, 500);
        // A recording left running ends with the camera's close.
        ASSERT_EQ(TFCM_SetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, unstopped.c_str(),
                                   static_cast<int32_t>(unstopped.size() + 1)),
                  TF_OK);
        Capture(device, recorded, 300);
        EXPECT_TRUE(IsOpenHere(unstopped));
        ASSERT_EQ(TFCM_CloseDevice(&device), 0);
        EXPECT_FALSE(IsOpenHere(unstopped));
    });
    EXPECT_EQ(status.active + status.buffersDropped + static_cast<uint64_t>(status.writeError), 0u);
    EXPECT_GE(status.buffersWritten, 10u);

    // The replayed run: the simulator knows the camera only from the recording.
    SimRecording recording;
    std::string error;
    ASSERT_TRUE(recording.Load(path, error)) << error;
    EXPECT_EQ(recording.Serial(), kSerial);
    EXPECT_EQ(recording.Uri(), "KR52Lite:" + kSerial);
    EXPECT_TRUE(recording.HasStatus());
    EXPECT_TRUE(recording.HasCalibration()) << "starting a recording asks the camera for its calibration";
    CameraSimulator replaying(options);
    config.address = "127.0.0.243";
    SimCamera &replayCamera = replaying.AddCamera(config);
    const std::shared_ptr<SimReplaySource> source =
        SimReplay::Attach(replayCamera, recording, path, SimReplayOptions{}, error);
    ASSERT_NE(source, nullptr) << error;
    Frames replayed;
    WithCamera(replaying, [&](TfDeviceHandle &device) {
        Capture(device, replayed, 8000, [&] { return source->Finished(); });
        // The last buffers still go through the pipeline after the replay has sent them.
        Capture(device, replayed, 500);
    });
    EXPECT_EQ(source->BuffersSent(), status.buffersWritten);

    std::map<uint32_t, size_t> matched;
    for (const auto &[key, pixels] : replayed) {
        const auto found = recorded.find(key);
        ASSERT_NE(found, recorded.end())
            << "frame type " << key.second << " at " << key.first << " was never recorded";
        EXPECT_TRUE(found->second == pixels) << "frame type " << key.second << " at " << key.first;
        ++matched[key.second];
    }
    // The replay's first buffers settle the pipeline; every later frame is there and the same.
    EXPECT_GE(matched[TF_FRAME_DEPTH], 5u);
    EXPECT_EQ(matched[TF_FRAME_IR], matched[TF_FRAME_DEPTH]);
    EXPECT_EQ(matched[TF_FRAME_COLOR], matched[TF_FRAME_DEPTH]);
}

} // namespace
