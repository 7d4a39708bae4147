// SPDX-License-Identifier: Apache-2.0
// Tests of the application-data directories and the path string helpers.
#include "runtime/PathTools.h"

#include "RuntimeTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using runtime_test::LoggedHome;
using runtime_test::TempDir;
using runtime_test::WriteFile;

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

TEST(PathToolsTest, DirectoryChecksAndCreation)
{
    TempDir scratch;
    const std::string file = scratch.Path() + "/file";
    const std::string made = scratch.Path() + "/made";
    WriteFile(file, "x");

    EXPECT_TRUE(IsDirectoryExist(scratch.Path().c_str()));
    EXPECT_FALSE(IsDirectoryExist(file.c_str()));
    EXPECT_FALSE(IsDirectoryExist((scratch.Path() + "/absent").c_str()));
    EXPECT_FALSE(IsDirectoryExist(nullptr));

    EXPECT_TRUE(CreateDirectory_(made.c_str()));
    EXPECT_TRUE(IsDirectoryExist(made.c_str()));
    EXPECT_FALSE(CreateDirectory_(made.c_str())) << "already exists";
    EXPECT_FALSE(CreateDirectory_((scratch.Path() + "/a/b").c_str())) << "parents are not created";
    EXPECT_FALSE(CreateDirectory_(nullptr));
}

TEST(PathToolsTest, IsAbsolute)
{
    const std::pair<const char *, bool> rows[] = {
        {"", false},        {"/", true},         {"/home/u", true},     {"\\share\\x", true},
        {"C:\\data", true}, {"rel:ative", true}, {"relative/x", false}, {"./Config/", false},
        {"..", false},      {" /leading", false}};
    for (const auto &[path, absolute] : rows) {
        EXPECT_EQ(Path_IsAbsolute(path), absolute) << '"' << path << '"';
    }
}

TEST(PathToolsTest, JoinAndFixSlashes)
{
    struct Row
    {
        const char *first;
        const char *second;
        char slash;
        const char *joined;
    };
    const Row rows[] = {{"/a", "b", '/', "/a/b"},   {"/a/", "b", '/', "/a/b"},
                        {"/a\\", "b", '/', "/a/b"}, {"/a//", "b", '/', "/a//b"},
                        {"", "b", '/', "/b"},       {"C:\\x", "y", '\\', "C:\\x\\y"},
                        {"/a", "", '/', "/a/"}};
    for (const Row &row : rows) {
        EXPECT_EQ(Path_Join(row.first, row.second, row.slash), row.joined)
            << row.first << " + " << row.second;
    }
    EXPECT_EQ(Path_FixSlashes("a\\b/c\\\\d"), "a/b/c//d");
    EXPECT_EQ(Path_FixSlashes("a\\b/c", '\\'), "a\\b\\c");
}

TEST(PathToolsTest, CompactRemovesDotComponents)
{
    const std::pair<const char *, const char *> rows[] = {
        {"/a/./b", "/a/b"},
        {"./a/b", "a/b"},
        {"/a/b/.", "/a/b/"},
        {"/a/b/..", "/a/"},
        {"/a/b/../c", "/a/c"},
        {"/a/b/c/../../d", "/a/d"},
        {"a/../b", "b"},
        {"a/..", ""},
        {".", ""},
        {"../a", "../a"},
        {"../../a/..", "../../"},
        {"a/../../b", "../b"},
        {"/..", "/"},
        {"/../a", "/a"},
        {"/", "/"},
        {"", ""},
        {"/a//b/", "/a/b/"},
        {"\\a\\.\\b\\..\\c", "/a/c"},
        {"/a/.hidden/..x/...", "/a/.hidden/..x/..."},
        {"/home/u/.config/Orvane/./Config/", "/home/u/.config/Orvane/Config/"}};
    for (const auto &[path, compacted] : rows) {
        EXPECT_EQ(Path_Compact(path), compacted) << '"' << path << '"';
        EXPECT_EQ(Path_Compact(Path_Compact(path)), Path_Compact(path)) << "not stable: \"" << path << '"';
    }
    EXPECT_EQ(Path_Compact("C:/x/./y/../z", '\\'), "C:\\x\\z");
}

TEST(PathToolsTest, MakeAbsolute)
{
    struct Row
    {
        const char *relative;
        const char *base;
        const char *absolute;
    };
    const Row rows[] = {{"./Config/", "/home/u/.config/Orvane", "/home/u/.config/Orvane/Config/"},
                        {"./Config/", "relative/base", ""},
                        {"./Config/", "", ""},
                        {"/etc/x/../y", "/base", "/etc/x/../y"},
                        {"../x", "/a/b", "/a/x"},
                        {"../../../x", "/a", "/x"},
                        {"y", "C:\\data", "C:/data/y"}};
    for (const Row &row : rows) {
        EXPECT_EQ(Path_MakeAbsolute(row.relative, row.base), row.absolute)
            << row.relative << " on " << row.base;
    }
}

} // namespace
