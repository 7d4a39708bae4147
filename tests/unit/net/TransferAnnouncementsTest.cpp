// SPDX-License-Identifier: Apache-2.0
// Tests of the path splitting and the upload names behind the 0x1D announcements (their bytes are
// checked through the protocol in FileTransferTest).
#include <gtest/gtest.h>

#include "net/TransferAnnouncements.h"

namespace {

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
