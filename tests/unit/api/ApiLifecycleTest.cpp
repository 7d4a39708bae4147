// SPDX-License-Identifier: Apache-2.0
// Tests of the library lifecycle, the version query and the device-manager entry points.
#include <cstring>
#include <string>

#include "OpenedDeviceTest.h"
#include "device/DeviceManager.h"
#include "runtime/LogCustom.h"

using namespace orvtest;

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(ApiUnitEnvironment());
} // namespace

TEST(ApiLifecycle, InitializeShutdownCodesAndLog)
{
    const size_t mark = LogMark();
    ASSERT_EQ(TFCM_Initialize(), 0);
    EXPECT_EQ(TFCM_Initialize(), TF_ERROR_ALREADY_INITIALIZED);
    std::string log = LogSince(mark);
    EXPECT_NE(log.find("]:-----------------------------------------------------\n"), std::string::npos);
    EXPECT_NE(log.find("]:Version: 1.0.2\n"), std::string::npos);
    EXPECT_NE(log.find("]:ReInitialized,do not call TFCM_Shutdown\n"), std::string::npos);

    EXPECT_EQ(TFCM_Shutdown(), 0);
    EXPECT_NE(LogSince(mark).find("]:=====================================================\n"),
              std::string::npos);
    EXPECT_EQ(TFCM_Shutdown(), TF_ERROR_NOT_INITIALIZED);

    // A new initialisation after a shutdown starts a fresh device manager and logger.
    ASSERT_EQ(TFCM_Initialize(), 0);
    EXPECT_TRUE(DeviceManager::GetInstance()->IsRunning());
    EXPECT_EQ(TFCM_Shutdown(), 0);
    EnsureLogger();
}
