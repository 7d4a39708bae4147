// SPDX-License-Identifier: Apache-2.0
// Reading frames through the public API from simulated cameras: by polling across a stop and a start,
// and from two cameras at once. (Notification through the public API runs in the callback example's
// test against the simulator; its hand-over to polling in the delivery tests.)
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "CameraFixture.h"

namespace {
using namespace orvtest;

/// Bytes per pixel of a public pixel format.
uint32_t BytesPerPixel(uint32_t format)
{
    switch (format) {
    case TF_PIXEL_DEPTH_MM16:
    case TF_PIXEL_GRAY16:
        return 2;
    case TF_PIXEL_GRAY8:
        return 1;
    case TF_PIXEL_RGB888:
    case TF_PIXEL_BGR888:
        return 3;
    default:
        return 0;
    }
}

/// The fields every delivered frame must carry, whichever way it was delivered.
void ExpectWholeFrame(const TfFrame &frame, uint32_t type, uint16_t width, uint16_t height)
{
    SCOPED_TRACE("frame type " + std::to_string(type));
    EXPECT_EQ(Val(frame.frameType), type);
    EXPECT_EQ(Val(frame.width), width);
    EXPECT_EQ(Val(frame.height), height);
    EXPECT_NE(Val(frame.pFrameData), nullptr);
    const uint32_t bytes = BytesPerPixel(Val(frame.pixelFormat));
    ASSERT_NE(bytes, 0u) << "pixel format " << Val(frame.pixelFormat);
    EXPECT_EQ(Val(frame.dataLen), uint32_t{width} * height * bytes);
    if (type == TF_FRAME_DEPTH) {
        EXPECT_EQ(Val(frame.pixelFormat), static_cast<uint32_t>(TF_PIXEL_DEPTH_MM16));
    } else if (type == TF_FRAME_COLOR) {
        EXPECT_TRUE(Val(frame.pixelFormat) == TF_PIXEL_RGB888 || Val(frame.pixelFormat) == TF_PIXEL_BGR888);
    } else {
        EXPECT_TRUE(Val(frame.pixelFormat) == TF_PIXEL_GRAY16 || Val(frame.pixelFormat) == TF_PIXEL_GRAY8);
    }
}

/// Checks a polled set: all four parts, whole, from one buffer; returns its frame index.
uint32_t ExpectWholeSet(const FrameSet &set, uint8_t depthRange)
{
    const TfFrame *depth = set.Find(TF_FRAME_DEPTH);
    const TfFrame *ir = set.Find(TF_FRAME_IR);
    const TfFrame *confidence = set.Find(TF_FRAME_CONFIDENCE);
    const TfFrame *color = set.Find(TF_FRAME_COLOR);
    if (depth == nullptr || ir == nullptr || confidence == nullptr || color == nullptr) {
        ADD_FAILURE() << "incomplete set, ready bits " << set.readyBits;
        return 0;
    }
    ExpectWholeFrame(*depth, TF_FRAME_DEPTH, 640, 480);
    ExpectWholeFrame(*ir, TF_FRAME_IR, 640, 480);
    ExpectWholeFrame(*confidence, TF_FRAME_CONFIDENCE, 640, 480);
    ExpectWholeFrame(*color, TF_FRAME_COLOR, Val(color->width), Val(color->height));
    EXPECT_GT(Val(color->width), 0u);
    EXPECT_EQ(Val(depth->depthRange), depthRange);
    EXPECT_EQ(Val(ir->frameIndex), Val(depth->frameIndex));
    EXPECT_EQ(Val(confidence->frameIndex), Val(depth->frameIndex));
    EXPECT_EQ(Val(color->frameIndex), Val(depth->frameIndex));
    return Val(depth->frameIndex);
}

class StreamingTest : public CameraFixture
{
};

TEST_F(StreamingTest, PolledSetsAreWholeAndInOrderAcrossStopAndStart)
{
    AddCamera("SNSTREAM1", 110);
    StartCameras();
    TfDeviceHandle device = Open("SNSTREAM1");
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(TFCM_SetConfidenceFrameEnabled(device, true), 0);
    TfDepthRange range = TF_DEPTH_RANGE_0;
    ASSERT_EQ(TFCM_GetDepthRange(device, &range), 0);

    uint32_t lastIndex = 0;
    for (int i = 0; i < 10; ++i) {
        FrameSet set;
        ASSERT_TRUE(ReadSet(device, kReadyAllFour, set)) << "read " << i;
        const uint32_t index = ExpectWholeSet(set, static_cast<uint8_t>(range));
        EXPECT_GT(index, lastIndex);
        lastIndex = index;
        // Each part is handed out once per read.
        TfFrame again{};
        EXPECT_EQ(TFCM_GetFrame(device, TF_FRAME_DEPTH, &again), TF_ERROR_NO_FRAME_MODE);
    }

    // Stopped, reads fail at once; started again, frames flow without a second initialisation.
    MarkLog();
    ASSERT_EQ(TFCM_StopStream(device), 0);
    TfFrameReady ready{};
    EXPECT_EQ(TFCM_ReadNextFrame(device, &ready), TF_ERROR_DEVICE_NOT_FOUND);
    EXPECT_EQ(TFCM_StopStream(device), 0);
    ASSERT_EQ(TFCM_StartStream(device), 0);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyAllFour, set));
    EXPECT_GT(ExpectWholeSet(set, static_cast<uint8_t>(range)), lastIndex);
    const std::string log = LogSinceMark();
    EXPECT_EQ(log.find("]:wait:"), std::string::npos) << "no second wait for the calibration block";
    EXPECT_EQ(log.find("first frame data is toot late."), std::string::npos);
}

TEST_F(StreamingTest, TwoCamerasStreamAtOnceEachWithItsOwnFrames)
{
    SimCamera &left = AddCamera("SNLEFT", 112);
    SimCamera &right = AddCamera("SNRIGHT", 113);
    // Different depth ranges tell the two cameras' frames apart.
    left.UpdateSettings([](SimSettings &s) { s.depthRange = 1; });
    right.UpdateSettings([](SimSettings &s) { s.depthRange = 3; });
    StartCameras();
    TfDeviceHandle a = Open("SNLEFT");
    TfDeviceHandle b = Open("SNRIGHT");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);

    std::atomic<int> setsA{0};
    std::atomic<int> setsB{0};
    std::atomic<int> wrong{0};
    auto reader = [&wrong](TfDeviceHandle device, uint32_t range, std::atomic<int> &sets) {
        uint32_t last = 0;
        for (int i = 0; i < 20; ++i) {
            FrameSet set;
            if (!ReadSet(device, kReadyDepth | kReadyColor, set)) {
                ++wrong;
                return;
            }
            const TfFrame *depth = set.Find(TF_FRAME_DEPTH);
            if (Val(depth->depthRange) != range || Val(depth->frameIndex) <= last) {
                ++wrong;
            }
            last = Val(depth->frameIndex);
            ++sets;
        }
    };
    std::thread ta(reader, a, 1u, std::ref(setsA));
    std::thread tb(reader, b, 3u, std::ref(setsB));
    ta.join();
    tb.join();
    EXPECT_EQ(setsA.load(), 20);
    EXPECT_EQ(setsB.load(), 20);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GE(left.Streamer().FramesSent(), 20u);
    EXPECT_GE(right.Streamer().FramesSent(), 20u);
}

} // namespace
