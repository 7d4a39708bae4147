// SPDX-License-Identifier: Apache-2.0
// Tests of the property-key dispatch of TFCM_SetProperty and TFCM_GetProperty.
#include <cstring>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "device/DeviceManager.h"
#include "session/SessionTypes.h"

using ApiProperty = OpenedDeviceTest;
using Calls = std::vector<std::string>;

namespace {
constexpr int32_t Key(uint32_t key)
{
    return static_cast<int32_t>(key);
}
} // namespace

TEST_F(ApiProperty, EarlyCodes)
{
    struct Row
    {
        bool set;
        int32_t key;
        int32_t size;
        bool nullValue;
        int expected;
    };
    const Row rows[] = {
        {true, 7, 4, false, TF_ERROR_SET_PROPERTY_KEY},
        {true, 6, 4, false, TF_ERROR_SET_PROPERTY_KEY},
        {true, 18, 4, false, TF_ERROR_SET_PROPERTY_KEY},
        {true, 0x0E000003, 54, false, TF_ERROR_SET_PROPERTY_KEY},
        {true, Key(0xF0000012u), 4, false, TF_ERROR_SET_PROPERTY_KEY},
        {true, 12345, 4, false, TF_ERROR_SET_PROPERTY_KEY},
        {true, 8, 2, false, TF_ERROR_INVALID_ARGUMENT},
        {true, Key(0xF0000005u), 0, false, TF_ERROR_INVALID_ARGUMENT},
        {true, Key(0xF0000003u), 6, false, TF_ERROR_INVALID_ARGUMENT},
        {true, Key(0xF0000004u), 75, false, TF_ERROR_INVALID_ARGUMENT},
        {true, Key(0xF0000006u), 1, false, TF_ERROR_INVALID_ARGUMENT},
        {true, 9, 4, true, TF_ERROR_PROPERTY_NULL},
        {true, -1, 0, false, 0},
        {false, -4, 4, false, TF_ERROR_GET_PROPERTY_KEY},
        {false, -1, 4, false, TF_ERROR_GET_PROPERTY_KEY},
        {false, Key(0xE0000107u), 4, false, TF_ERROR_GET_PROPERTY_KEY},
        {false, Key(0xF0000011u), 4, false, TF_ERROR_GET_PROPERTY_KEY},
        {false, 12345, 4, false, TF_ERROR_GET_PROPERTY_KEY},
        {false, 9, 4, true, TF_ERROR_PROPERTY_NULL},
    };
    for (const Row &row : rows) {
        uint8_t value[128] = {};
        int32_t size = row.size;
        void *pointer = row.nullValue ? nullptr : value;
        const int ret = row.set ? TFCM_SetProperty(m_handle, row.key, pointer, row.size)
                                : TFCM_GetProperty(m_handle, row.key, pointer, &size);
        EXPECT_EQ(ret, row.expected) << (row.set ? "set 0x" : "get 0x") << std::hex << row.key;
    }
    uint8_t value[8] = {};
    EXPECT_EQ(TFCM_GetProperty(m_handle, 9, value, nullptr), TF_ERROR_PROPERTY_NULL);
    // The handle is checked before the value pointer.
    EXPECT_EQ(TFCM_SetProperty(nullptr, 9, nullptr, 4), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_GetProperty(nullptr, 9, nullptr, nullptr), TF_ERROR_INVALID_HANDLE);
    EXPECT_TRUE(m_session->m_calls.empty());
}

TEST_F(ApiProperty, KeysForwardedToSessionKeys)
{
    struct Row
    {
        bool set;
        int32_t key;
        const char *call;
    };
    const Row rows[] = {
        {true, 9, "SetProperty:0x0E000001"},
        {true, 10, "SetProperty:0x0E000002"},
        {true, 11, "SetProperty:0x0E000011"},
        {true, 12, "SetProperty:0x0E000012"},
        {true, 13, "SetProperty:0x0E000013"},
        {true, 14, "SetProperty:0x0E000014"},
        {true, 15, "SetProperty:0x0E000015"},
        {true, 16, "SetProperty:0x0E000016"},
        {true, 17, "SetProperty:0x0E000017"},
        {true, 19, "SetProperty:0x0E000019"},
        {true, -5, "SetProperty:0x0E000021"},
        {true, 0x0E000004, "SetProperty:0x0E000004"},
        {true, Key(0xE0000100u), "SetProperty:0xE0000100"},
        {true, Key(0xE0000106u), "SetProperty:0xE0000106"},
        {true, Key(0xE0000107u), "SetProperty:0xE0000107"},
        {true, Key(0xE0000202u), "SetProperty:0x0E000017"},
        {false, 9, "GetProperty:0x0E000001"},
        {false, 10, "GetProperty:0x0E000002"},
        {false, 13, "GetProperty:0x0E000013"},
        {false, 14, "GetProperty:0x0E000014"},
        {false, 18, "GetProperty:0x0E000018"},
        {false, 19, "GetProperty:0x0E000019"},
        {false, 0x0E000000, "GetProperty:0x0E000000"},
        {false, 0x0E000004, "GetProperty:0x0E000004"},
        {false, Key(0xE0000103u), "GetProperty:0xE0000103"},
        {false, Key(0xE0000202u), "GetProperty:0x0E000017"},
    };
    for (const Row &row : rows) {
        m_session->m_calls.clear();
        uint8_t value[64] = {1, 2, 3};
        int32_t size = 3;
        const int ret = row.set ? TFCM_SetProperty(m_handle, row.key, value, 3)
                                : TFCM_GetProperty(m_handle, row.key, value, &size);
        EXPECT_EQ(ret, 0) << row.call;
        // One call only: writing the software version (key 14) must not also rewrite the IP address.
        EXPECT_EQ(m_session->m_calls, (Calls{row.call}));
    }
    m_session->m_results["SetProperty"] = -104;
    uint8_t value[4] = {};
    EXPECT_EQ(TFCM_SetProperty(m_handle, 15, value, 4), -104);
    m_session->m_results["SetProperty"] = 3;
    EXPECT_EQ(TFCM_SetProperty(m_handle, 15, value, 4), -255);
}

TEST_F(ApiProperty, JsonModeSetsTheUpgradeState)
{
    uint8_t callbackStandIn[8] = {};
    EXPECT_EQ(TFCM_SetProperty(m_handle, -4, callbackStandIn, 8), 0);
    EXPECT_EQ(m_session->m_calls, (Calls{"SetProperty:0x0E000020"}));
    EXPECT_EQ(DeviceManager::GetInstance()->GetUpgradeState(), 2);
    m_session->m_results["SetProperty"] = -16;
    EXPECT_EQ(TFCM_SetProperty(m_handle, -4, callbackStandIn, 8), -16);
    EXPECT_EQ(DeviceManager::GetInstance()->GetUpgradeState(), 0);
}

TEST_F(ApiProperty, DataModeKeys)
{
    uint8_t mode = 9;
    EXPECT_EQ(TFCM_SetProperty(m_handle, 8, &mode, 1), 0);
    EXPECT_EQ(m_session->m_calls,
              (Calls{"StopStream", "SetDataMode:9", "SetDualFreqMode:2,5,0,0", "StartStream"}));

    m_session->m_dataMode = 6;
    uint8_t value[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    int32_t size = 0;
    EXPECT_EQ(TFCM_GetProperty(m_handle, Key(0xF0000005u), value, &size), 0);
    EXPECT_EQ(value[0], 6);
    EXPECT_EQ(value[1], 0xEE);
    EXPECT_EQ(size, 1);
}

TEST_F(ApiProperty, CameraParametersBySelector)
{
    CameraParamsProperty params{};
    params.selector = 0;
    params.values[0] = 512.5;
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF0000004u), &params, sizeof(params)), 0);
    EXPECT_EQ(m_session->m_calls, (Calls{"SetCameraIntrinsic:1,512.500000"}));

    m_session->m_calls.clear();
    params.selector = 9;
    const size_t mark = LogMark();
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF0000004u), &params, sizeof(params)), 0);
    EXPECT_NE(LogSince(mark).find("]:CameraParams is invalid!\n"), std::string::npos);
    EXPECT_TRUE(m_session->m_calls.empty());

    m_session->m_intrinsic[kSensorColor][0] = 1500.0;
    m_session->m_intrinsic[kSensorColor][8] = 1.0;
    std::memset(&params, 0x55, sizeof(params));
    params.selector = 2;
    int32_t size = 0;
    EXPECT_EQ(TFCM_GetProperty(m_handle, Key(0xF0000004u), &params, &size), 0);
    EXPECT_EQ(size, 76);
    EXPECT_EQ(Val(params.values[0]), 1500.0);
    EXPECT_EQ(Val(params.values[1]), 0.0);
    EXPECT_EQ(Val(params.values[8]), 1.0);
    EXPECT_EQ(m_session->m_calls, (Calls{"GetCameraIntrinsic:2"}));
}

TEST_F(ApiProperty, ImuSensitivityResults)
{
    IMUSensitivity sensitivity{};
    m_session->m_results["SetACCSensitivity"] = -104;
    m_session->m_results["SetGyroSensitivity"] = -104;
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF000000Fu), &sensitivity, sizeof(sensitivity)), 0);
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF0000010u), &sensitivity, sizeof(sensitivity)), -104);
}

TEST_F(ApiProperty, ShortValuesAreNeverReadPastTheirEnd)
{
    // Heap buffers of the stated size, so a read past them is caught by the address sanitizer.
    std::vector<uint8_t> lens = {2, 1};
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF0000013u), lens.data(), static_cast<int32_t>(lens.size())),
              0);
    EXPECT_EQ(Val(m_session->m_lens.type), 2);
    EXPECT_EQ(Val(m_session->m_lens.width), 0);
    std::vector<uint8_t> sensitivity(3, 0);
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF000000Fu), sensitivity.data(), 3), 0);
    std::vector<uint8_t> ld = {1, 0};
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF0000006u), ld.data(), 2), 0);
    EXPECT_EQ(m_session->m_calls.back(), "SetLDEnable:1,0");
}

TEST_F(ApiProperty, DspSwitchGoesThroughTheDspKey)
{
    EXPECT_EQ(TFCM_SetDSPEnabled(m_handle, true), 0);
    ASSERT_EQ(m_session->m_calls, (Calls{"SetProperty:0x0E000017"}));
    ASSERT_EQ(m_session->m_lastPropertySize, 7);
    const std::vector<uint8_t> enabled = {0, 0, 0, 0, 0, 1, 0};
    EXPECT_EQ(m_session->m_lastPropertyValue, enabled);

    bool on = false;
    m_session->m_propertyAnswer = enabled;
    EXPECT_EQ(TFCM_GetDSPEnabled(m_handle, &on), 0);
    EXPECT_TRUE(on);
    EXPECT_EQ(m_session->m_lastPropertySize, 7);
    m_session->m_results["GetProperty"] = -104;
    EXPECT_EQ(TFCM_GetDSPEnabled(m_handle, &on), -104);
    EXPECT_FALSE(on);
    EXPECT_EQ(TFCM_GetDSPEnabled(m_handle, nullptr), TF_ERROR_NULL_POINTER);
    EXPECT_EQ(TFCM_SetDSPEnabled(nullptr, true), TF_ERROR_INVALID_HANDLE);
}

TEST_F(ApiProperty, TimeFilteredDepthComesOutAsPublicFrame)
{
    Frame internal{};
    internal.frameIndex = 11;
    internal.width = 640;
    internal.height = 480;
    internal.dataLen = 614400;
    internal.timestamp = 99;
    m_session->m_propertyAnswer.resize(sizeof(internal));
    std::memcpy(m_session->m_propertyAnswer.data(), &internal, sizeof(internal));
    TfFrame frame{};
    int32_t size = 0;
    EXPECT_EQ(TFCM_GetProperty(m_handle, 0x0E000003, &frame, &size), 0);
    EXPECT_EQ(m_session->m_lastPropertySize, 54);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof(TfFrame)));
    EXPECT_EQ(Val(frame.frameIndex), 11u);
    EXPECT_EQ(Val(frame.dataLen), 614400u);
    EXPECT_EQ(Val(frame.height), 480);
    EXPECT_EQ(Val(frame.timestamp), 99u);
}
