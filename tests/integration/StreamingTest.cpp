// SPDX-License-Identifier: Apache-2.0
// Reading frames through the public API from a simulated camera by polling across a stop and a start.
// (Two cameras at once run in the geometry tests; notification through the public API in the callback
// example's test against the simulator, its hand-over to polling in the delivery tests.)
#include <gtest/gtest.h>

#include <string>

#include "CameraFixture.h"

namespace {
using namespace orvtest;

/// Checks a polled set: all four parts whole (size, pixel format, data) and from one buffer; returns its
/// frame index.
uint32_t ExpectWholeSet(const FrameSet &set, uint8_t depthRange)
{
    /// A part, the two pixel formats it may come in and their bytes per pixel.
    struct Part
    {
        uint32_t type;
        uint32_t formats[2];
        uint32_t bytes[2];
    };
    const Part parts[] = {{TF_FRAME_DEPTH, {TF_PIXEL_DEPTH_MM16, TF_PIXEL_DEPTH_MM16}, {2, 2}},
                          {TF_FRAME_IR, {TF_PIXEL_GRAY16, TF_PIXEL_GRAY8}, {2, 1}},
                          {TF_FRAME_CONFIDENCE, {TF_PIXEL_GRAY16, TF_PIXEL_GRAY8}, {2, 1}},
                          {TF_FRAME_COLOR, {TF_PIXEL_RGB888, TF_PIXEL_BGR888}, {3, 3}}};
    const TfFrame *depth = set.Find(TF_FRAME_DEPTH);
    for (const Part &part : parts) {
        SCOPED_TRACE("frame type " + std::to_string(part.type));
        const TfFrame *frame = set.Find(part.type);
        if (frame == nullptr || depth == nullptr) {
            ADD_FAILURE() << "incomplete set, ready bits " << set.readyBits;
            return 0;
        }
        const uint32_t format = Val(frame->pixelFormat), width = Val(frame->width),
                       height = Val(frame->height);
        EXPECT_TRUE(format == part.formats[0] || format == part.formats[1]) << "pixel format " << format;
        EXPECT_EQ(Val(frame->dataLen), width * height * part.bytes[format == part.formats[0] ? 0 : 1]);
        EXPECT_NE(Val(frame->pFrameData), nullptr);
        EXPECT_EQ(Val(frame->frameIndex), Val(depth->frameIndex));
        EXPECT_TRUE(part.type == TF_FRAME_COLOR ? width * height > 0 : width == 640 && height == 480);
    }
    EXPECT_EQ(Val(depth->depthRange), depthRange);
    return Val(depth->frameIndex);
}

using StreamingTest = CameraFixture;

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

} // namespace
