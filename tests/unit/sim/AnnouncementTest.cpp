// SPDX-License-Identifier: Apache-2.0
// Tests of the announcement encoder against the datagram layout, read back by fixed offsets.
#include "Announcement.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace sim_test;

namespace {

Announcement SampleAnnouncement()
{
    Announcement announcement;
    announcement.tof = 2;
    announcement.rgb = 1;
    announcement.ip = "127.0.0.5";
    announcement.serial = "SN0042";
    announcement.cameraState = 3;
    announcement.peerIp = "127.0.0.1";
    announcement.alias = "Lab";
    return announcement;
}

TEST(AnnouncementTest, PutsEveryFieldAtItsOffset)
{
    const std::vector<uint8_t> bytes = SampleAnnouncement().Encode();
    ASSERT_EQ(bytes.size(), offset::kEnd);
    EXPECT_EQ(bytes[offset::kHeader], 0x55);
    EXPECT_EQ(bytes[offset::kLen], 89);
    EXPECT_EQ(bytes[offset::kTof], 2);
    EXPECT_EQ(bytes[offset::kRgb], 1);
    EXPECT_EQ(TextAt(bytes, offset::kIp, 16), "127.0.0.5");
    EXPECT_EQ(bytes[offset::kDeviceType], 11);
    EXPECT_EQ(TextAt(bytes, offset::kSerial, 30), "SN0042");
    EXPECT_EQ(bytes[offset::kState], 3);
    EXPECT_EQ(TextAt(bytes, offset::kPeerIp, 16), "127.0.0.1");
    EXPECT_EQ(TextAt(bytes, offset::kAlias, 20), "Lab");
    for (size_t start : {offset::kIp, offset::kSerial, offset::kPeerIp}) {
        EXPECT_TRUE(IsNulPadded(bytes, start, start == offset::kSerial ? 30 : 16)) << "field at " << start;
    }
    EXPECT_TRUE(IsNulPadded(bytes, offset::kAlias, 20));
    // bcc is the xor of the other bytes, so the xor of all of them is zero.
    EXPECT_EQ(XorOfAll(bytes), 0);
}

struct TextCase
{
    const char *field;
    size_t start;
    size_t width;
    size_t textChars;
};

// Every field keeps at most width - 1 characters so that a NUL always ends it.
TEST(AnnouncementTest, CutsTextFieldsToFitAndKeepsTheirNul)
{
    const TextCase cases[] = {
        {"ip", offset::kIp, 16, 0},          {"ip", offset::kIp, 16, 15},
        {"ip", offset::kIp, 16, 16},         {"serial", offset::kSerial, 30, 29},
        {"serial", offset::kSerial, 30, 30}, {"serial", offset::kSerial, 30, 64},
        {"peerIp", offset::kPeerIp, 16, 40}, {"alias", offset::kAlias, 20, 0},
        {"alias", offset::kAlias, 20, 19},   {"alias", offset::kAlias, 20, 20},
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(std::string(c.field) + " of " + std::to_string(c.textChars) + " characters");
        Announcement announcement = SampleAnnouncement();
        std::string text(c.textChars, 'x');
        for (size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char>('a' + i % 26);
        }
        const std::string field = c.field;
        (field == "ip"       ? announcement.ip
         : field == "serial" ? announcement.serial
         : field == "peerIp" ? announcement.peerIp
                             : announcement.alias) = text;
        const std::vector<uint8_t> bytes = announcement.Encode();
        ASSERT_EQ(bytes.size(), offset::kEnd);
        EXPECT_EQ(TextAt(bytes, c.start, c.width), text.substr(0, c.width - 1));
        EXPECT_EQ(bytes[c.start + c.width - 1], 0);
        EXPECT_TRUE(IsNulPadded(bytes, c.start, c.width));
        // The neighbours are untouched by a long text.
        EXPECT_EQ(bytes[offset::kDeviceType], 11);
        EXPECT_EQ(bytes[offset::kState], 3);
        EXPECT_EQ(XorOfAll(bytes), 0);
    }
}

} // namespace
