// SPDX-License-Identifier: Apache-2.0
// Session test support: every test process logs into its own temporary home directory.
#include "SessionTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include "../runtime/RuntimeTestSupport.h"

namespace session_test {
namespace {
std::unique_ptr<runtime_test::LoggedHome> g_home;

class PrivateHomeEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { g_home = std::make_unique<runtime_test::LoggedHome>(); }
    void TearDown() override { g_home.reset(); }
};

[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new PrivateHomeEnvironment);
} // namespace

size_t LogMark()
{
    return g_home->Log().size();
}

std::string LogSince(size_t mark)
{
    const std::string text = g_home->Log();
    return mark < text.size() ? text.substr(mark) : std::string();
}

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace session_test
