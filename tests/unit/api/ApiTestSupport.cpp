// SPDX-License-Identifier: Apache-2.0
// Shared test support: a private log directory, log inspection, and a fixture with one opened fake camera.
#include "ApiTestSupport.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "device/BaseDevice.h"
#include "device/DeviceInfo.h"
#include "device/DeviceManager.h"
#include "runtime/LogCustom.h"
#include "runtime/PathTools.h"

namespace {
std::string g_logPath; // the log file of this test process

/// Points the application-data directory at a fresh temporary home for the whole test process.
class PrivateHomeEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/orvane-api-test-XXXXXX";
        const char *home = mkdtemp(pattern);
        ASSERT_NE(home, nullptr);
        m_home = home;
        // The application-data directory is created one level deep only, so its parent must exist.
        ASSERT_EQ(mkdir((std::string(home) + "/.config").c_str(), 0700), 0);
        Path_SetHomeDirectoryOverride(home);
        // Unit tests open no sockets: the device manager runs without discovery.
        DeviceManager::SetDiscoveryPort(0);
        EnsureLogger();
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

void EnsureLogger()
{
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
    g_logPath = LogCustom::GetLogFilePath();
    ASSERT_FALSE(g_logPath.empty());
}

size_t LogMark()
{
    return ReadLog().size();
}

std::string LogSince(size_t mark)
{
    const std::string text = ReadLog();
    return mark < text.size() ? text.substr(mark) : std::string();
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
