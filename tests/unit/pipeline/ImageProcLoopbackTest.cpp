// SPDX-License-Identifier: Apache-2.0
// The stream hub's thread over a real data connection to a simulated camera: backing off on a silent or
// lost connection, stopping and joining.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "CameraSimulator.h"
#include "LoopbackCamera.h"
#include "SimCamera.h"
#include "StreamBuffers.h"
#include "TestSupport.h"
#include "net/SocketCtl.h"
#include "net/SocketProtocol.h"
#include "pipeline/ImageProc.h"
#include "session/ProtocolStreamSource.h"

namespace {

constexpr unsigned kWaitMs = 5000;
constexpr unsigned kShortReceiveMs = 200;
constexpr uint32_t kImageBlock = 614400;

static_assert(ImageProc::kReceiveBufferBytes == static_cast<uint32_t>(kStreamBufferBytes),
              "the hub's buffer holds the largest buffer the connection delivers");

/// One stream payload: a timestamp and a camera-computed depth image.
std::vector<uint8_t> DepthPayload()
{
    return orvtest::BufferBuilder().Timestamp(1).Packet(0xB3, std::vector<uint8_t>(kImageBlock, 1)).Bytes();
}

class ImageProcLoopbackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A short receive bound lets a stop take effect while the camera is silent.
        SocketCtl::SetReceiveTimeoutMs(kShortReceiveMs);
        ASSERT_NO_FATAL_FAILURE(m_link.Open(nullptr, kWaitMs));
        m_camera = m_link.camera;
        m_hub = std::make_unique<ImageProc>(m_link.source.get());
    }
    void TearDown() override
    {
        m_hub.reset();
        SocketCtl::SetReceiveTimeoutMs(SocketCtl::kDefaultReceiveTimeoutMs);
    }

    orvtest::LoggedHome m_home;
    orvtest::LoopbackCamera m_link{"SNHUB1", 31};
    SimCamera *m_camera = nullptr;
    std::unique_ptr<ImageProc> m_hub;
};

TEST_F(ImageProcLoopbackTest, IdlesWhileDisconnectedThenBacksOffOnALostConnection)
{
    // Without a protocol, or while disconnected, the thread neither reads nor counts failures.
    ProtocolStreamSource none(nullptr);
    ImageProc idle(&none);
    idle.Start();
    m_hub->SetConnectStatus(false);
    m_hub->Start();
    ASSERT_TRUE(m_camera->SendData(SimCamera::StreamBuffer(1, DepthPayload())));
    m_hub->SetConnectStatus(true);
    ASSERT_TRUE(orvtest::WaitUntil([&] { return m_hub->GetCounters().buffersRead == 1; }));
    EXPECT_EQ(m_hub->GetCounters().failedReads, 0u);
    EXPECT_EQ(idle.GetCounters().buffersRead + idle.GetCounters().failedReads, 0u);

    // An empty buffer is no buffer; then the camera goes away and every read comes back with nothing.
    ASSERT_TRUE(m_camera->SendData(SimCamera::StreamBuffer(1, {})));
    const auto lost = std::chrono::steady_clock::now();
    m_camera->StopServing();
    ASSERT_TRUE(orvtest::WaitUntil([&] { return m_hub->GetCounters().consecutiveFailedReads >= 10; }));
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lost)
            .count();
    const HubCounters counters = m_hub->GetCounters();
    EXPECT_EQ(counters.buffersRead, 1u);
    // Each failure pauses 10 ms, so the count follows the time spent instead of the CPU's speed.
    EXPECT_LE(counters.failedReads, static_cast<uint64_t>(elapsedMs / 10 + 2));
    m_hub->Stop();
    m_hub->Join();
    EXPECT_FALSE(m_hub->IsRunning());
    // The idle hub's destructor stops and joins its thread.
}

} // namespace
