// SPDX-License-Identifier: Apache-2.0
// BaseSession against a simulated camera: stopping, starting, closing and opening again; settings that
// would change the stream refused while it runs; settings the status never shows timing out, and those
// of a stopped camera confirmed when it keeps reporting its status, else taken without waiting. (Opening and
// streaming are checked through the public API in the integration tests.)
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "CameraSimulator.h"
#include "LoopbackCamera.h"
#include "SimCamera.h"
#include "SimStreamer.h"
#include "TestSupport.h"
#include "net/SocketCtl.h"
#include "session/BaseSession.h"

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new orvtest::PrivateHomeEnvironment(true));

/// One simulated camera on 127.0.0.70 and a session opened to it.
class SessionLoopback : public ::testing::Test
{
protected:
    static constexpr uint8_t kAddressByte = 70;

    void SetUp() override
    {
        CameraSimulator::Options options;
        options.announcePeriodMs = 60000;
        options.discoveryPort = 9; // nothing listens: discovery plays no part here
        m_sim = std::make_unique<CameraSimulator>(options);
        SimCameraConfig config;
        config.serial = "SN0070";
        config.address = "127.0.0." + std::to_string(kAddressByte);
        m_camera = &m_sim->AddCamera(config);
        m_sim->Start();
        SessionInfo info = orvtest::LoopbackSessionInfo(kAddressByte);
        m_session = std::make_unique<BaseSession>(info);
        ASSERT_EQ(m_session->OpenDevice(false), 0);
        ASSERT_TRUE(m_session->GetStreamStatus());
    }
    void TearDown() override
    {
        m_session.reset();
        m_sim.reset();
    }

    /// Polls until a depth frame comes (bounded); whether one came.
    bool ReadsDepth()
    {
        return orvtest::WaitUntil([this] {
            FrameReady ready{};
            Frame frame{};
            return m_session->PrepareNextFrame(&ready) == 0 && m_session->GetFrame(kFrameDepth, &frame) == 0;
        });
    }
    /// Settings go without a reply: waits (bounded) until the camera has applied them.
    bool Applied(const std::function<bool(const SimSettings &)> &applied)
    {
        return orvtest::WaitUntil([&] { return applied(m_camera->Settings()); }, orvtest::kWaitMs);
    }

    std::unique_ptr<CameraSimulator> m_sim;
    SimCamera *m_camera = nullptr;
    std::unique_ptr<BaseSession> m_session;
};

TEST_F(SessionLoopback, RefusedWhileStreamingWithoutContactingTheCamera)
{
    const size_t framesBefore = m_camera->RecordedFrames().size();
    DualFreqMode dual{2, {1, 3, 0}};
    struct Row
    {
        const char *name;
        std::function<int()> call;
    };
    const Row rows[] = {
        {"data mode", [&] { return m_session->SetDataMode(1); }},
        {"depth range", [&] { return m_session->SetDepthRange(DepthRange{3}); }},
        {"dual frequency", [&] { return m_session->SetDualFreqMode(dual); }},
        {"frame rate", [&] { return m_session->SetTofFrameRate(15); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.call(), -107);
    }
    EXPECT_EQ(m_camera->RecordedFrames().size(), framesBefore);
}

TEST_F(SessionLoopback, StopAndStartWithoutSecondInitialisation)
{
    EXPECT_EQ(m_session->OpenDevice(false), -103) << "already open";
    EXPECT_EQ(m_session->StopStream(), 0);
    EXPECT_FALSE(m_session->GetStreamStatus());
    FrameReady ready{};
    EXPECT_EQ(m_session->PrepareNextFrame(&ready), -1);
    EXPECT_EQ(m_session->StopStream(), 0);
    EXPECT_EQ(m_session->StartStream(), 0);
    EXPECT_EQ(m_session->StartStream(), 0);
    EXPECT_TRUE(ReadsDepth());

    // Closing ends the camera's stream with its connection; opening again streams and initialises.
    EXPECT_EQ(m_session->CloseDevice(), 0);
    EXPECT_FALSE(m_session->IsOpened());
    EXPECT_FALSE(m_session->IsInitialised());
    ASSERT_EQ(m_session->OpenDevice(false), 0);
    EXPECT_TRUE(m_session->IsInitialised());
    EXPECT_TRUE(m_session->GetStreamStatus());
    EXPECT_TRUE(ReadsDepth());
}

TEST_F(SessionLoopback, AClosedSessionProbesWhetherItsCameraAnswersAndOpensAgain)
{
    ASSERT_EQ(m_session->CloseDevice(), 0);
    EXPECT_EQ(m_session->ProbeWhileClosed(), 0);
    EXPECT_FALSE(m_session->IsOpened());
    m_camera->SetHeartbeatAnswered(false);
    const unsigned boundMs = SocketCtl::GetReceiveTimeoutMs();
    SocketCtl::SetReceiveTimeoutMs(300); // the probe's own connection waits this long for the answer
    EXPECT_NE(m_session->ProbeWhileClosed(), 0);
    SocketCtl::SetReceiveTimeoutMs(boundMs);
    m_camera->SetHeartbeatAnswered(true);
    ASSERT_EQ(m_session->OpenDevice(false), 0);
    EXPECT_TRUE(ReadsDepth());
}

TEST_F(SessionLoopback, UnconfirmedSettingsTimeOut)
{
    m_session->SetConfirmPollPeriodMs(1);
    m_camera->Streamer().FreezeStatus(true);
    EXPECT_EQ(m_session->SetGMMGain(30), -105);
    // The camera took it; its status never showed it.
    EXPECT_TRUE(Applied([](const SimSettings &c) { return c.gmmGain == 30; }));
    EXPECT_EQ(m_session->SetLens(LensConfig{2, 1, 1280, 720, 25, 1}), -105);
    // A work mode of 16 is never waited for; another one is.
    EXPECT_EQ(m_session->SetWorkMode(WorkMode{16, 0, 0, 0, 0}), 0);
    EXPECT_EQ(m_session->SetWorkMode(WorkMode{3, 0, 0, 0, 0}), -105);

    // A stopped camera sends no status: what it accepts while stopped is taken without waiting.
    ASSERT_EQ(m_session->StopStream(), 0);
    EXPECT_EQ(m_session->SetDepthRange(DepthRange{4}), 0);
    EXPECT_EQ(m_session->GetCurrentDepthRange(), 4u);
    EXPECT_TRUE(Applied([](const SimSettings &c) { return c.depthRange == 4; }));
    // Streaming again, the first buffer shows the camera reports its status: waits are back.
    ASSERT_EQ(m_session->StartStream(), 0);
    ASSERT_TRUE(orvtest::WaitUntil([this] { return m_session->IsDeviceStatusFollowed(); }, orvtest::kWaitMs));
    EXPECT_EQ(m_session->SetGMMGain(31), -105);
}

TEST_F(SessionLoopback, SettingsWhileStoppedWaitOnlyForACameraThatKeepsReportingItsStatus)
{
    struct Row
    {
        bool statusWhileStopped;
        bool frozen;
        int expected;
    };
    const Row rows[] = {{false, false, 0}, {false, true, 0}, {true, false, 0}, {true, true, -105}};
    uint16_t gain = 40;
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "status while stopped " << row.statusWhileStopped << ", frozen " << row.frozen);
        m_camera->Streamer().SetStatusWhileStopped(row.statusWhileStopped);
        m_camera->Streamer().FreezeStatus(row.frozen);
        ASSERT_EQ(m_session->StopStream(), 0);
        if (row.statusWhileStopped) {
            ASSERT_TRUE(
                orvtest::WaitUntil([this] { return m_session->IsDeviceStatusFollowed(); }, orvtest::kWaitMs));
        }
        ++gain;
        EXPECT_EQ(m_session->SetGMMGain(gain), row.expected);
        EXPECT_TRUE(Applied([gain](const SimSettings &c) { return c.gmmGain == gain; }));
        m_camera->Streamer().FreezeStatus(false);
        ASSERT_EQ(m_session->StartStream(), 0);
    }
}

} // namespace
