// SPDX-License-Identifier: Apache-2.0
// Tests of one simulated camera's announcements: the datagram layout and its text fields cut to fit, from
// where it is sent, the malformed datagrams on demand and how it reports what it cannot send.
#include "SimCamera.h"

#include "Announcement.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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
    const std::vector<uint8_t> &bytes = datagram->bytes;
    ASSERT_EQ(bytes.size(), offset::kEnd);
    EXPECT_EQ(bytes[offset::kHeader], 0x55);
    EXPECT_EQ(bytes[offset::kLen], 89);
    EXPECT_EQ(bytes[offset::kTof], 2);
    EXPECT_EQ(bytes[offset::kRgb], 1);
    EXPECT_EQ(datagram->Ip(), "127.0.0.5");
    EXPECT_EQ(bytes[offset::kDeviceType], 11);
    EXPECT_EQ(datagram->Serial(), "SN0042");
    EXPECT_EQ(datagram->State(), 3);
    EXPECT_EQ(TextAt(bytes, offset::kPeerIp, 16), "127.0.0.1");
    EXPECT_EQ(TextAt(bytes, offset::kAlias, 20), "Lab");
    for (const auto &[start, width] : {std::pair<size_t, size_t>{offset::kIp, 16},
                                       {offset::kSerial, 30},
                                       {offset::kPeerIp, 16},
                                       {offset::kAlias, 20}}) {
        EXPECT_TRUE(IsNulPadded(bytes, start, width)) << "field at " << start;
    }
    // bcc is the xor of the other bytes, so the xor of all of them is zero.
    EXPECT_EQ(XorOfAll(bytes), 0);
}

// Every field keeps at most width - 1 characters so that a NUL always ends it; the neighbours and the
// checksum are untouched by a long text.
TEST(AnnouncementTest, CutsTextFieldsToFitAndKeepsTheirNul)
{
    struct Case
    {
        std::string Announcement::*field;
        size_t start;
        size_t width;
        size_t textChars;
    };
    const Case cases[] = {
        {&Announcement::ip, offset::kIp, 16, 0},          {&Announcement::ip, offset::kIp, 16, 15},
        {&Announcement::ip, offset::kIp, 16, 16},         {&Announcement::serial, offset::kSerial, 30, 29},
        {&Announcement::serial, offset::kSerial, 30, 30}, {&Announcement::serial, offset::kSerial, 30, 64},
        {&Announcement::peerIp, offset::kPeerIp, 16, 40}, {&Announcement::alias, offset::kAlias, 20, 0},
        {&Announcement::alias, offset::kAlias, 20, 19},   {&Announcement::alias, offset::kAlias, 20, 20},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("field at " + std::to_string(c.start) + ", " + std::to_string(c.textChars) + " chars");
        Announcement announcement;
        announcement.ip = "127.0.0.5";
        announcement.serial = "SN0042";
        announcement.cameraState = 3;
        announcement.peerIp = "127.0.0.1";
        announcement.alias = "Lab";
        std::string text(c.textChars, 'x');
        for (size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char>('a' + i % 26);
        }
        announcement.*c.field = text;
        const std::vector<uint8_t> bytes = announcement.Encode();
        ASSERT_EQ(bytes.size(), offset::kEnd);
        EXPECT_EQ(TextAt(bytes, c.start, c.width), text.substr(0, c.width - 1));
        EXPECT_EQ(bytes[c.start + c.width - 1], 0);
        EXPECT_TRUE(IsNulPadded(bytes, c.start, c.width));
        EXPECT_EQ(bytes[offset::kDeviceType], 11);
        EXPECT_EQ(bytes[offset::kState], 3);
        EXPECT_EQ(XorOfAll(bytes), 0);
    }
}

TEST(SimCameraTest, MalformedDatagramsDifferFromAGoodOneOnlyWhereIntended)
{
    DiscoveryReceiver receiver;
    SimCamera camera(LabCamera(), "127.0.0.1", receiver.Port());
    // A silenced camera skips only its periodic announcement; an explicit one still goes out.
    camera.SetAnnouncing(false);
    EXPECT_FALSE(camera.AnnounceIfEnabled());
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

TEST(SimCameraTest, AddressesThatCannotBeUsedAreReportedAndRecoveredFrom)
{
    SimCamera nowhere(LabCamera(), "nowhere", 9);
    EXPECT_FALSE(nowhere.AnnounceNow());
    EXPECT_FALSE(nowhere.AnnounceIfEnabled());
    EXPECT_NE(nowhere.LastError().find("nowhere"), std::string::npos) << nowhere.LastError();
    EXPECT_FALSE(nowhere.WaitForAnnouncements(1, 10));

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

} // namespace
