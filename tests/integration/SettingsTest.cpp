// SPDX-License-Identifier: Apache-2.0
// Camera settings through the public API against a simulated camera: what reaches the camera, when the
// library reports success, refusals while streaming, the stop-set-start functions, dual frequency and the
// MAC address.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "CameraFixture.h"

namespace {
using namespace orvtest;

constexpr uint8_t kCmdSlaveMode = 0x02;
constexpr uint8_t kCmdExposure = 0x03;
constexpr uint8_t kCmdFrameRate = 0x04;
constexpr uint8_t kCmdDepthRange = 0x07;
constexpr uint8_t kCmdDualFreq = 0x08;
constexpr uint8_t kCmdWorkMode = 0x12;
constexpr uint8_t kCmdLens = 0x15;
constexpr uint8_t kCmdStream = 0x1B;

struct SetterRow
{
    const char *name;
    std::function<int(TfDeviceHandle)> set;
    uint8_t command;
    std::vector<uint8_t> payloadPrefix;
    std::function<bool(const SimSettings &)> applied;
    bool restartsStream;
    bool framesFlow = true; ///< low power discards frames until it is switched off
};

template <typename... T> std::vector<uint8_t> Bytes(T... values)
{
    return {static_cast<uint8_t>(values)...};
}

/// Index of the first recorded frame with this command and payload prefix, or -1.
int FindFrame(const std::vector<RecordedFrame> &frames, uint8_t command, const std::vector<uint8_t> &prefix)
{
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::vector<uint8_t> &payload = frames[i].payload;
        if (frames[i].command == command && payload.size() >= prefix.size() &&
            std::equal(prefix.begin(), prefix.end(), payload.begin())) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

/// The camera's recorded frames once one with this command and prefix is among them (settings are sent
/// without an answer, so the camera may still be reading the last one when the call returns).
std::vector<RecordedFrame> FramesWith(SimCamera &camera, uint8_t command, const std::vector<uint8_t> &prefix)
{
    std::vector<RecordedFrame> frames;
    WaitUntil(
        [&] {
            frames = camera.RecordedFrames();
            return FindFrame(frames, command, prefix) >= 0;
        },
        2000);
    return frames;
}

/// The recorded frames as "cmd:payload" words in hex, for failure messages.
std::string Describe(const std::vector<RecordedFrame> &frames)
{
    std::string text;
    char hex[4];
    for (const RecordedFrame &frame : frames) {
        std::snprintf(hex, sizeof hex, "%02x", frame.command);
        text += std::string(" ") + hex + ":";
        for (size_t i = 0; i < frame.payload.size() && i < 8; ++i) {
            std::snprintf(hex, sizeof hex, "%02x", frame.payload[i]);
            text += hex;
        }
    }
    return text;
}

class SettingsTest : public CameraFixture
{
protected:
    TfDeviceHandle OpenStreaming(const std::string &serial, unsigned hostByte)
    {
        m_camera = &AddCamera(serial, hostByte);
        StartCameras();
        TfDeviceHandle device = Open(serial);
        FrameSet set;
        EXPECT_TRUE(device != nullptr && ReadSet(device, kReadyDepth, set));
        return device;
    }
    SimCamera *m_camera = nullptr;
};

TEST_F(SettingsTest, EachSetterReachesTheCameraAndSucceedsOnceItsStatusShowsIt)
{
    TfDeviceHandle device = OpenStreaming("SNSET1", 120);
    ASSERT_NE(device, nullptr);
    // The status record follows each setting only after a while, so a setter that returned before it
    // did would be caught by the check of the camera's state.
    m_camera->Streamer().SetStatusDelayMs(150);

    const SetterRow rows[] = {
        {"exposure", [](TfDeviceHandle d) { return TFCM_SetToFExposureTime(d, 700); }, kCmdExposure,
         Bytes(0, 0xBC, 0x02, 0, 0),
         [](const SimSettings &s) { return s.exposureUs.count(0) && s.exposureUs.at(0) == 700; }, false},
        {"IR gain", [](TfDeviceHandle d) { return TFCM_SetIRGMMGain(d, 12); }, kCmdLens, Bytes(4, 12),
         [](const SimSettings &s) { return s.gmmGain == 12; }, false},
        {"slave mode on", [](TfDeviceHandle d) { return TFCM_SetSlaveModeStatus(d, true); }, kCmdSlaveMode,
         Bytes(1), [](const SimSettings &s) { return s.slaveMode == 1; }, false},
        {"slave mode off", [](TfDeviceHandle d) { return TFCM_SetSlaveModeStatus(d, false); }, kCmdSlaveMode,
         Bytes(0), [](const SimSettings &s) { return s.slaveMode == 0; }, false},
        {"low power on", [](TfDeviceHandle d) { return TFCM_SetLowPowerModeEnabled(d, true); }, kCmdWorkMode,
         Bytes(),
         // Low power is work mode 0x20 (its third flag tells the camera to leave it again); the camera
         // shows it as bit 0x20 of its work mode.
         [](const SimSettings &s) { return (s.workMode.mode & 0x20) != 0; }, false, false},
        {"low power off", [](TfDeviceHandle d) { return TFCM_SetLowPowerModeEnabled(d, false); },
         kCmdWorkMode, Bytes(), [](const SimSettings &s) { return (s.workMode.mode & 0x20) == 0; }, false},
        {"colour 1600 x 1200",
         [](TfDeviceHandle d) { return TFCM_SetColorResolution(d, TF_COLOR_1600X1200); }, kCmdLens,
         Bytes(2, 1, 0x40, 0x06, 0xB0, 0x04),
         [](const SimSettings &s) { return s.lenses.at(2).width == 1600 && s.lenses.at(2).height == 1200; },
         false},
        {"depth range 3", [](TfDeviceHandle d) { return TFCM_SetDepthRange(d, TF_DEPTH_RANGE_3); },
         kCmdDepthRange, Bytes(3), [](const SimSettings &s) { return s.depthRange == 3; }, true},
        {"frame rate 20", [](TfDeviceHandle d) { return TFCM_SetFrameRate(d, 20); }, kCmdFrameRate, Bytes(20),
         [](const SimSettings &s) { return s.frameRate == 20; }, true},
    };
    for (const SetterRow &row : rows) {
        SCOPED_TRACE(row.name);
        m_camera->ClearRecordedFrames();
        EXPECT_EQ(row.set(device), 0);
        const std::vector<RecordedFrame> frames = row.restartsStream
                                                      ? FramesWith(*m_camera, kCmdStream, {1})
                                                      : FramesWith(*m_camera, row.command, row.payloadPrefix);
        const int at = FindFrame(frames, row.command, row.payloadPrefix);
        ASSERT_GE(at, 0) << "the camera never received the setting:" << Describe(frames);
        EXPECT_TRUE(row.applied(m_camera->Settings())) << Describe(frames);
        if (row.restartsStream) {
            const int stop = FindFrame(frames, kCmdStream, {0});
            const int start = FindFrame(frames, kCmdStream, {1});
            EXPECT_TRUE(stop >= 0 && stop < at) << "stopped before the setting";
            EXPECT_TRUE(start > at) << "started again after it:" << Describe(frames);
        } else {
            EXPECT_LT(FindFrame(frames, kCmdStream, {0}), 0) << "set while streaming, no restart";
        }
        FrameSet set;
        if (row.framesFlow) {
            EXPECT_TRUE(ReadSet(device, kReadyDepth, set)) << "frames flow after the setting";
        }
    }

    // The values read back are the camera's.
    TfExposureTimeParams exposure{0, 0};
    EXPECT_EQ(TFCM_GetToFExposureTime_(device, &exposure), 0);
    EXPECT_EQ(Val(exposure.exposureTime), 700u);
    uint8_t gain = 0;
    EXPECT_EQ(TFCM_GetIRGMMGain(device, &gain), 0);
    EXPECT_EQ(gain, 12);
    TfDepthRange range = TF_DEPTH_RANGE_0;
    EXPECT_EQ(TFCM_GetDepthRange(device, &range), 0);
    EXPECT_EQ(range, TF_DEPTH_RANGE_3);
    // Sets the camera sent before the change may still be queued; once the new range shows, it stays.
    std::vector<uint32_t> ranges;
    FrameSet set;
    for (int i = 0; i < 15 && ReadSet(device, kReadyDepth | kReadyColor, set); ++i) {
        ranges.push_back(Val(set.Find(TF_FRAME_DEPTH)->depthRange));
        EXPECT_EQ(Val(set.Find(TF_FRAME_COLOR)->width), 1600u);
        EXPECT_EQ(Val(set.Find(TF_FRAME_COLOR)->height), 1200u);
    }
    ASSERT_EQ(ranges.size(), 15u);
    const auto first = std::find(ranges.begin(), ranges.end(), 3u);
    EXPECT_NE(first, ranges.end()) << "decoded in the new range";
    EXPECT_EQ(std::count(first, ranges.end(), 3u), ranges.end() - first) << "and no older range after it";
}

// (A status that never shows a setting is a row of the fault matrix.)
TEST_F(SettingsTest, StreamingRefusesDualFrequencyAndTheMacFunctionAnswersOneByte)
{
    TfDeviceHandle device = OpenStreaming("SNSET2", 121);
    ASSERT_NE(device, nullptr);
    // Dual-frequency output cannot change while the stream runs, and the camera is not asked.
    m_camera->ClearRecordedFrames();
    TfWDROutputMode mode{2, {5, 0, 0}};
    EXPECT_EQ(TFCM_SetWDROutputMode(device, &mode), TF_ERROR_STREAMING);
    EXPECT_LT(FindFrame(m_camera->RecordedFrames(), kCmdDualFreq, {}), 0);
    // Stopped, it is still refused outside a dual-frequency data mode.
    ASSERT_EQ(TFCM_StopStream(device), 0);
    EXPECT_EQ(TFCM_SetWDROutputMode(device, &mode), TF_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(TFCM_StartStream(device), 0);

    // The MAC function writes the address's first byte only; the property gives the whole address.
    const std::string mac = m_camera->Settings().macAddress;
    char first[4] = {'#', '#', '#', '#'};
    ASSERT_EQ(TFCM_GetDeviceMAC(device, first), 0);
    EXPECT_EQ(first[0], mac[0]);
    EXPECT_EQ(first[1], '#') << "only the first byte is written";
    char whole[64] = {};
    int32_t size = sizeof whole;
    ASSERT_EQ(TFCM_GetProperty(device, TF_PROPERTY_MAC_ADDRESS, whole, &size), 0);
    EXPECT_EQ(std::string(whole), mac);
}

} // namespace
