// SPDX-License-Identifier: Apache-2.0
// Session test support: every test process logs into its own temporary home directory.
#include "SessionTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "runtime/LogCustom.h"
#include "runtime/PathTools.h"

namespace session_test {
namespace {
std::string g_logPath;

class PrivateHomeEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/orvane-session-test-XXXXXX";
        const char *home = mkdtemp(pattern);
        ASSERT_NE(home, nullptr);
        m_home = home;
        // The application-data directory is created one level deep only, so its parent must exist.
        ASSERT_EQ(mkdir((m_home + "/.config").c_str(), 0700), 0);
        Path_SetHomeDirectoryOverride(home);
        LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
        g_logPath = LogCustom::GetLogFilePath();
        ASSERT_FALSE(g_logPath.empty());
    }
    void TearDown() override
    {
        LogCustom::Release();
        Path_SetHomeDirectoryOverride("");
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }

private:
    std::string m_home;
};

[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new PrivateHomeEnvironment);

std::string ReadLog()
{
    std::ifstream in(g_logPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

size_t LogMark()
{
    return ReadLog().size();
}

std::string LogSince(size_t mark)
{
    const std::string text = ReadLog();
    return mark < text.size() ? text.substr(mark) : std::string();
}

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace session_test
