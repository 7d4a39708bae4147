// SPDX-License-Identifier: Apache-2.0
// Tests of the session's upgrade operations: what is refused before anything reaches the camera.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "session/BaseSession.h"
#include "upgrade/JsonCtl.h"
#include "upgrade/Upgrade.h"

namespace {

/// A session without protocol that counts the camera queries the upgrade operations make.
class CountingSession : public BaseSession
{
public:
    int GetFWVer(char *text, int length) override
    {
        ++versionQueries;
        std::snprintf(text, static_cast<size_t>(length), "%s", "KR52_V2.3.7_20260101_V3");
        return 0;
    }
    int StopStream() override
    {
        ++streamStops;
        return 0;
    }
    uint32_t GetDeviceType() override { return 520; }
    int versionQueries = 0;
    int streamStops = 0;
};

void Ignore(int, int)
{
}

class SessionUpgradeTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        Upgrade::Release();
        JsonCtl::Release();
    }
    CountingSession m_session;
};

TEST_F(SessionUpgradeTest, FirmwareStartIsRefusedBeforeTheCameraIsAskedAnything)
{
    EXPECT_EQ(m_session.StartUpgradeFirmWare("/tmp/fw.bin"), SessionUpgrade::kFirmwareNoCallback);
    EXPECT_EQ(m_session.versionQueries, 0) << "no callback: refused before the version query";

    ASSERT_EQ(m_session.SetUpgradeStatusCallback(&Ignore), 0);
    Upgrade *upgrade = Upgrade::GetInstance();
    upgrade->SetStatus(1); // an upgrade waits for its camera
    EXPECT_EQ(m_session.StartUpgradeFirmWare("/tmp/fw.bin"), SessionUpgrade::kFirmwareBusy);
    EXPECT_EQ(m_session.versionQueries, 0);
    EXPECT_EQ(upgrade->Status(), 1u) << "the running upgrade is left alone";
    upgrade->Halt();

    // Another caller between its idle check and its start holds the worker too.
    ASSERT_TRUE(upgrade->TryReserve());
    EXPECT_EQ(m_session.StartUpgradeFirmWare("/tmp/fw.bin"), SessionUpgrade::kFirmwareBusy);
    upgrade->CancelReservation();

    // A refused image gives the claim back: the next start is checked again.
    EXPECT_EQ(m_session.StartUpgradeFirmWare("/nonexistent/fw.bin"), SessionUpgrade::kFirmwareFileError);
    EXPECT_EQ(m_session.StartUpgradeFirmWare("/nonexistent/fw.bin"), SessionUpgrade::kFirmwareFileError);
    EXPECT_EQ(m_session.versionQueries, 2);
    EXPECT_EQ(m_session.streamStops, 0) << "a refused image leaves the stream running";
}

TEST_F(SessionUpgradeTest, JsonOperationsRefuseBadPathsAndUnreadyWorkers)
{
    EXPECT_EQ(m_session.EnterJsonConfigMode(&Ignore), SessionUpgrade::kJsonUnsupported);
    EXPECT_EQ(m_session.streamStops, 0);
    const std::string tooLong(SessionUpgrade::kMaxJsonPathChars + 1, 'a');
    for (const char *path : {static_cast<const char *>(nullptr), "", tooLong.c_str(), "/tmp/config.json"}) {
        EXPECT_EQ(m_session.StartUpgradeJson(path), SessionUpgrade::kJsonFailed) << (path ? path : "null");
    }
    // A value the caller hands over without its terminating zero.
    const char unterminated[4] = {'a', '.', 'j', 's'};
    EXPECT_EQ(m_session.SetProperty(0x0E000021, unterminated, sizeof(unterminated)),
              SessionUpgrade::kJsonFailed);
}

} // namespace
