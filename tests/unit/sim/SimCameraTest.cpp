// SPDX-License-Identifier: Apache-2.0
// Tests of one simulated camera: what it sends, from where, and how it reports what it cannot send.
#include "SimCamera.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace sim_test;

namespace {

SimCameraConfig LabCamera()
{
    SimCameraConfig config;
    config.serial = "SN0042";
    config.alias = "Lab";
    config.address = "127.0.0.5";
    config.tofSessions = 2;
    config.colorSessions = 1;
    config.state = 3;
    return config;
}

TEST(SimCameraTest, AnnouncesItsFieldsFromItsOwnAddress)
{
    DiscoveryReceiver receiver;
    SimCamera camera(LabCamera(), "127.0.0.1", receiver.Port());
    ASSERT_TRUE(camera.AnnounceNow());
    EXPECT_EQ(camera.AnnouncementsSent(), 1u);

    const std::optional<Datagram> datagram = receiver.Receive(kWaitMs);
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->source, "127.0.0.5");
    ASSERT_EQ(datagram->bytes.size(), offset::kEnd);
    EXPECT_EQ(datagram->At(offset::kHeader), 0x55);
    EXPECT_EQ(datagram->At(offset::kLen), 89);
    EXPECT_EQ(datagram->At(offset::kTof), 2);
    EXPECT_EQ(datagram->At(offset::kRgb), 1);
    EXPECT_EQ(datagram->Ip(), "127.0.0.5");
    EXPECT_EQ(datagram->At(offset::kDeviceType), 11);
    EXPECT_EQ(datagram->Serial(), "SN0042");
    EXPECT_EQ(datagram->State(), 3);
    EXPECT_EQ(TextAt(datagram->bytes, offset::kPeerIp, 16), "127.0.0.1");
    EXPECT_EQ(TextAt(datagram->bytes, offset::kAlias, 20), "Lab");
    EXPECT_EQ(XorOfAll(datagram->bytes), 0);
}

TEST(SimCameraTest, LaterAnnouncementsCarryTheNewStateAndAddress)
{
    DiscoveryReceiver receiver;
    SimCamera camera(LabCamera(), "127.0.0.1", receiver.Port());
    for (uint8_t state : {0, 1, 2, 3, 4}) {
        camera.SetState(state);
        ASSERT_TRUE(camera.AnnounceNow());
        const std::optional<Datagram> datagram = receiver.Receive(kWaitMs);
        ASSERT_TRUE(datagram);
        EXPECT_EQ(datagram->State(), state);
    }

    camera.SetAddress("127.0.0.7");
    EXPECT_EQ(camera.Config().address, "127.0.0.7");
    ASSERT_TRUE(camera.AnnounceNow());
    const std::optional<Datagram> moved = receiver.Receive(kWaitMs);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->source, "127.0.0.7");
    EXPECT_EQ(moved->Ip(), "127.0.0.7");
    EXPECT_EQ(moved->Serial(), "SN0042");
    EXPECT_EQ(camera.AnnouncementsSent(), 6u);
}

TEST(SimCameraTest, MalformedDatagramsDifferFromAGoodOneOnlyWhereIntended)
{
    DiscoveryReceiver receiver;
    SimCamera camera(LabCamera(), "127.0.0.1", receiver.Port());
    ASSERT_TRUE(camera.AnnounceNow());
    const std::optional<Datagram> good = receiver.Receive(kWaitMs);
    ASSERT_TRUE(good);

    ASSERT_TRUE(camera.SendMalformed(MalformedKind::Short));
    const std::optional<Datagram> shortOne = receiver.Receive(kWaitMs);
    ASSERT_TRUE(shortOne);
    EXPECT_EQ(shortOne->source, "127.0.0.5");
    ASSERT_EQ(shortOne->bytes.size(), 88u);
    EXPECT_TRUE(std::equal(shortOne->bytes.begin(), shortOne->bytes.end(), good->bytes.begin()));

    ASSERT_TRUE(camera.SendMalformed(MalformedKind::WrongDeviceType));
    const std::optional<Datagram> wrongType = receiver.Receive(kWaitMs);
    ASSERT_TRUE(wrongType);
    ASSERT_EQ(wrongType->bytes.size(), offset::kEnd);
    EXPECT_EQ(wrongType->At(offset::kDeviceType), 10);
    EXPECT_EQ(XorOfAll(wrongType->bytes), 0);
    for (size_t i = 0; i < offset::kEnd; ++i) {
        if (i != offset::kBcc && i != offset::kDeviceType) {
            EXPECT_EQ(wrongType->At(i), good->At(i)) << "byte " << i;
        }
    }

    EXPECT_EQ(camera.AnnouncementsSent(), 1u);
    EXPECT_EQ(camera.MalformedSent(), 2u);
}

TEST(SimCameraTest, AnAddressThatCannotBeBoundIsReportedAndRecoveredFrom)
{
    DiscoveryReceiver receiver;
    SimCameraConfig config = LabCamera();
    config.address = "192.0.2.1"; // a documentation address, never local
    SimCamera camera(config, "127.0.0.1", receiver.Port());
    EXPECT_FALSE(camera.AnnounceNow());
    EXPECT_FALSE(camera.SendMalformed(MalformedKind::Short));
    EXPECT_NE(camera.LastError().find("192.0.2.1"), std::string::npos) << camera.LastError();

    camera.SetAddress("not-an-address");
    EXPECT_FALSE(camera.AnnounceNow());
    EXPECT_NE(camera.LastError().find("not-an-address"), std::string::npos) << camera.LastError();
    EXPECT_EQ(camera.AnnouncementsSent(), 0u);
    EXPECT_EQ(camera.MalformedSent(), 0u);

    camera.SetAddress("127.0.0.2");
    ASSERT_TRUE(camera.AnnounceNow());
    EXPECT_EQ(camera.LastError(), "");
    // The failed attempts sent nothing: the first datagram to arrive is the good one.
    const std::optional<Datagram> datagram = receiver.Receive(kWaitMs);
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->source, "127.0.0.2");
    EXPECT_EQ(datagram->bytes.size(), offset::kEnd);
}

TEST(SimCameraTest, AnInvalidDiscoveryAddressFailsEverySend)
{
    SimCamera camera(LabCamera(), "nowhere", 9);
    EXPECT_FALSE(camera.AnnounceNow());
    EXPECT_FALSE(camera.AnnounceIfEnabled());
    EXPECT_NE(camera.LastError().find("nowhere"), std::string::npos) << camera.LastError();
    EXPECT_EQ(camera.AnnouncementsSent(), 0u);
    EXPECT_FALSE(camera.WaitForAnnouncements(1, 10));
}

TEST(SimCameraTest, SilencedCameraSkipsOnlyThePeriodicAnnouncement)
{
    DiscoveryReceiver receiver;
    SimCamera camera(LabCamera(), "127.0.0.1", receiver.Port());
    camera.SetAnnouncing(false);
    EXPECT_FALSE(camera.IsAnnouncing());
    EXPECT_FALSE(camera.AnnounceIfEnabled());
    EXPECT_EQ(camera.AnnouncementsSent(), 0u);
    EXPECT_TRUE(camera.AnnounceNow()); // an explicit announcement still goes out
    camera.SetAnnouncing(true);
    EXPECT_TRUE(camera.AnnounceIfEnabled());
    EXPECT_EQ(camera.AnnouncementsSent(), 2u);
    EXPECT_TRUE(camera.WaitForAnnouncements(2, 0));
    ASSERT_TRUE(receiver.Receive(kWaitMs));
    ASSERT_TRUE(receiver.Receive(kWaitMs));
}

} // namespace
