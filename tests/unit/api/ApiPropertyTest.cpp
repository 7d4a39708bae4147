// SPDX-License-Identifier: Apache-2.0
// Tests of the property-key dispatch of TFCM_SetProperty and TFCM_GetProperty.
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "OpenedDeviceTest.h"
#include "device/DeviceManager.h"
#include "protocol/ProtocolTypes.h"

using namespace orvtest;

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
    const int setKey = TF_ERROR_SET_PROPERTY_KEY;
    const int badArg = TF_ERROR_INVALID_ARGUMENT;
    // The key (as its 32 bits), the size and the code.
    const std::tuple<int64_t, int32_t, int> setRows[] = {
        {7, 4, setKey},          {6, 4, setKey},           {18, 4, setKey},         {0x0E000003, 54, setKey},
        {0xF0000012, 4, setKey}, {12345, 4, setKey},       {8, 2, badArg},          {0xF0000005, 0, badArg},
        {0xF0000003, 6, badArg}, {0xF0000004, 75, badArg}, {0xF0000006, 1, badArg}, {-1, 0, 0}};
    for (const auto &[key, size, expected] : setRows) {
        uint8_t value[128] = {};
        EXPECT_EQ(TFCM_SetProperty(m_handle, Key(static_cast<uint32_t>(key)), value, size), expected)
            << "set " << key;
    }
    for (const int64_t key :
         {int64_t{-4}, int64_t{-1}, int64_t{0xE0000107}, int64_t{0xF0000011}, int64_t{12345}}) {
        uint8_t value[128] = {};
        int32_t size = 4;
        EXPECT_EQ(TFCM_GetProperty(m_handle, Key(static_cast<uint32_t>(key)), value, &size),
                  TF_ERROR_GET_PROPERTY_KEY)
            << "get " << key;
    }
    int32_t size = 4;
    EXPECT_EQ(TFCM_SetProperty(m_handle, 9, nullptr, 4), TF_ERROR_PROPERTY_NULL);
    EXPECT_EQ(TFCM_GetProperty(m_handle, 9, nullptr, &size), TF_ERROR_PROPERTY_NULL);
    uint8_t value[8] = {};
    EXPECT_EQ(TFCM_GetProperty(m_handle, 9, value, nullptr), TF_ERROR_PROPERTY_NULL);
    // The handle is checked before the value pointer.
    EXPECT_EQ(TFCM_SetProperty(nullptr, 9, nullptr, 4), TF_ERROR_INVALID_HANDLE);
    EXPECT_EQ(TFCM_GetProperty(nullptr, 9, nullptr, nullptr), TF_ERROR_INVALID_HANDLE);
    EXPECT_TRUE(m_session->m_calls.empty());
}

TEST_F(ApiProperty, KeysForwardedToSessionKeys)
{
    using Row = std::pair<int64_t, uint32_t>; // public key (as its 32 bits), session key
    const Row setRows[] = {{9, 0x0E000001},          {10, 0x0E000002},         {11, 0x0E000011},
                           {12, 0x0E000012},         {13, 0x0E000013},         {14, 0x0E000014},
                           {15, 0x0E000015},         {16, 0x0E000016},         {17, 0x0E000017},
                           {19, 0x0E000019},         {-5, 0x0E000021},         {0x0E000004, 0x0E000004},
                           {0xE0000100, 0xE0000100}, {0xE0000106, 0xE0000106}, {0xE0000107, 0xE0000107},
                           {0xE0000202, 0x0E000017}};
    const Row getRows[] = {{9, 0x0E000001},          {10, 0x0E000002},         {13, 0x0E000013},
                           {14, 0x0E000014},         {18, 0x0E000018},         {19, 0x0E000019},
                           {0x0E000000, 0x0E000000}, {0x0E000004, 0x0E000004}, {0xE0000103, 0xE0000103},
                           {0xE0000202, 0x0E000017}};
    const auto check = [&](bool set, const Row &row) {
        m_session->m_calls.clear();
        uint8_t value[64] = {1, 2, 3};
        int32_t size = 3;
        const int32_t key = Key(static_cast<uint32_t>(row.first));
        const std::string call = std::string(set ? "SetProperty:" : "GetProperty:") +
                                 FakeSession::Hex(static_cast<int>(row.second));
        const int ret =
            set ? TFCM_SetProperty(m_handle, key, value, 3) : TFCM_GetProperty(m_handle, key, value, &size);
        EXPECT_EQ(ret, 0) << call;
        // One call only: writing the software version (key 14) must not also rewrite the IP address.
        EXPECT_EQ(m_session->m_calls, (Calls{call})) << "key 0x" << std::hex << key;
    };
    for (const Row &row : setRows) {
        check(true, row);
    }
    for (const Row &row : getRows) {
        check(false, row);
    }
    m_session->m_results["SetProperty"] = -104;
    uint8_t value[4] = {};
    EXPECT_EQ(TFCM_SetProperty(m_handle, 15, value, 4), -104);
    m_session->m_results["SetProperty"] = 3;
    EXPECT_EQ(TFCM_SetProperty(m_handle, 15, value, 4), -255);
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
    EXPECT_EQ(TFCM_SetProperty(m_handle, Key(0xF0000004u), &params, sizeof(params)), 0);
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
    // (The frame's conversion is the one frames are handed out with: the dispatch tests check its fields.)
    Frame internal{};
    internal.frameIndex = 11;
    m_session->m_propertyAnswer.resize(sizeof(internal));
    std::memcpy(m_session->m_propertyAnswer.data(), &internal, sizeof(internal));
    TfFrame frame{};
    int32_t size = 0;
    EXPECT_EQ(TFCM_GetProperty(m_handle, 0x0E000003, &frame, &size), 0);
    EXPECT_EQ(m_session->m_lastPropertySize, 54);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof(TfFrame)));
    EXPECT_EQ(Val(frame.frameIndex), 11u);
}
