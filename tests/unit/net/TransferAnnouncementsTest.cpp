// SPDX-License-Identifier: Apache-2.0
// Tests of the path splitting behind the 0x1D announcements, for the paths the protocol tests in
// FileTransferTest do not give (their bytes, and the upload names, are checked there and end to end).
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
        {"/image.bin", true, "/", "image.bin"},
        {"image.bin", false, "", ""},
        {"/srv/fw/", false, "", ""},
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

} // namespace
