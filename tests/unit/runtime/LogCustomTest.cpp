// SPDX-License-Identifier: Apache-2.0
// Tests of the logger (file, rotation, cut messages, concurrency, date line) and its helpers.
#include "runtime/LogCustom.h"

#include "TestSupport.h"
#include "runtime/LogCustom.h"
#include "runtime/PathTools.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <thread>
#include <vector>

using orvtest::LoggedHome;
using orvtest::ReadFile;
using orvtest::ReadLines;
using orvtest::TempDir;
using orvtest::WriteFile;

namespace {

constexpr size_t kTimeStampPrefixChars = 13; // "hh:mm:ss-mmm "

const std::regex kTimeStamp(R"(\d\d:\d\d:\d\d-\d\d\d )"); // "hh:mm:ss-mmm "

bool HasTimeStampPrefix(const std::string &line)
{
    return std::regex_search(line, kTimeStamp, std::regex_constants::match_continuous);
}

bool IsDateLine(const std::string &line)
{
    return std::regex_match(line, std::regex(R"(\d\d:\d\d:\d\d-\d{3} \d{4}/\d\d/\d\d \d\d:\d\d:\d\d-\d{3})"));
}

TEST(LogCustomTest, WritesPrefixedLinesAndKeepsTheFirstLoggerUntilReleased)
{
    LoggedHome home;
    EXPECT_EQ(LogCustom::GetLogFilePath(), home.LogPath());
    TFLOG("camera %d answered", 7);
    const std::vector<std::string> lines = ReadLines(home.LogPath());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(HasTimeStampPrefix(lines.front())) << lines.front();
    EXPECT_NE(lines.front().find("[LogCustomTest.cpp:"), std::string::npos) << lines.front();
    EXPECT_NE(lines.front().find(":TestBody]:camera 7 answered"), std::string::npos) << lines.front();

    // A second Initance keeps the first settings.
    LogCustom::Initance("Other", "Other", true);
    EXPECT_EQ(LogCustom::GetLogFilePath(), home.LogPath());
    TFLOG("still the first logger");
    EXPECT_TRUE(home.Logged("still the first logger"));
    EXPECT_FALSE(std::filesystem::exists(home.LogDirectory() + "/Other.txt"));

    LogCustom::Release();
    EXPECT_EQ(LogCustom::GetLogFilePath(), "");
    TFLOG("after release");
    EXPECT_FALSE(home.Logged("after release"));

    // A new logger appends to the same file.
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
    TFLOG("after reopening");
    EXPECT_TRUE(home.Logged("camera 7 answered"));
    EXPECT_TRUE(home.Logged("after reopening"));
}

TEST(LogCustomTest, LongMessagesAreCutAt1023CharactersAndStillEndTheLine)
{
    LoggedHome home;
    const std::string longText(2000, 'x');
    LogCustom::Printf("%s\n", longText.c_str());
    TFLOG("following message");

    bool sawCut = false;
    for (const std::string &line : ReadLines(home.LogPath())) {
        if (line.find('x') != std::string::npos) {
            sawCut = true;
            EXPECT_EQ(line.size(), kTimeStampPrefixChars + LogCustom::kMessageBufferBytes - 1);
        } else {
            EXPECT_TRUE(HasTimeStampPrefix(line)) << "merged or broken line: " << line;
        }
    }
    EXPECT_TRUE(sawCut);
    EXPECT_TRUE(home.Logged("following message"));
}

TEST(LogCustomTest, ConcurrentWritersNeverInterleaveLinesAndRotateOnce)
{
    LoggedHome home;
    // Start just below the rotation size so that the rotation happens while the writers race.
    LogCustom::Release();
    const size_t fillBytes = static_cast<size_t>(LogCustom::kRotateSizeBytes) - 2000;
    WriteFile(home.LogPath(), std::string(fillBytes, 'o'));
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);

    constexpr int kThreads = 4;
    constexpr int kLinesPerThread = 400;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                TFLOG("writer=%d line=%d payload=%s end", t, i, "abcdefghijklmnopqrstuvwxyz0123456789");
            }
        });
    }
    for (std::thread &writer : writers) {
        writer.join();
    }

    const std::string backup = ReadFile(home.BackupPath());
    ASSERT_GT(backup.size(), fillBytes);
    EXPECT_EQ(backup.compare(0, fillBytes, std::string(fillBytes, 'o')), 0) << "rotated more than once";
    std::vector<std::string> lines = ReadLines(home.BackupPath());
    lines.front().erase(0, fillBytes);
    for (const std::string &line : ReadLines(home.LogPath())) {
        lines.push_back(line);
    }

    const std::regex written(R"(\d\d:\d\d:\d\d-\d{3} \[LogCustomTest\.cpp:\d+:operator\(\)\]:)"
                             R"(writer=(\d+) line=(\d+) payload=abcdefghijklmnopqrstuvwxyz0123456789 end)");
    std::set<std::pair<int, int>> seen;
    for (const std::string &line : lines) {
        if (IsDateLine(line)) {
            continue;
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, written)) << "broken line: " << line;
        const int writer = std::stoi(m[1]), index = std::stoi(m[2]);
        EXPECT_TRUE(seen.emplace(writer, index).second) << "duplicate: " << line;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLinesPerThread));
}

// A worker that outlives its join is cancelled; cancelled inside the logger, it must not take the log's
// lock with it (the sanitized build hung at the next line).
TEST(LogCustomTest, AThreadCancelledWhileLoggingLeavesTheLogUsable)
{
    LoggedHome home;
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> lines{0};
        pthread_t writer{};
        auto spin = [](void *count) -> void * {
            for (;;) {
                TFLOG("a writer about to be cancelled");
                ++*static_cast<std::atomic<int> *>(count);
                pthread_testcancel();
            }
        };
        ASSERT_EQ(pthread_create(&writer, nullptr, spin, &lines), 0);
        ASSERT_TRUE(orvtest::WaitUntil([&] { return lines.load() > round % 4; }, 5000));
        pthread_cancel(writer);
        pthread_join(writer, nullptr);
        // Written from a thread of its own, so that a hung log fails the test instead of stopping it.
        auto written = std::make_shared<std::atomic<bool>>(false);
        std::thread([written, round] {
            TFLOG("written after cancel %d", round);
            *written = true;
        }).detach();
        ASSERT_TRUE(orvtest::WaitUntil([&] { return written->load(); }, 5000))
            << "the log hung in round " << round;
    }
}

TEST(LogCustomTest, LogDirectoryThatCannotBeMadeIsReportedOnTheConsoleOnly)
{
    TempDir scratch;
    std::filesystem::create_directories(scratch.Path() + "/.config/Orvane");
    // A plain file where the log directory should be makes mkdir fail even for root.
    WriteFile(scratch.Path() + "/.config/Orvane/Log", "not a directory");
    Path_SetHomeDirectoryOverride(scratch.Path());

    testing::internal::CaptureStdout();
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", true);
    TFLOG("echoed only");
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(LogCustom::GetLogFilePath(), "");
    LogCustom::Release();
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false); // resets the echo flag for later tests
    LogCustom::Release();
    Path_SetHomeDirectoryOverride("");

    EXPECT_NE(console.find("CreateDirectory " + scratch.Path() + "/.config/Orvane/Log failed errorcode:17 !"),
              std::string::npos)
        << console;
    const std::regex echoed(
        R"((^|\n)\d\d:\d\d:\d\d-\d{3} \[LogCustomTest\.cpp:\d+:TestBody\]:echoed only\n)");
    EXPECT_TRUE(std::regex_search(console, echoed)) << console;
    EXPECT_EQ(ReadFile(scratch.Path() + "/.config/Orvane/Log"), "not a directory");
}

// Logs as a fresh process would and reports whether the date line came once, after the first file message.
bool DateLineFollowsFirstFileMessageOnly()
{
    TFLOG("before the logger exists");
    LoggedHome home;
    TFLOG("first");
    TFLOG("second");
    LogCustom::Release();
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
    TFLOG("third");
    const std::vector<std::string> lines = ReadLines(home.LogPath());
    const bool ok = lines.size() == 4 && lines[0].find("]:first") != std::string::npos &&
                    IsDateLine(lines[1]) && lines[2].find("]:second") != std::string::npos &&
                    lines[3].find("]:third") != std::string::npos;
    if (!ok) {
        fprintf(stderr, "unexpected log:\n%s", ReadFile(home.LogPath()).c_str());
    }
    return ok;
}

// The date line is written once per process, so the check runs in a fresh one: the threadsafe
// death-test style re-executes the test binary for the child.
TEST(LogCustomDeathTest, FirstFileMessageOfTheProcessIsFollowedByTheDateOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit(DateLineFollowsFirstFileMessageOnly() ? 0 : 1), testing::ExitedWithCode(0), "");
}

TEST(ReadDataTest, ReadsFilesThatFitAndRefusesOthers)
{
    LoggedHome home;
    TempDir scratch;
    const std::string path = scratch.Path() + "/table.bin";
    const std::string content("\x01\x02\x00\x04\x05", 5);
    WriteFile(path, content);

    struct Row
    {
        unsigned int capacity;
        bool ok;
    };
    for (const Row &row : {Row{5, true}, Row{64, true}, Row{4, false}}) {
        std::vector<unsigned char> buffer(row.capacity + 1, 0xEE);
        unsigned int size = row.capacity;
        EXPECT_EQ(ReadData(path.c_str(), buffer.data(), size), row.ok) << "capacity " << row.capacity;
        if (row.ok) {
            EXPECT_EQ(size, content.size());
            EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), content);
        } else {
            EXPECT_EQ(size, row.capacity);
            EXPECT_EQ(buffer[0], 0xEE) << "nothing is read into a buffer that is too small";
        }
        EXPECT_EQ(buffer[row.capacity], 0xEE) << "wrote past the buffer";
    }
    EXPECT_TRUE(home.Logged("read " + path + " is failed,pbuf is small:4 - 5"));

    unsigned char byte = 0;
    unsigned int size = 1;
    EXPECT_FALSE(ReadData(nullptr, &byte, size));
    EXPECT_FALSE(ReadData(path.c_str(), nullptr, size));
    const std::string missing = scratch.Path() + "/missing.bin";
    EXPECT_FALSE(ReadData(missing.c_str(), &byte, size));
    EXPECT_TRUE(home.Logged("open " + missing + " is failed,ECode:2"));
}

} // namespace
