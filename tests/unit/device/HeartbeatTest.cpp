// SPDX-License-Identifier: Apache-2.0
// Tests of the manager thread watching open cameras: failed heartbeats, removal, closing and re-adding.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "device/BaseDevice.h"
#include "device/DeviceManager.h"
#include "device/EnumSocketDevice.h"
#include "session/BaseSession.h"
#include "upgrade/Upgrade.h"

namespace {

constexpr int kHeartbeatKey = static_cast<int>(0xE0000099u);
constexpr unsigned kRoundMs = 10;
constexpr auto kAwait = std::chrono::seconds(10);

/// What every fake session of a test shares: whether the camera answers, and what happened to it.
struct CameraState
{
    /// Decides probe n (counting from 0); answers while null.
    std::function<bool(int)> answers;
    /// Runs inside each open, as the talk with a real camera does; nothing while null.
    std::function<void()> opening;
    std::mutex mutex; // guards answers and opening
    std::atomic<int> probes{0};
    std::atomic<int> failedProbes{0};
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::atomic<int> removedMessages{0};
    std::atomic<int> wrongKeys{0};
    std::atomic<int> closedProbes{0}; // probes of the camera while its session is closed

    /// Whether the camera answers probe `probe`.
    bool Answers(int probe)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !answers || answers(probe);
    }

    void SetAnswers(std::function<bool(int)> rule)
    {
        std::lock_guard<std::mutex> lock(mutex);
        answers = std::move(rule);
    }
};

/// A network session whose heartbeat is answered or not as the test decides.
class HeartbeatSession : public BaseSession
{
public:
    explicit HeartbeatSession(CameraState &state) : m_state(state) {}
    int OpenDevice(bool) override
    {
        ++m_state.opens;
        std::function<void()> opening;
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            opening = m_state.opening;
        }
        if (opening) {
            opening();
        }
        return 0;
    }
    int CloseDevice() override
    {
        ++m_state.closes;
        return 0;
    }
    bool GetRawBufferStatus() override { return false; } // a closed camera streams nothing
    int OnMessage(int type) override
    {
        if (type == kMessageRemoved) {
            ++m_state.removedMessages;
        }
        return 0;
    }
    int GetProperty(int key, void *, int *) override
    {
        if (key != kHeartbeatKey) {
            ++m_state.wrongKeys;
            return -255;
        }
        if (!m_state.Answers(m_state.probes++)) {
            ++m_state.failedProbes;
            return -104;
        }
        return 0;
    }
    int ProbeWhileClosed() override { return m_state.Answers(m_state.closedProbes++) ? 0 : -104; }

private:
    CameraState &m_state;
};

/// One camera announcement (state 0, one ToF session) as it arrives on the discovery port.
std::vector<uint8_t> Announcement(const char *sn, const char *ip)
{
    std::vector<uint8_t> d(EnumSocketDevice::kAnnouncementBytes, 0);
    d[3] = 1; // one ToF session
    std::memcpy(&d[5], ip, std::strlen(ip));
    d[21] = EnumSocketDevice::kAnnouncedDeviceType;
    std::memcpy(&d[22], sn, std::strlen(sn));
    d[52] = 0; // running
    return d;
}

/// Holds whoever passes it until the test opens it, as a camera that takes its time to answer does. Shared
/// with the manager's threads, which may still pass it after the test body has ended.
struct Gate
{
    std::promise<void> opening;
    std::shared_future<void> opened = opening.get_future().share();
    std::once_flag once;
    std::atomic<bool> held{false};
    std::atomic<bool> ended{false};

    void Pass()
    {
        held = true;
        opened.wait();
        ended = true;
    }
    void Open()
    {
        std::call_once(once, [this] { opening.set_value(); });
    }
};

/// Opens the gate when a test ends, passed or failed, so that no thread stays held.
struct OpenAtExit
{
    std::shared_ptr<Gate> gate;
    ~OpenAtExit() { gate->Open(); }
};

class HeartbeatTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        BaseDevice::SetSessionFactory(
            [this](const SessionInfo &, int) { return std::make_unique<HeartbeatSession>(m_camera); });
        DeviceManager::SetDiscoveryPort(0); // announcements are handed to the enumerator directly
        DeviceManager::SetRoundPeriodMs(kRoundMs);
        m_manager = DeviceManager::GetInstance();
        m_manager->SetHotPlugStatusCallback_(&HeartbeatTest::OnHotPlug, this);
    }

    void TearDown() override
    {
        StopAnnouncing();
        m_manager->Stop();
        m_manager->Join();
        DeviceManager::Release();
        DeviceManager::SetRoundPeriodMs(1000);
        BaseDevice::SetSessionFactory(nullptr);
    }

    /// The camera announces itself every round, as a camera that runs keeps doing.
    void StartAnnouncing()
    {
        m_announcing = true;
        m_announcer = std::thread([this] {
            const std::vector<uint8_t> datagram = Announcement("SN0001", "127.0.0.2");
            while (m_announcing) {
                m_manager->Discovery().HandleDatagram(datagram.data(), datagram.size());
                std::this_thread::sleep_for(std::chrono::milliseconds(kRoundMs / 2));
            }
        });
    }

    void StopAnnouncing()
    {
        m_announcing = false;
        if (m_announcer.joinable()) {
            m_announcer.join();
        }
    }

    static void OnHotPlug(const TfDeviceInfo *, int type, void *context)
    {
        ++static_cast<HeartbeatTest *>(context)->m_events[type == kMessageRemoved ? 1 : 0];
    }
    /// How many notifications of `type` (added or removed) the application received.
    int CountEvents(int type) { return m_events[type == kMessageRemoved ? 1 : 0]; }

    /// The camera as discovery lists it, announced to the application and opened.
    BaseDevice *DiscoverAndOpen()
    {
        StartAnnouncing();
        m_manager->Start();
        EXPECT_TRUE(orvtest::WaitUntil([this] { return CountEvents(kMessageAdded) == 1; }));
        int ret = -1;
        BaseDevice *device = m_manager->OpenDevice(kUri, ret);
        EXPECT_EQ(ret, 0);
        return device;
    }

    static constexpr const char *kUri = "KR52Lite:SN0001";
    CameraState m_camera;
    DeviceManager *m_manager = nullptr;
    std::atomic<bool> m_announcing{false};
    std::thread m_announcer;
    std::atomic<int> m_events[2] = {}; // added, removed
};

TEST_F(HeartbeatTest, AnAnnouncingCameraThatStopsAnsweringIsRemovedOnceAndKeepsItsHandle)
{
    BaseDevice *device = DiscoverAndOpen();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(orvtest::WaitUntil([this] { return m_camera.probes >= 3; }))
        << "an answering camera is probed every round";
    EXPECT_EQ(CountEvents(kMessageRemoved), 0);
    EXPECT_TRUE(m_manager->checkOpenedByURI(kUri));

    m_camera.SetAnswers([](int) { return false; });
    ASSERT_TRUE(orvtest::WaitUntil([this] { return CountEvents(kMessageRemoved) == 1; }))
        << "announcements must not hide failed heartbeats";
    EXPECT_EQ(m_camera.failedProbes, 3) << "three failures in a row remove the camera, and probing ends";
    EXPECT_EQ(m_camera.closes, 1) << "the removed camera's session is closed";
    EXPECT_EQ(m_camera.removedMessages, 1);
    EXPECT_TRUE(m_manager->CheckDevicePtrVaild(device))
        << "the handle stays valid until the application closes it";
    EXPECT_EQ(m_camera.wrongKeys, 0);

    // The camera still announces but does not answer: it stays removed until it answers again.
    ASSERT_TRUE(orvtest::WaitUntil([this] { return m_camera.closedProbes >= 3; }));
    EXPECT_EQ(CountEvents(kMessageAdded), 1);
    EXPECT_EQ(m_manager->GetCameraCount(), 0);
    m_camera.SetAnswers(nullptr);
    ASSERT_TRUE(orvtest::WaitUntil([this] { return CountEvents(kMessageAdded) == 2; }));
    EXPECT_EQ(CountEvents(kMessageRemoved), 1);
    EXPECT_EQ(m_camera.failedProbes, 3) << "a camera that is not open gets no heartbeat";
    EXPECT_TRUE(m_manager->CheckDevicePtrVaild(device));

    m_manager->ReleaseDevice(device);
    EXPECT_FALSE(m_manager->CheckDevicePtrVaild(device));
    EXPECT_EQ(CountEvents(kMessageRemoved), 1);
    EXPECT_EQ(m_manager->GetCameraCount(), 1) << "closed after its return, the camera is listed as available";
}

TEST_F(HeartbeatTest, OnlyFailuresInARowCount)
{
    // Two failures, one answer, again and again: never three in a row.
    m_camera.SetAnswers([](int probe) { return probe % 3 == 2; });
    BaseDevice *device = DiscoverAndOpen();
    ASSERT_NE(device, nullptr);
    StopAnnouncing(); // without announcements only the probes decide
    ASSERT_TRUE(orvtest::WaitUntil([this] { return m_camera.probes >= 12; }));
    EXPECT_EQ(CountEvents(kMessageRemoved), 0);
    EXPECT_TRUE(m_manager->checkOpenedByURI(kUri));
    EXPECT_EQ(m_camera.closes, 0);

    const int answeredSoFar = m_camera.probes;
    m_camera.SetAnswers([answeredSoFar](int probe) { return probe < answeredSoFar; });
    ASSERT_TRUE(orvtest::WaitUntil([this] { return CountEvents(kMessageRemoved) == 1; }));
    EXPECT_EQ(m_camera.closes, 1);
    EXPECT_FALSE(m_manager->checkOpenedByURI(kUri));
    m_manager->ReleaseDevice(device);
}

TEST_F(HeartbeatTest, NoProbesWhileAnUpgradeRuns)
{
    m_camera.SetAnswers([](int) { return false; });
    Upgrade::GetInstance()->SetStatus(1); // waiting for its camera to come back
    m_manager->SetUpgradeState(kUpgradeFirmware, "SN0001");
    BaseDevice *device = DiscoverAndOpen();
    ASSERT_NE(device, nullptr);
    // The round that reports a second camera has also passed the open one.
    const std::vector<uint8_t> datagram = Announcement("SN0002", "127.0.0.3");
    m_manager->Discovery().HandleDatagram(datagram.data(), datagram.size());
    ASSERT_TRUE(orvtest::WaitUntil([this] { return CountEvents(kMessageAdded) == 2; }));
    EXPECT_EQ(m_camera.probes, 0);
    EXPECT_TRUE(m_manager->checkOpenedByURI(kUri));
    m_manager->ReleaseDevice(device);
}

TEST_F(HeartbeatTest, AnUpgradeOfAnotherCameraLeavesThisOneWatched)
{
    Upgrade::GetInstance()->SetStatus(1);
    m_manager->SetUpgradeState(kUpgradeFirmware, "SN0002");
    BaseDevice *device = DiscoverAndOpen();
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(orvtest::WaitUntil([this] { return m_camera.probes >= 2; }));
    m_manager->ReleaseDevice(device);
}

TEST_F(HeartbeatTest, AProbeWaitingForAnAnswerHoldsUpNeitherQueriesNorTheCloseOfItsCamera)
{
    // The first probe waits until the test opens the gate, as a heartbeat to a silent camera waits for
    // its time-out.
    auto gate = std::make_shared<Gate>();
    // Declared before the guard that opens the gate, so that a failed check never waits on a held probe.
    std::future<bool> queries;
    std::future<bool> release;
    OpenAtExit openAtExit{gate};
    m_camera.SetAnswers([gate](int probe) {
        if (probe == 0) {
            gate->Pass();
        }
        return true;
    });
    BaseDevice *device = DiscoverAndOpen();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(orvtest::WaitUntil([&] { return gate->held.load(); }));

    queries = std::async(std::launch::async, [&] {
        return m_manager->CheckDevicePtrVaild(device) && m_manager->GetCameraCount() == 1 &&
               m_manager->checkOpenedByURI(kUri);
    });
    ASSERT_EQ(queries.wait_for(kAwait), std::future_status::ready) << "a query waited for the probe";
    EXPECT_TRUE(queries.get());

    // Closing the probed camera waits for its probe to end; the handle is gone at once.
    release = std::async(std::launch::async, [&] {
        m_manager->ReleaseDevice(device);
        return gate->ended.load();
    });
    ASSERT_TRUE(orvtest::WaitUntil([&] { return !m_manager->CheckDevicePtrVaild(device); }));
    gate->Open();
    ASSERT_EQ(release.wait_for(kAwait), std::future_status::ready);
    EXPECT_TRUE(release.get()) << "the camera was destroyed while its probe ran";
    EXPECT_EQ(CountEvents(kMessageRemoved), 0);
}

TEST_F(HeartbeatTest, AnOpenTalkingToItsCameraHoldsUpNoOtherCallAndASecondOpenTakesItsResult)
{
    auto gate = std::make_shared<Gate>();
    std::future<BaseDevice *> first;
    std::future<BaseDevice *> second;
    std::future<bool> queries;
    OpenAtExit openAtExit{gate};
    {
        std::lock_guard<std::mutex> lock(m_camera.mutex);
        m_camera.opening = [gate] { gate->Pass(); };
    }
    StartAnnouncing();
    m_manager->Start();
    ASSERT_TRUE(orvtest::WaitUntil([this] { return CountEvents(kMessageAdded) == 1; }));

    auto open = [this] {
        int ret = -1;
        return m_manager->OpenDevice(kUri, ret);
    };
    first = std::async(std::launch::async, open);
    ASSERT_TRUE(orvtest::WaitUntil([&] { return gate->held.load(); }));
    second = std::async(std::launch::async, open);

    queries = std::async(std::launch::async, [&] {
        return m_manager->GetCameraCount() == 1 && !m_manager->checkOpenedByURI(kUri);
    });
    ASSERT_EQ(queries.wait_for(kAwait), std::future_status::ready) << "a query waited for the open";
    EXPECT_TRUE(queries.get());

    gate->Open();
    ASSERT_EQ(first.wait_for(kAwait), std::future_status::ready);
    ASSERT_EQ(second.wait_for(kAwait), std::future_status::ready);
    BaseDevice *device = first.get();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(second.get(), device) << "both callers get the one open camera";
    EXPECT_EQ(m_camera.opens, 1);
    EXPECT_TRUE(m_manager->checkOpenedByURI(kUri));
    m_manager->ReleaseDevice(device);
}

} // namespace
