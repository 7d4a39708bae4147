// SPDX-License-Identifier: Apache-2.0
// Tests of discovery: announcements handed to the enumerator and merged into a list, and the listener
// thread on an ephemeral port.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "device/DeviceInfo.h"
#include "device/EnumSocketDevice.h"

namespace {

/// An announcement laid out byte by byte at the offsets cameras use.
std::vector<uint8_t> Datagram(const std::string &sn, const std::string &ip, uint8_t state, uint8_t tof = 1,
                              uint8_t rgb = 0, const std::string &alias = "", uint8_t deviceType = 11,
                              size_t size = 89)
{
    std::vector<uint8_t> d(89, 0);
    d[0] = 0x55;
    d[2] = 89;
    d[3] = tof;
    d[4] = rgb;
    std::memcpy(&d[5], ip.data(), std::min<size_t>(ip.size(), 16));
    d[21] = deviceType;
    std::memcpy(&d[22], sn.data(), std::min<size_t>(sn.size(), 30));
    d[52] = state;
    std::memcpy(&d[69], alias.data(), std::min<size_t>(alias.size(), 20));
    d.resize(size, 0xEE);
    return d;
}

class EnumSocketDeviceTest : public ::testing::Test
{
protected:
    void Send(const std::vector<uint8_t> &d) { m_enum.HandleDatagram(d.data(), d.size()); }
    void Merge() { m_enum.UpdateDeviceListInfo(m_list); }

    EnumSocketDevice m_enum{0}; // never started: no socket
    std::vector<std::unique_ptr<DeviceInfo>> m_list;
};

TEST_F(EnumSocketDeviceTest, MalformedDatagramsAndFirstAnnouncementsOfLeavingNeverReachTheList)
{
    Send(Datagram("SN1", "127.0.0.2", 0, 1, 0, "", 11, 88));
    Send(Datagram("SN1", "127.0.0.2", 0, 1, 0, "", 10));
    EXPECT_EQ(m_enum.RecordCount(), 0u);
    Send(Datagram("SN1", "127.0.0.2", 0, 1, 0, "", 11, 200)); // longer datagrams are accepted
    EXPECT_EQ(m_enum.RecordCount(), 1u);
    Send(Datagram("SN2", "127.0.0.3", 1)); // first heard in state 1 or 2: nothing to add
    Send(Datagram("SN3", "127.0.0.4", 2));
    Merge();
    ASSERT_EQ(m_list.size(), 1u);
    EXPECT_STREQ(m_list[0]->uri, "KR52Lite:SN1");
}

TEST_F(EnumSocketDeviceTest, NewCameraGetsSessionsUriAndAliasFallback)
{
    Send(Datagram("SN0001", "127.0.0.12", 0, 2, 1));
    Merge();
    ASSERT_EQ(m_list.size(), 1u);
    const DeviceInfo &d = *m_list[0];
    EXPECT_STREQ(d.uri, "KR52Lite:SN0001");
    EXPECT_STREQ(d.alias, "SN0001");
    EXPECT_EQ(d.deviceType, 520u);
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.callBackStatus, 0) << "the add notification is pending";
    ASSERT_EQ(d.SessionCount(), 2);
    const uint32_t ip = 127u | (12u << 24);
    for (int i = 0; i < 2; ++i) {
        const SessionInfo &s = d.pSessionInfo[i];
        EXPECT_EQ(s.linkType, 2u);
        EXPECT_EQ(s.ip, ip);
        EXPECT_EQ(s.cmdPort, 9008 + 10 * i);
        EXPECT_EQ(s.dataPort, 9009 + 10 * i);
        EXPECT_EQ(s.capabilityFlags, i < 1 ? 1u : 0u);
        EXPECT_EQ(s.reserved, 0xFFFF);
    }

    Send(Datagram("SN0002", "127.0.0.3", 3, 1, 0, "front"));
    Merge();
    ASSERT_EQ(m_list.size(), 2u);
    EXPECT_STREQ(m_list[1]->alias, "front");
}

TEST_F(EnumSocketDeviceTest, SilentCameraIsMarkedForRemovalAfterFourRoundsAndRevives)
{
    Send(Datagram("SN1", "127.0.0.2", 0));
    Merge();
    DeviceInfo &d = *m_list[0];
    d.callBackStatus = -1; // the manager delivered the add
    d.notifiedStatus = 0;
    for (int round = 1; round <= 3; ++round) {
        Merge();
        EXPECT_EQ(d.callBackStatus, -1) << "round " << round;
    }
    Merge();
    EXPECT_EQ(d.callBackStatus, 1);

    // The manager reports the removal; the next announcement revives the camera with a new add.
    d.status = 1;
    d.callBackStatus = -1;
    d.notifiedStatus = 1;
    Send(Datagram("SN1", "127.0.0.2", 0));
    Merge();
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.callBackStatus, 0);
}

TEST_F(EnumSocketDeviceTest, StateAnnouncementsMoveTheEntry)
{
    struct Row
    {
        int statusBefore;
        int notifiedBefore;
        uint8_t announced;
        int statusAfter;
        int callBackAfter;
    };
    const Row rows[] = {
        {2, 0, 2, 0, 1},                     // a listed camera asks to be removed
        {2, -1, 2, 0, -1},                   // never announced to the application: nothing to remove
        {2, 0, 1, 2, -1},                    // state 1 changes nothing
        {2, 0, 3, 4, -1},                    // upgrade
        {2, 0, 4, 5, -1},  {2, 0, 7, 0, -1}, // unknown state
        {1, 1, 3, 4, -1},                    // removed camera entering upgrade
        {1, 1, 2, 1, -1},  {0, 0, 0, 2, -1}, // asked for removal, then back before the manager ran
        {1, 1, 0, 2, 0},                     // a removed camera comes back: add pending
        {1, 1, 7, 0, -1},                    // removed, then an unknown state
        {0, 1, 0, 2, 0},                     // lost and reported, then back: add pending
        {3, 0, 0, 3, -1},                    // an open camera must be reported removed first
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "state " << int(row.announced) << " from " << row.statusBefore);
        m_list.clear();
        EnumSocketDevice fresh(0);
        const auto announce = [&](uint8_t state) {
            const std::vector<uint8_t> datagram = Datagram("SN1", "127.0.0.2", state);
            fresh.HandleDatagram(datagram.data(), datagram.size());
            fresh.UpdateDeviceListInfo(m_list);
        };
        announce(0);
        DeviceInfo &d = *m_list[0];
        d.status = row.statusBefore;
        d.callBackStatus = -1;
        d.notifiedStatus = row.notifiedBefore;
        announce(row.announced);
        EXPECT_EQ(d.status, row.statusAfter);
        EXPECT_EQ(d.callBackStatus, row.callBackAfter);
    }
}

TEST(EnumSocketDeviceStatic, SerialMatchingUsesTheWholeSerial)
{
    EXPECT_TRUE(EnumSocketDevice::CheckSNByURI(520, "KR52Lite:SN12", "SN12"));
    EXPECT_FALSE(EnumSocketDevice::CheckSNByURI(520, "KR52Lite:SN12", "SN1"));
    EXPECT_TRUE(EnumSocketDevice::CheckSNByURI(521, "KR52CLite:X", "X"));
    EXPECT_TRUE(EnumSocketDevice::CheckSNByURI(523, "KR52CPro:X", "X"));
    EXPECT_FALSE(EnumSocketDevice::CheckSNByURI(522, "KR52Lite:X", "X"));
    EXPECT_FALSE(EnumSocketDevice::CheckSNByURI(520, "short", "X"));
    EXPECT_FALSE(EnumSocketDevice::CheckSNByURI(520, nullptr, "X"));
}

} // namespace

TEST(EnumSocketDeviceThread, AStopEndsTheListenerWithoutCancellingIt)
{
    // The listener waits a bounded time for each datagram, so it sees a stop and ends by itself instead
    // of blocking in a receive until Join gives up and cancels it.
    orvtest::LoggedHome home;
    EnumSocketDevice listener{0}; // an ephemeral port, clear of the discovery port
    listener.Start();
    ASSERT_TRUE(orvtest::WaitUntil([&] { return listener.IsBound(); }));
    listener.Stop();
    listener.Join();
    EXPECT_TRUE(home.Logged(":Run]:end")) << "the listener was cancelled";
}
