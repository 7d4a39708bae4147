// SPDX-License-Identifier: Apache-2.0
// Tests of the library lifecycle, the version query and the device-manager entry points.
#include <cstring>
#include <string>

#include "ApiTestSupport.h"
#include "device/DeviceManager.h"
#include "runtime/LogCustom.h"

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

TEST(ApiLifecycle, SdkVersionIsFiveCharactersWithoutTerminator)
{
    char version[8];
    std::memset(version, 0xFF, sizeof(version));
    ASSERT_EQ(TFCM_GetSDKVersion(version), 0);
    EXPECT_EQ(std::memcmp(version, "1.0.2", 5), 0);
    EXPECT_EQ(std::string(version + 5, 3), "\xFF\xFF\xFF") << "wrote past the five characters";
    EXPECT_EQ(TFCM_GetSDKVersion(nullptr), TF_ERROR_NULL_POINTER);
}

TEST(ApiDeviceManager, NullOutputsAreRefused)
{
    TfDeviceHandle handle = nullptr;
    EXPECT_EQ(TFCM_GetDeviceCount(nullptr), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_GetDeviceListInfo(nullptr, 4), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_GetDeviceInfo(nullptr, 0), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_OpenDevice(nullptr, &handle), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_OpenDevice("KR52Lite:SN0001", nullptr), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_OpenDeviceByAlias(nullptr, &handle), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_OpenDeviceByIP(nullptr, &handle), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_GetDeviceIP("KR52Lite:SN0001", nullptr), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_SetHotPlugStatusCallback_(nullptr, nullptr), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_CloseDevice(nullptr), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_CloseDevice(&handle), TF_ERROR_INVALID_HANDLE);
    DeviceManager::Release();
}
