// SPDX-License-Identifier: Apache-2.0
// Tests of the application-data directories and the path string helpers.
#include "runtime/PathTools.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using orvtest::LoggedHome;
using orvtest::TempDir;
using orvtest::WriteFile;

namespace {

TEST(PathToolsTest, ConfigPathLiesUnderTheHomeAndOnlyTheApplicationDirectoryIsCreated)
{
    TempDir home;
    std::filesystem::create_directory(home.Path() + "/.config");
    Path_SetHomeDirectoryOverride(home.Path());
    const std::string configPath = GetConfigPath();
    const std::string appData = GetAppDataDirectory();
    Path_SetHomeDirectoryOverride("");

    EXPECT_EQ(configPath, home.Path() + "/.config/Orvane/Config/");
    EXPECT_EQ(appData, home.Path() + "/.config/Orvane");
    EXPECT_TRUE(std::filesystem::is_directory(home.Path() + "/.config/Orvane"));
    EXPECT_FALSE(std::filesystem::exists(home.Path() + "/.config/Orvane/Config"));
}

TEST(PathToolsTest, MissingConfigFolderGivesEmptyPathsAndALogLine)
{
    // The logger runs from a working home; the paths are then asked for a home without ".config".
    LoggedHome logHome;
    TempDir bareHome;
    Path_SetHomeDirectoryOverride(bareHome.Path());
    const std::string appData = GetAppDataDirectory();
    const std::string configPath = GetConfigPath();
    Path_SetHomeDirectoryOverride(logHome.Home());

    EXPECT_EQ(appData, "");
    EXPECT_EQ(configPath, "");
    EXPECT_TRUE(
        logHome.Logged("CreateDirectory " + bareHome.Path() + "/.config/Orvane failed errorcode:2 !"));
    EXPECT_FALSE(std::filesystem::exists(bareHome.Path() + "/.config"));
}

} // namespace
