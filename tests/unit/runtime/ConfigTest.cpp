// SPDX-License-Identifier: Apache-2.0
// Tests of the settings singleton's lifetime and defaults.
#include "runtime/Config.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigTest, IsOneObjectUntilReleasedAndStartsFromTheDefaultsAgain)
{
    Config *config = Config::GetInstance();
    ASSERT_NE(config, nullptr);
    EXPECT_FALSE(config->logToConsole);
    config->logToConsole = true;
    EXPECT_EQ(Config::GetInstance(), config);
    EXPECT_TRUE(Config::GetInstance()->logToConsole);

    Config::Release();
    EXPECT_FALSE(Config::GetInstance()->logToConsole);
    Config::Release();
    Config::Release(); // releasing twice is harmless
}

} // namespace
