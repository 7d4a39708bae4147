// SPDX-License-Identifier: Apache-2.0
// The API unit tests' environment and their fixture with one opened fake camera.
#include "OpenedDeviceTest.h"

#include <cstring>
#include <memory>

#include "device/BaseDevice.h"
#include "device/DeviceInfo.h"
#include "device/DeviceManager.h"
#include "runtime/LogCustom.h"

namespace orvtest {

::testing::Environment *ApiUnitEnvironment()
{
    // Unit tests open no sockets: the device manager runs without discovery.
    return new PrivateHomeEnvironment(true, [] { DeviceManager::SetDiscoveryPort(0); });
}

void EnsureLogger()
{
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
    ASSERT_FALSE(LogCustom::GetLogFilePath().empty());
}

void OpenedDeviceTest::SetUp()
{
    BaseDevice::SetSessionFactory([this](const SessionInfo &, int) {
        auto session = std::make_unique<FakeSession>();
        m_session = session.get();
        return std::unique_ptr<BaseSession>(std::move(session));
    });
    auto entry = std::make_unique<DeviceInfo>();
    std::strcpy(entry->uri, "KR52Lite:SN0001");
    std::strcpy(entry->alias, "front");
    entry->deviceType = 520;
    entry->status = 2;
    entry->callBackStatus = -1;
    SessionInfo session;
    session.linkType = kLinkTypeNetwork;
    session.ip = 0x0100007F;
    session.cmdPort = 9008;
    session.dataPort = 9009;
    session.deviceType = 520;
    entry->pSessionInfo.push_back(session);
    DeviceManager::GetInstance()->AddDeviceInfo(std::move(entry));

    ASSERT_EQ(TFCM_OpenDevice("KR52Lite:SN0001", &m_handle), 0);
    ASSERT_NE(m_handle, nullptr);
    ASSERT_NE(m_session, nullptr);
    m_session->m_calls.clear();
}

void OpenedDeviceTest::TearDown()
{
    if (m_handle != nullptr) {
        EXPECT_EQ(TFCM_CloseDevice(&m_handle), 0);
    }
    BaseDevice::SetSessionFactory(nullptr);
    DeviceManager::Release();
}

} // namespace orvtest
