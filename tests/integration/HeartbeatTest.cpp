// SPDX-License-Identifier: Apache-2.0
// The heartbeat of open cameras through the public API: a camera that stops answering is reported
// removed once, its handle stays usable until it is closed, and it comes back when it answers again.
#include <gtest/gtest.h>

#include <chrono>

#include "CameraFixture.h"
#include "net/SocketCtl.h"

namespace {
using namespace orvtest;
using Clock = std::chrono::steady_clock;

constexpr int kAdded = 0;
constexpr int kRemoved = 1;
/// The command receive bound used here instead of the camera's 5 s default, so that three unanswered
/// heartbeats take about a second.
constexpr unsigned kShortReceiveMs = 300;

class HeartbeatTest : public CameraFixture
{
protected:
    void SetUp() override
    {
        SocketCtl::SetReceiveTimeoutMs(kShortReceiveMs);
        CameraFixture::SetUp();
    }
    void TearDown() override
    {
        CameraFixture::TearDown();
        SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs);
    }
};

TEST_F(HeartbeatTest, SilentCameraIsRemovedOnceAndAddedAgainWhenItAnswers)
{
    SimCamera &camera = AddCamera("SNBEAT", 130);
    StartCameras();
    const std::string uri = Uri("SNBEAT");
    TfDeviceHandle device = Open("SNBEAT");
    ASSERT_NE(device, nullptr);
    FrameSet set;
    ASSERT_TRUE(ReadSet(device, kReadyDepth, set));

    // It keeps announcing and streaming; only the heartbeat goes unanswered.
    camera.ClearRecordedFrames();
    camera.SetHeartbeatAnswered(false);
    ASSERT_TRUE(m_recorder->WaitFor(uri, kRemoved, 1, kCameraWaitMs));
    EXPECT_TRUE(camera.IsAnnouncing());
    // Three failed probes in a row, not one: every probe recorded since went unanswered, and a closed
    // camera is probed no more.
    size_t probes = 0;
    for (const RecordedFrame &frame : camera.RecordedFrames()) {
        probes += frame.command == 0x9C;
    }
    EXPECT_GE(probes, 3u);

    // Later rounds do not report it again while it stays silent.
    const size_t roundsToWait = 5;
    ASSERT_TRUE(camera.WaitForAnnouncements(camera.AnnouncementsSent() + roundsToWait, kCameraWaitMs));
    EXPECT_EQ(m_recorder->Count(uri, kRemoved, 1), 1);
    EXPECT_EQ(m_recorder->Count(uri, kRemoved, 2), 1);

    // The handle is still one the library knows until the application closes it.
    uint8_t mode = 0;
    EXPECT_NE(TFCM_GetDataMode(device, &mode), TF_ERROR_INVALID_HANDLE);
    const auto start = Clock::now();
    Close(device);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2000);

    camera.SetHeartbeatAnswered(true);
    ASSERT_TRUE(m_recorder->WaitFor(uri, kAdded, 2, kCameraWaitMs)) << "listed again";
    device = Open("SNBEAT");
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(ReadSet(device, kReadyDepth, set));
    EXPECT_EQ(m_recorder->Count(uri, kRemoved, 1), 1);
}

} // namespace
