// SPDX-License-Identifier: Apache-2.0
// Tests of the device list: visibility, queries, opening by URI, alias and address, and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "FakeSession.h"
#include "TestSupport.h"
#include "device/BaseDevice.h"
#include "device/DeviceManager.h"
#include "session/BaseSession.h"
#include "upgrade/Upgrade.h"

namespace {

using orvtest::Val;

std::unique_ptr<DeviceInfo> Entry(const char *serial, const char *alias, uint32_t ip, int status = 2,
                                  int callBackStatus = -1)
{
    auto entry = std::make_unique<DeviceInfo>();
    entry->InitNew(520);
    std::snprintf(entry->uri, sizeof(entry->uri), "KR52Lite:%s", serial);
    std::snprintf(entry->alias, sizeof(entry->alias), "%s", alias);
    entry->status = status;
    entry->callBackStatus = callBackStatus;
    SessionInfo session;
    session.linkType = kLinkTypeNetwork;
    session.ip = ip;
    session.cmdPort = 9008;
    session.dataPort = 9009;
    session.deviceType = 520;
    entry->pSessionInfo.push_back(session);
    return entry;
}

constexpr uint32_t Ip(int a, int b, int c, int d)
{
    return static_cast<uint32_t>(a | (b << 8) | (c << 16) | (d << 24));
}

class DeviceManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        BaseDevice::SetSessionFactory([this](const SessionInfo &, int) {
            auto session = std::make_unique<FakeSession>();
            session->m_results["OpenDevice"] = m_openResult;
            return session;
        });
        DeviceManager::SetDiscoveryPort(0); // unit tests open no sockets
        m_manager = DeviceManager::GetInstance();
    }
    void TearDown() override
    {
        DeviceManager::Release();
        BaseDevice::SetSessionFactory(nullptr);
    }

    DeviceManager *m_manager = nullptr;
    int m_openResult = 0;
};

TEST_F(DeviceManagerTest, OnlyAnnouncedAndNotRemovedEntriesAreVisible)
{
    m_manager->AddDeviceInfo(Entry("A", "a", Ip(127, 0, 0, 2)));
    m_manager->AddDeviceInfo(Entry("B", "b", Ip(127, 0, 0, 3), 2, 0)); // add notification still pending
    m_manager->AddDeviceInfo(Entry("C", "c", Ip(127, 0, 0, 4), 1));    // removed
    m_manager->AddDeviceInfo(Entry("D", "d", Ip(127, 0, 0, 5)));
    EXPECT_EQ(m_manager->GetCameraCount(), 2);

    TfDeviceInfo list[4];
    std::memset(list, 0xAB, sizeof(list));
    ASSERT_EQ(m_manager->GetDeviceInfoList(list, 4), 0);
    EXPECT_STREQ(list[0].uri, "KR52Lite:A");
    EXPECT_STREQ(list[1].uri, "KR52Lite:D");
    EXPECT_EQ(Val(list[2].sessionCount), 0xABABABABu) << "only visible entries are written";

    // A capacity smaller than the number of visible cameras fills exactly that many records.
    std::memset(list, 0xAB, sizeof(list));
    ASSERT_EQ(m_manager->GetDeviceInfoList(list, 1), 0);
    EXPECT_STREQ(list[0].uri, "KR52Lite:A");
    EXPECT_EQ(Val(list[1].sessionCount), 0xABABABABu);
    EXPECT_EQ(m_manager->GetDeviceInfoList(nullptr, 1), -12);
}

TEST_F(DeviceManagerTest, ReleaseReturnsTheEntryToAvailableOrRemoved)
{
    m_manager->AddDeviceInfo(Entry("A", "a", Ip(127, 0, 0, 2)));
    auto removed = Entry("B", "b", Ip(127, 0, 0, 3));
    DeviceInfo *removedEntry = removed.get();
    m_manager->AddDeviceInfo(std::move(removed));

    int ret = 0;
    BaseDevice *a = m_manager->OpenDevice("KR52Lite:A", ret);
    BaseDevice *b = m_manager->OpenDevice("KR52Lite:B", ret);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    removedEntry->notifiedStatus = 1; // its removal was already reported to the application

    m_manager->ReleaseDevice(a);
    m_manager->ReleaseDevice(b);
    m_manager->ReleaseDevice(nullptr);
    EXPECT_FALSE(m_manager->CheckDevicePtrVaild(a));
    EXPECT_FALSE(m_manager->CheckDevicePtrVaild(b));
    EXPECT_EQ(m_manager->GetCameraCount(), 1);
    TfDeviceInfo info{};
    ASSERT_EQ(m_manager->GetDeviceInfo(&info, 0), 0);
    EXPECT_STREQ(info.uri, "KR52Lite:A");
    EXPECT_EQ(Val(info.status), 2u);
    EXPECT_EQ(removedEntry->status, 1);
}

TEST_F(DeviceManagerTest, EveryOpenCallReportsRemovedUnknownAndUnopenableCameras)
{
    int ret = 0;
    EXPECT_EQ(m_manager->OpenDevice("KR52Lite:A", ret), nullptr);
    EXPECT_EQ(ret, -15) << "empty list";
    m_manager->AddDeviceInfo(Entry("A", "front", Ip(127, 0, 0, 2), 1)); // removed
    m_manager->AddDeviceInfo(Entry("B", "back", Ip(127, 0, 0, 3)));
    auto foreign = Entry("C", "side", Ip(127, 0, 0, 4));
    foreign->deviceType = 600; // not a camera of this family: never matched by address
    m_manager->AddDeviceInfo(std::move(foreign));
    m_manager->AddDeviceInfo(Entry("F", "f", Ip(127, 0, 0, 5)));
    m_openResult = -13;

    struct Case
    {
        const char *name;
        BaseDevice *(DeviceManager::*open)(const char *, int &);
        const char *key;
        int expected;
    };
    const Case cases[] = {
        {"removed by uri", &DeviceManager::OpenDevice, "KR52Lite:A", -1},
        {"removed by alias", &DeviceManager::OpenDeviceByAlias, "front", -1},
        {"removed by ip", &DeviceManager::OpenDeviceByIP, "127.0.0.2", -1},
        {"unknown uri", &DeviceManager::OpenDevice, "KR52Lite:Z", -15},
        {"uri prefix", &DeviceManager::OpenDevice, "KR52Lite:", -15},
        {"unknown alias", &DeviceManager::OpenDeviceByAlias, "top", -15},
        {"unknown ip", &DeviceManager::OpenDeviceByIP, "127.0.0.9", -15},
        {"other family by ip", &DeviceManager::OpenDeviceByIP, "127.0.0.4", -15},
        {"session fails to open", &DeviceManager::OpenDevice, "KR52Lite:F", -13},
    };
    for (const Case &c : cases) {
        ret = 0;
        EXPECT_EQ((m_manager->*c.open)(c.key, ret), nullptr) << c.name;
        EXPECT_EQ(ret, c.expected) << c.name;
    }
    ret = 7;
    EXPECT_EQ(m_manager->OpenDevice(nullptr, ret), nullptr);
    EXPECT_EQ(m_manager->OpenDeviceByAlias(nullptr, ret), nullptr);
    EXPECT_EQ(m_manager->OpenDeviceByIP(nullptr, ret), nullptr);
    EXPECT_EQ(ret, 7) << "a null key leaves the result alone";
    EXPECT_EQ(m_manager->GetCameraCount(), 3) << "failed opens change no entry";
    EXPECT_FALSE(m_manager->checkOpenedByURI("KR52Lite:F"));
}

TEST_F(DeviceManagerTest, AFailedReopenOfAKeptDeviceClosesIt)
{
    // A removed camera whose handle the application still holds, listed again by discovery.
    auto owned = Entry("A", "a", Ip(127, 0, 0, 2));
    DeviceInfo *entry = owned.get();
    m_manager->AddDeviceInfo(std::move(owned));
    int ret = -1;
    BaseDevice *device = m_manager->OpenDevice("KR52Lite:A", ret);
    ASSERT_NE(device, nullptr);
    auto *session = static_cast<FakeSession *>(device->GetSession(0));
    session->m_results["OpenDevice"] = -104;
    entry->status = 2;

    ret = 0;
    EXPECT_EQ(m_manager->OpenDevice("KR52Lite:A", ret), nullptr);
    EXPECT_EQ(ret, -104);
    EXPECT_EQ(std::count(session->m_calls.begin(), session->m_calls.end(), "CloseDevice"), 1);
    EXPECT_TRUE(m_manager->CheckDevicePtrVaild(device))
        << "the application's handle is still the one to close";

    session->m_results["OpenDevice"] = 0;
    EXPECT_EQ(m_manager->OpenDevice("KR52Lite:A", ret), device) << "reopened, the kept device is handed out";
    EXPECT_EQ(ret, 0);
    m_manager->ReleaseDevice(device);
}

TEST(BaseDeviceTest, ACameraWithoutSessionsNeverOpens)
{
    BaseDevice::SetSessionFactory([](const SessionInfo &, int) { return std::unique_ptr<BaseSession>(); });
    DeviceInfo info;
    info.InitNew(520);
    info.pSessionInfo.resize(1);
    BaseDevice device(info, true);
    EXPECT_EQ(device.GetSession(0), nullptr);
    EXPECT_EQ(device.Open(false), -13);
    BaseDevice::SetSessionFactory(nullptr);
}

TEST(BaseDeviceTest, TheLivenessProbeIsSessionZerosHeartbeat)
{
    std::vector<FakeSession *> sessions;
    BaseDevice::SetSessionFactory([&sessions](const SessionInfo &, int) {
        auto session = std::make_unique<FakeSession>();
        session->m_results["GetProperty"] = -104;
        sessions.push_back(session.get());
        return std::unique_ptr<BaseSession>(std::move(session));
    });
    DeviceInfo info;
    info.InitNew(523);
    info.pSessionInfo.resize(2);
    BaseDevice device(info, true);
    char buf[64] = {};
    EXPECT_EQ(device.GetSN(buf, 63), -104) << "the heartbeat's failure is the probe's";
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0]->m_calls, std::vector<std::string>{"GetProperty:0xE0000099"});
    EXPECT_EQ(sessions[0]->m_lastPropertySize, 63);
    EXPECT_TRUE(sessions[1]->m_calls.empty());

    info.deviceType = 600; // not a camera of this family: nothing to probe
    BaseDevice foreign(info, true);
    EXPECT_EQ(foreign.GetSN(buf, 63), 0);
    EXPECT_TRUE(sessions[2]->m_calls.empty());
    BaseDevice::SetSessionFactory(nullptr);
}

TEST_F(DeviceManagerTest, OnlyTheCameraBeingUpgradedIsHandedOverAndTheFlagClearsWhenTheWorkerIsIdle)
{
    DeviceManager::SetRoundPeriodMs(20);
    // Nothing listens on these addresses: the worker's connection attempts fail at once.
    m_manager->AddDeviceInfo(Entry("SN-OTHER", "other", Ip(127, 0, 0, 168), TF_CONNECT_UPGRADING));
    Upgrade *upgrade = Upgrade::GetInstance();
    upgrade->SetImgPath("/tmp/fw.bin");
    upgrade->SetStatus(1);
    m_manager->SetUpgradeState(kUpgradeFirmware, "SN-MINE");
    m_manager->Start();
    // Several rounds pass over the other camera in upgrade mode without handing it over.
    const int rounds = 5;
    for (int i = 0; i < rounds; ++i) {
        m_manager->GetCameraCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(upgrade->GetSessionInfo().linkType, 0u);
    EXPECT_EQ(m_manager->GetUpgradeState(), kUpgradeFirmware);
    m_manager->AddDeviceInfo(Entry("SN-MINE", "mine", Ip(127, 0, 0, 169), TF_CONNECT_UPGRADING));
    ASSERT_TRUE(orvtest::WaitUntil([upgrade] { return upgrade->GetSessionInfo().ip == Ip(127, 0, 0, 169); }));
    // Its camera cannot be reached: the job ends, and with it the flag.
    ASSERT_TRUE(orvtest::WaitUntil([this] { return m_manager->GetUpgradeState() == kUpgradeIdle; }));
    EXPECT_EQ(upgrade->Status(), 0u);
    DeviceManager::SetRoundPeriodMs(1000);
}

} // namespace
