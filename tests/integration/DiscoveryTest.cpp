// SPDX-License-Identifier: Apache-2.0
// Discovery and hot-plug through the public API, against simulated cameras announcing on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "CameraSimulator.h"
#include "HotPlugRecorder.h"
#include "Orvane_api.h"

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(orvtest::ApiLoopbackEnvironment());
using orvtest::HotPlugRecorder;
using orvtest::kWaitMs;
using orvtest::Val;
using orvtest::WaitUntil;

constexpr int kAdded = 0;

uint32_t DeviceCount()
{
    uint32_t count = 0;
    EXPECT_EQ(TFCM_GetDeviceCount(&count), 0);
    return count;
}

/// Simulated cameras that only announce themselves: no camera ports.
CameraSimulator::Options DiscoveryOnly()
{
    CameraSimulator::Options options;
    options.announcePeriodMs = orvtest::kAnnounceMs;
    options.serveConnections = false;
    return options;
}

SimCameraConfig Camera(const std::string &serial, const std::string &address, const std::string &alias = "")
{
    SimCameraConfig config;
    config.serial = serial;
    config.address = address;
    config.alias = alias;
    return config;
}

class DiscoveryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Callbacks first: a camera already announcing may be added in the very first round.
        m_recorder = std::make_unique<HotPlugRecorder>();
        ASSERT_EQ(TFCM_Initialize(), 0);
        m_sim = std::make_unique<CameraSimulator>(DiscoveryOnly());
    }
    void TearDown() override
    {
        m_sim.reset();
        m_recorder.reset(); // before the shutdown: clearing the callbacks must not create a new manager
        EXPECT_EQ(TFCM_Shutdown(), 0);
    }

    std::unique_ptr<HotPlugRecorder> m_recorder;
    std::unique_ptr<CameraSimulator> m_sim;
};

TEST_F(DiscoveryTest, CameraIsListedOnlyAfterItsAddNotificationWhichMayCallBackIntoTheApi)
{
    // The callbacks run without a lock held: they may read the list, which already holds the new camera.
    std::atomic<int> fewestSeen{99};
    m_recorder->SetOnEvent([&fewestSeen] {
        uint32_t count = 0;
        TfDeviceInfo info[4];
        const bool read = TFCM_GetDeviceCount(&count) == 0 && TFCM_GetDeviceListInfo(info, 4) == 0;
        fewestSeen = std::min(fewestSeen.load(), read ? static_cast<int>(count) : -1);
    });
    m_sim->AddCamera(Camera("SN0001", "127.0.0.2"));
    m_sim->AddCamera(Camera("SN0002", "127.0.0.3", "front"));
    m_sim->Start();
    ASSERT_TRUE(m_recorder->WaitFor("KR52Lite:SN0001", kAdded, 1, kWaitMs));
    ASSERT_TRUE(m_recorder->WaitFor("KR52Lite:SN0002", kAdded, 1, kWaitMs));
    ASSERT_EQ(DeviceCount(), 2u);

    TfDeviceInfo list[2];
    ASSERT_EQ(TFCM_GetDeviceListInfo(list, 2), 0);
    const TfDeviceInfo &first = std::strcmp(list[0].uri, "KR52Lite:SN0001") == 0 ? list[0] : list[1];
    const TfDeviceInfo &second = &first == &list[0] ? list[1] : list[0];
    EXPECT_STREQ(first.uri, "KR52Lite:SN0001");
    EXPECT_STREQ(first.alias, "SN0001") << "a camera without alias is listed by its serial number";
    EXPECT_EQ(Val(first.devicetype), 520u);
    EXPECT_EQ(Val(first.sessionCount), 1u);
    EXPECT_EQ(Val(first.status), 2u);
    EXPECT_STREQ(second.alias, "front");

    char ip[16] = {};
    ASSERT_EQ(TFCM_GetDeviceIP("KR52Lite:SN0002", ip), 0);
    EXPECT_STREQ(ip, "127.0.0.3");
    EXPECT_EQ(TFCM_GetDeviceIP("KR52Lite:SN9999", ip), -1);

    // Every add event carried the camera as listed: available.
    for (const orvtest::HotPlugEvent &e : m_recorder->Events()) {
        EXPECT_EQ(e.status, 2u);
    }
    EXPECT_GE(fewestSeen.load(), 1);
}

TEST(DiscoveryLifecycle, ShutdownWithCamerasAnnouncingLeavesNoThreadBehind)
{
    CameraSimulator sim(DiscoveryOnly());
    sim.AddCamera(Camera("SN0009", "127.0.0.15"));
    sim.AddCamera(Camera("SN0010", "127.0.0.16"));
    sim.Start();
    const int baseline = orvtest::ThreadCount();

    for (int cycle = 0; cycle < 50; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        // Every tenth cycle waits until a camera is listed; its recorder goes before the shutdown.
        auto recorder = cycle % 10 == 0 ? std::make_unique<HotPlugRecorder>() : nullptr;
        ASSERT_EQ(TFCM_Initialize(), 0);
        ASSERT_TRUE(recorder == nullptr || recorder->WaitFor("KR52Lite:SN0009", kAdded, 1, kWaitMs));
        recorder.reset();
        ASSERT_EQ(TFCM_Shutdown(), 0);
    }
    EXPECT_TRUE(WaitUntil([baseline] { return orvtest::ThreadCount() == baseline; }, kWaitMs))
        << orvtest::ThreadCount() << " threads, " << baseline << " before";
}

} // namespace
