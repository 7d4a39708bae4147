// SPDX-License-Identifier: Apache-2.0
// Tests of the library lifecycle, the version query and the device-manager entry points.
#include <cstring>

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
    for (size_t i = 5; i < sizeof(version); ++i) {
        EXPECT_EQ(static_cast<unsigned char>(version[i]), 0xFF) << "byte " << i;
    }
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

TEST(ApiDeviceManager, UnknownUriLeavesNullHandle)
{
    TfDeviceHandle handle = reinterpret_cast<TfDeviceHandle>(0x1);
    EXPECT_EQ(TFCM_OpenDevice("KR52Lite:NOPE", &handle), TF_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(handle, nullptr);
    DeviceManager::Release();
}

using ApiOpenedDevice = OpenedDeviceTest;

TEST_F(ApiOpenedDevice, OpeningAnOpenCameraAgainIsRefusedAndLeavesTheHandle)
{
    TfDeviceHandle second = reinterpret_cast<TfDeviceHandle>(0x1);
    EXPECT_EQ(TFCM_OpenDevice("KR52Lite:SN0001", &second), TF_ERROR_ALREADY_OPENED);
    EXPECT_EQ(second, reinterpret_cast<TfDeviceHandle>(0x1));
    EXPECT_EQ(TFCM_OpenDeviceByAlias("front", &second), TF_ERROR_ALREADY_OPENED);
}

TEST_F(ApiOpenedDevice, CloseFreesTheHandleAndTheCamera)
{
    ASSERT_EQ(TFCM_CloseDevice(&m_handle), 0);
    EXPECT_EQ(m_handle, nullptr);
    // The camera can be opened again once closed.
    ASSERT_EQ(TFCM_OpenDevice("KR52Lite:SN0001", &m_handle), 0);
    EXPECT_NE(m_handle, nullptr);
}
