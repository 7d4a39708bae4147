// SPDX-License-Identifier: Apache-2.0
// BaseSession against a simulated camera: settings that would change the stream are refused while it
// runs, without a word to the camera. (Opening, streaming and confirmations are checked through the
// public API in the integration tests.)
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "CameraSimulator.h"
#include "SimCamera.h"
#include "TestSupport.h"
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
        SessionInfo info;
        info.linkType = kLinkTypeNetwork;
        info.ip = 127u | (static_cast<uint32_t>(kAddressByte) << 24);
        info.cmdPort = 9008;
        info.dataPort = 9009;
        info.deviceType = 520;
        m_session = std::make_unique<BaseSession>(info);
        ASSERT_EQ(m_session->OpenDevice(false), 0);
        ASSERT_TRUE(m_session->GetStreamStatus());
    }
    void TearDown() override
    {
        m_session.reset();
        m_sim.reset();
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

} // namespace
