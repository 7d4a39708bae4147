// SPDX-License-Identifier: Apache-2.0
// Tests of the firmware and JSON configuration workers against a simulated camera whose upgrade and JSON
// states the test plays; the camera stores what the worker sets, so a set state is read back as sent.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "CameraSimulator.h"
#include "LoopbackCamera.h"
#include "TestSupport.h"
#include "upgrade/JsonCtl.h"
#include "upgrade/Upgrade.h"

namespace {

using Report = std::pair<int, int>;

/// The reports of the worker under test; a report may act on the worker from inside the callback.
class Reports
{
public:
    static void Record(int status, int params)
    {
        std::function<void(int, int)> hook;
        {
            std::lock_guard<std::mutex> lock(s_mutex);
            s_reports.emplace_back(status, params);
            hook = s_hook;
        }
        if (hook) {
            hook(status, params);
        }
    }
    static void Reset(std::function<void(int, int)> hook = nullptr)
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_reports.clear();
        s_hook = std::move(hook);
    }
    static std::vector<Report> Get()
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        return s_reports;
    }
    static bool WaitFor(Report report, unsigned timeoutMs = 5000)
    {
        return orvtest::WaitUntil(
            [report] {
                const std::vector<Report> all = Get();
                return std::find(all.begin(), all.end(), report) != all.end();
            },
            timeoutMs);
    }

private:
    static inline std::mutex s_mutex;
    static inline std::vector<Report> s_reports;
    static inline std::function<void(int, int)> s_hook;
};

class UpgradeWorkerTest : public ::testing::Test
{
protected:
    void StartCamera(int lastByte)
    {
        m_lastByte = lastByte;
        CameraSimulator::Options options;
        options.announcePeriodMs = 60000;
        options.discoveryPort = 9; // nothing listens: the test hands the camera over itself
        m_sim = std::make_unique<CameraSimulator>(options);
        SimCameraConfig config;
        config.serial = "SN-UPGRADE";
        config.address = "127.0.0." + std::to_string(lastByte);
        m_camera = &m_sim->AddCamera(config);
        m_sim->Start();
    }
    void TearDown() override
    {
        Upgrade::Release();
        JsonCtl::Release();
        Upgrade::SetNoProgressLimitMs(60000);
        JsonCtl::SetNoProgressLimitMs(20000);
        Reports::Reset();
        m_sim.reset();
    }
    void SetState(uint8_t state, uint32_t param1, bool json = false)
    {
        m_camera->UpdateSettings([&](SimSettings &s) {
            (json ? s.jsonState : s.upgradeState) = {state, param1, 0};
        });
    }
    SimStateRecord State(bool json = false) const
    {
        const SimSettings s = m_camera->Settings();
        return json ? s.jsonState : s.upgradeState;
    }
    uint32_t Reboots() const { return m_camera->Settings().rebootCount; }
    /// Gives the firmware worker an image (checksum low byte `checksumLow`) and the camera.
    Upgrade *StartFirmware(uint8_t checksumLow, bool handOver = true)
    {
        Upgrade *upgrade = Upgrade::GetInstance();
        upgrade->SetUpgradeStatusCallback(&Reports::Record);
        upgrade->SetImgPath("/tmp/fw.bin");
        upgrade->SetImgFileLen(0x5A5A);
        upgrade->SetImgChecksum(static_cast<int>(0x12345600u | checksumLow));
        upgrade->SetStatus(1);
        if (handOver) {
            SessionInfo info = orvtest::LoopbackSessionInfo(m_lastByte);
            upgrade->SetDetectParams_P(info);
        }
        return upgrade;
    }
    static void ExpectIdle(CameraStateWorker *worker)
    {
        EXPECT_TRUE(orvtest::WaitUntil([worker] { return worker->Status() == 0; }));
        EXPECT_FALSE(worker->IsConnected());
    }

    std::unique_ptr<CameraSimulator> m_sim;
    SimCamera *m_camera = nullptr;
    int m_lastByte = 0;
};

TEST_F(UpgradeWorkerTest, AFullUpgradeReportsEveryStepAndRebootsTheCamera)
{
    StartCamera(160);
    Upgrade *upgrade = StartFirmware(0x01); // the camera reads its checksum back as "accepted"
    ASSERT_TRUE(orvtest::WaitUntil([upgrade] { return upgrade->Status() == 2; }));
    SetState(0, 1);
    ASSERT_TRUE(Reports::WaitFor({5, 0}));
    EXPECT_EQ(State().state, 3u) << "told to write once the image was accepted";
    SetState(3, 40);
    ASSERT_TRUE(Reports::WaitFor({5, 40}));
    // Closing the camera's handle while it writes its firmware neither reboots it nor ends the job.
    upgrade->RebootAndrm_();
    EXPECT_EQ(upgrade->Status(), 6u);
    EXPECT_TRUE(upgrade->IsConnected());
    SetState(3, 90);
    ASSERT_TRUE(Reports::WaitFor({5, 90}));
    SetState(4, 1);
    ASSERT_TRUE(Reports::WaitFor({6, 1}));
    SetState(5, 1);
    ASSERT_TRUE(Reports::WaitFor({7, 1}));
    SetState(6, 1);
    ASSERT_TRUE(Reports::WaitFor({8, 1}));
    const std::vector<Report> expected = {{4, 1}, {5, 0}, {5, 40}, {5, 90}, {5, 100}, {6, 1}, {7, 1}, {8, 1}};
    EXPECT_EQ(Reports::Get(), expected);
    EXPECT_TRUE(orvtest::WaitUntil([this] { return Reboots() == 1u; }));
    ExpectIdle(upgrade);
}

TEST_F(UpgradeWorkerTest, EveryFailureEndsWithOneReportIdleAndDisconnected)
{
    struct Row
    {
        const char *name;
        uint8_t checksumLow;
        std::vector<std::pair<uint8_t, uint32_t>> states; ///< played after writing started
        Report last;
        uint32_t reboots;
        unsigned limitMs = 5000;
        bool handOver = true;
    };
    const std::vector<Row> rows = {
        {"image refused", 0x00, {}, {4, -1}, 1},
        {"image refused with a code", 0x07, {}, {4, 7}, 1},
        {"step 4 failed", 0x01, {{4, 0}}, {6, -1}, 1},
        {"step 5 failed", 0x01, {{5, 2}}, {7, 2}, 1},
        {"upgrade failed", 0x01, {{6, 0}}, {8, -1}, 1},
        {"state out of range", 0x01, {{7, 1}}, {9, -1}, 0},
        {"stalled while writing", 0x01, {{3, 50}}, {5, -1}, 1, 400},
        {"never ready", 0x01, {{0, 0}}, {2, -1}, 1, 400},
        {"never came back", 0x01, {}, {2, -1}, 0, 400, false},
    };
    StartCamera(161);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Reports::Reset();
        Upgrade::SetNoProgressLimitMs(row.limitMs);
        const uint32_t rebootsBefore = Reboots();
        const bool neverReady = row.states.size() == 1 && row.states[0].first == 0;
        SetState(0, neverReady ? 0 : 1);
        Upgrade *upgrade = StartFirmware(row.checksumLow, row.handOver);
        if (!neverReady && row.handOver && row.checksumLow == 0x01) {
            ASSERT_TRUE(Reports::WaitFor({5, 0}));
            for (const auto &[state, param1] : row.states) {
                SetState(state, param1);
            }
        }
        ASSERT_TRUE(Reports::WaitFor(row.last));
        ExpectIdle(upgrade);
        EXPECT_EQ(Reports::Get().back(), row.last);
        // The camera handles the reboot request on its own thread, after the worker has let go.
        EXPECT_TRUE(orvtest::WaitUntil([&] { return Reboots() - rebootsBefore == row.reboots; }));
    }
}

TEST_F(UpgradeWorkerTest, JsonWorkerTakesTheFileFromInsideTheReadyReportAndFinishes)
{
    StartCamera(162);
    JsonCtl *json = JsonCtl::GetInstance();
    int announced = 1;
    Reports::Reset([json, &announced](int status, int params) {
        if (status == 1 && params == 0) {
            announced = json->SetImgPath("/tmp/config/new.json"); // the API's StartUpgradeJson path
        }
    });
    json->SetUpgradeJsonStatusCallback(&Reports::Record);
    SessionInfo info = orvtest::LoopbackSessionInfo(162);
    json->SetDetectParams_P(info);
    json->SetStatus(1);
    SetState(0, 1, true);
    ASSERT_TRUE(Reports::WaitFor({1, 0}));
    ASSERT_TRUE(orvtest::WaitUntil([&] { return announced != 1; })) << "the report returned";
    if (announced != 0) {
        // The protocol does not announce files on its own here; the camera is told by hand.
        json->SetStatus(4);
    }
    // The camera reads the length and checksum (zeros) back as a refusal unless it answers at once.
    ASSERT_TRUE(orvtest::WaitUntil([&] { return State(true).state == 2; }));
    SetState(2, 1, true);
    ASSERT_TRUE(Reports::WaitFor({5, 0})) << "told to apply once the file was accepted";
    SetState(3, 90, true);
    ASSERT_TRUE(Reports::WaitFor({5, 90}));
    SetState(4, 1, true);
    ASSERT_TRUE(Reports::WaitFor({6, 1}));
    const std::vector<Report> expected = {{1, 0}, {4, 1}, {5, 0}, {5, 90}, {5, 100}, {6, 1}};
    EXPECT_EQ(Reports::Get(), expected);
    EXPECT_TRUE(orvtest::WaitUntil([this] { return Reboots() == 1u; }));
    ExpectIdle(json);
}

TEST_F(UpgradeWorkerTest, JsonWorkerWaitsForTheFileWithoutTimeOutAndAClosedHandleEndsIt)
{
    StartCamera(163);
    JsonCtl::SetNoProgressLimitMs(300);
    JsonCtl *json = JsonCtl::GetInstance();
    json->SetUpgradeJsonStatusCallback(&Reports::Record);
    SessionInfo info = orvtest::LoopbackSessionInfo(163);
    json->SetDetectParams_P(info);
    json->SetStatus(1);
    SetState(0, 1, true);
    ASSERT_TRUE(Reports::WaitFor({1, 0}));
    const uint64_t replies = m_camera->RepliesSent();
    ASSERT_TRUE(orvtest::WaitUntil([&] { return m_camera->RepliesSent() >= replies + 8; }))
        << "kept alive while waiting";
    EXPECT_EQ(json->Status(), 3u) << "no time-out while waiting for the file";
    json->RebootAndrm_();
    ExpectIdle(json);
    EXPECT_TRUE(orvtest::WaitUntil([this] { return Reboots() == 1u; }));
    EXPECT_EQ(Reports::Get().size(), 1u) << "ended by the application: no report";
}

} // namespace
