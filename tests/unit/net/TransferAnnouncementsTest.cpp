// SPDX-License-Identifier: Apache-2.0
// Tests of the 0x1D announcements byte for byte, the path splitting and the upload names.
#include <gtest/gtest.h>

#include "net/TransferAnnouncements.h"

namespace {

std::vector<uint8_t> Host(const char *text)
{
    std::vector<uint8_t> field(16, 0);
    for (size_t i = 0; text[i] != '\0'; ++i) {
        field[i] = static_cast<uint8_t>(text[i]);
    }
    return field;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto &part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<uint8_t> Text(const std::string &s)
{
    return {s.begin(), s.end()};
}

TEST(TransferAnnouncements, PayloadsAreByteForByteTheCamerasLayouts)
{
    std::vector<uint8_t> out;
    ASSERT_TRUE(TransferAnnouncements::FirmwareImage("127.0.0.1", "image.bin", out));
    EXPECT_EQ(out, Concat({{1, 1}, Host("127.0.0.1"), Text("image.bin"), {0}}));
    ASSERT_TRUE(TransferAnnouncements::JsonFile("10.0.0.20", "cfg.json", out));
    EXPECT_EQ(out, Concat({{3, 4}, Host("10.0.0.20"), Text("cfg.json"), {0}}));
    EXPECT_EQ(TransferAnnouncements::JsonMode("10.0.0.20"),
              Concat({{3, 1}, Host("10.0.0.20"), std::vector<uint8_t>(20, 0)}));
    // Types 5 and 6 carry the index before the value; the others do not.
    ASSERT_TRUE(TransferAnnouncements::HostToCamera(5, "1.2.3.4", 2, 0x01020304, 0x7F, "p.bin", out));
    EXPECT_EQ(out, Concat({{5, 1}, Host("1.2.3.4"), {2, 4, 3, 2, 1, 0x7F, 5, 0, 0, 0}, Text("p.bin")}));
    EXPECT_EQ(out.size(), 28u + 5u);
    ASSERT_TRUE(TransferAnnouncements::HostToCamera(4, "1.2.3.4", 2, 16, 9, "i.bin", out));
    EXPECT_EQ(out, Concat({{4, 1}, Host("1.2.3.4"), {16, 0, 0, 0, 9, 5, 0, 0, 0}, Text("i.bin")}));
    EXPECT_EQ(TransferAnnouncements::CameraToHost(6, "1.2.3.4", 3), Concat({{6, 2}, Host("1.2.3.4"), {3}}));
    EXPECT_EQ(TransferAnnouncements::CameraToHost(7, "1.2.3.4", 3), Concat({{7, 2}, Host("1.2.3.4")}));
}

TEST(TransferAnnouncements, NamesThatWouldBeCutAreRefusedBeforeAnythingIsSent)
{
    std::vector<uint8_t> out;
    EXPECT_TRUE(TransferAnnouncements::FirmwareImage("h", std::string(45, 'a'), out));
    EXPECT_EQ(out.size(), 64u);
    EXPECT_FALSE(TransferAnnouncements::FirmwareImage("h", std::string(46, 'a'), out));
    EXPECT_FALSE(TransferAnnouncements::JsonFile("h", std::string(46, 'a'), out));
    EXPECT_TRUE(TransferAnnouncements::HostToCamera(5, "h", 0, 0, 0, std::string(36, 'a'), out));
    EXPECT_FALSE(TransferAnnouncements::HostToCamera(5, "h", 0, 0, 0, std::string(37, 'a'), out));
    EXPECT_TRUE(TransferAnnouncements::HostToCamera(4, "h", 0, 0, 0, std::string(37, 'a'), out));
    EXPECT_FALSE(TransferAnnouncements::HostToCamera(4, "h", 0, 0, 0, std::string(38, 'a'), out));
    EXPECT_FALSE(TransferAnnouncements::FirmwareImage("h", "", out));
}

TEST(TransferAnnouncements, PathsSplitAtEitherSeparatorAndNeedAFileName)
{
    struct Row
    {
        const char *path;
        bool ok;
        const char *directory;
        const char *name;
    };
    const Row rows[] = {
        {"C:\\fw\\image.bin", true, "C:/fw", "image.bin"},
        {"/srv/fw/image.bin", true, "/srv/fw", "image.bin"},
        {"conf/a.json", true, "conf", "a.json"},
        {"/image.bin", true, "/", "image.bin"},
        {"image.bin", false, "", ""},
        {"/srv/fw/", false, "", ""},
        {"C:\\fw\\", false, "", ""},
    };
    for (const Row &row : rows) {
        SplitFilePath split;
        ASSERT_EQ(TransferAnnouncements::Split(row.path, split), row.ok) << row.path;
        if (row.ok) {
            EXPECT_EQ(split.directory, row.directory);
            EXPECT_EQ(split.name, row.name);
        }
    }
}

TEST(TransferAnnouncements, UploadNamesFollowTheTypeTagAndIndex)
{
    EXPECT_EQ(TransferAnnouncements::UploadName(4, "SN42", 0), "intrinsic_SN42.bin");
    EXPECT_EQ(TransferAnnouncements::UploadName(5, "SN42", 3), "planeness_SN42_3.bin");
    EXPECT_EQ(TransferAnnouncements::UploadName(6, "SN42", 12), "rangeOffset_SN42_12.bin");
    EXPECT_EQ(TransferAnnouncements::UploadName(7, "SN42", 0), "ir_background_SN42.bin");
    EXPECT_EQ(TransferAnnouncements::UploadName(8, "SN42", 0), "");
    EXPECT_EQ(TransferAnnouncements::UploadName(4, "../x", 0), "");
}

} // namespace
