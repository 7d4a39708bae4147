// SPDX-License-Identifier: Apache-2.0
// Firmware upgrades and JSON configuration through the public API against simulated cameras on
// 127.0.0.180 to 127.0.0.189: image checks, a whole upgrade, every way a job fails, and the JSON exchange.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

#include "PeerSockets.h"
#include "SimFirmwareImage.h"
#include "UpgradeFixture.h"
#include "upgrade/JsonCtl.h"
#include "upgrade/Upgrade.h"

namespace orvtest {
namespace {

constexpr unsigned kUpgradeWaitMs = 20000;
/// The simulated camera runs "KR52_V2.3.7_20260101_V3".
const std::vector<uint8_t> kImage = SimFirmwareImage::Build("20260301", 4, 64 * 1024);

bool JsonFinal(const Report &r)
{
    return r.status == 6 || (r.status != 5 && r.status != 1 && r.value != 1) || r.value == -1;
}

/// Counts the reports `isFinal` accepts.
size_t FinalCount(bool (*isFinal)(const Report &))
{
    const std::vector<Report> reports = ReportLog::Instance().Reports();
    return static_cast<size_t>(std::count_if(reports.begin(), reports.end(), isFinal));
}

class FirmwareUpgradeTest : public UpgradeFixture
{
protected:
    /// Opens a streaming camera with the test's callback registered.
    TfDeviceHandle OpenWithCallback(const std::string &serial)
    {
        TfDeviceHandle device = Open(serial);
        EXPECT_EQ(TFCM_SetUpgradeStatusCallback(device, &ReportLog::Upgrade), 0);
        return device;
    }
    /// After a job: exactly one final report, no worker, no flag, no server.
    void ExpectJobEnded(bool (*isFinal)(const Report &))
    {
        EXPECT_EQ(FinalCount(isFinal), 1u);
        EXPECT_TRUE(WaitUntilIdle(3000));
    }
};

struct ImageCase
{
    const char *what;
    std::function<void(std::vector<uint8_t> &)> spoil;
    int code;
    const char *logged;
};

TEST_F(FirmwareUpgradeTest, EveryImageCheckHasItsCodeAndMessageAndNothingReachesTheCamera)
{
    SimCamera &camera = AddUpgradeCamera("SNUPG80", 180);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    TfDeviceHandle device = Open("SNUPG80");
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(device, WriteFile("image.bin", kImage).c_str()),
              TF_ERROR_UPGRADE_NO_CALLBACK);
    ASSERT_EQ(TFCM_SetUpgradeStatusCallback(device, &ReportLog::Upgrade), 0);
    const std::vector<ImageCase> cases = {
        {"511 bytes", [](auto &b) { b.resize(511); }, TF_ERROR_UPGRADE_FILE, "is too small:511."},
        {"length field", [](auto &b) { b[12] ^= 1; }, TF_ERROR_UPGRADE_FILE, "size mismatch"},
        // The session's -3 for a bad data sum is the camera's refusal code too: both are "other".
        {"one data byte", [](auto &b) { b[4000] ^= 0x10; }, TF_ERROR_OTHER, "is mismatch."},
        {"older date", [](auto &b) { std::memcpy(&b[2], "20251231", 8); }, TF_ERROR_UPGRADE_REJECTED,
         "version or flash type check failed"},
        {"lower sub-version", [](auto &b) { b[11] = 2; }, TF_ERROR_UPGRADE_REJECTED, "Version error  2, 3"},
        {"device code 12", [](auto &b) { b[0] = 12; }, TF_ERROR_UPGRADE_REJECTED, "devicetype 520 != 12"},
        {"flash type 1", [](auto &b) { b[1] = 1; }, TF_ERROR_UPGRADE_REJECTED, "version or flash type"},
        {"date text", [](auto &b) { std::memcpy(&b[2], "2026AB01", 8); }, TF_ERROR_UPGRADE_FILE, ""},
    };
    for (const ImageCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> image = kImage;
        c.spoil(image);
        MarkLog();
        EXPECT_EQ(TFCM_StartUpgradeFirmWare(device, WriteFile("image.bin", image).c_str()), c.code);
        EXPECT_NE(LogSinceMark().find(c.logged), std::string::npos) << LogSinceMark();
    }
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(device, (m_dir + "/missing.bin").c_str()), TF_ERROR_UPGRADE_FILE);
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(nullptr, std::string(261, 'a').c_str()),
              TF_ERROR_UPGRADE_PATH_TOO_LONG);
    EXPECT_FALSE(HasPayloadPrefix(camera, {1, 1}));
    EXPECT_TRUE(camera.Settings().streaming);
    EXPECT_TRUE(WaitUntilIdle(1000));
}

TEST_F(FirmwareUpgradeTest, WholeUpgradeReportsEveryStepAndTheCameraComesBackWithTheNewVersion)
{
    SimCamera &camera = AddUpgradeCamera("SNUPG82", 182);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    TfDeviceHandle device = OpenWithCallback("SNUPG82");
    const std::string path = WriteFile("fw_image.bin", kImage);
    ASSERT_EQ(TFCM_StartUpgradeFirmWare(device, path.c_str()), 0);
    // A second start while one runs is refused and leaves the running one alone.
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(device, path.c_str()), TF_ERROR_OTHER);

    std::vector<uint8_t> announcement = {1, 1, '1', '2', '7', '.', '0', '.', '0', '.', '1'};
    announcement.resize(18, 0);
    const char name[] = "fw_image.bin";
    announcement.insert(announcement.end(), name, name + sizeof name);
    EXPECT_TRUE(WaitUntil([&] { return HasPayloadPrefix(camera, announcement); }));
    EXPECT_TRUE(HasPayloadPrefix(camera, {2, 1}));
    EXPECT_TRUE(WaitUntil([&] { return !camera.Settings().streaming; }));
    ASSERT_TRUE(camera.WaitForFetched(kImage.size(), kUpgradeWaitMs));
    EXPECT_EQ(camera.FetchedFile(), kImage);
    ASSERT_TRUE(ReportLog::Instance().WaitFor(FirmwareFinal, kUpgradeWaitMs));
    // The worker's connection told the camera the whole-file checksum and the length.
    std::vector<uint8_t> checksum = {1, 2};
    PutU32(checksum, SimFirmwareImage::WholeChecksum(kImage));
    PutU32(checksum, static_cast<uint32_t>(kImage.size()));
    EXPECT_TRUE(WaitUntil([&] { return HasPayloadPrefix(camera, checksum); }));
    std::vector<std::pair<int, int>> steps;
    int lastPercent = -1;
    for (const Report &r : ReportLog::Instance().Reports()) {
        if (r.status == 5) {
            EXPECT_GE(r.value, lastPercent);
            lastPercent = r.value;
        } else {
            steps.emplace_back(r.status, r.value);
        }
    }
    EXPECT_EQ(lastPercent, 100);
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{4, 1}, {6, 1}, {7, 1}, {8, 1}}));
    SimFirmwareImage::Header header;
    ASSERT_TRUE(SimFirmwareImage::ReadHeader(kImage, header));
    EXPECT_TRUE(camera.WaitForFirmwareVersion(SimFirmwareImage::VersionText(header), kUpgradeWaitMs));
    ExpectJobEnded(FirmwareFinal);
    // Opened anew, the camera reports the new version. (Heartbeats during and after an upgrade are the
    // device tests' matter.)
    Close(device);
    const auto reopenBy = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (TFCM_OpenDevice(Uri("SNUPG82").c_str(), &device) != 0 &&
           std::chrono::steady_clock::now() < reopenBy) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(device, nullptr);
    char version[64] = {};
    EXPECT_EQ(TFCM_GetFirmwareVersionNumber(device, version, sizeof version), 0);
    EXPECT_EQ(std::string(version), SimFirmwareImage::VersionText(header));
    EXPECT_EQ(TFCM_CloseDevice(&device), 0);
}

TEST_F(FirmwareUpgradeTest, ClosingTheHandleNeverInterruptsACameraWritingItsFirmware)
{
    SimCamera &camera = AddUpgradeCamera("SNUPG84", 184);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    TfDeviceHandle device = OpenWithCallback("SNUPG84");
    ASSERT_EQ(TFCM_StartUpgradeFirmWare(device, WriteFile("image.bin", kImage).c_str()), 0);
    ASSERT_TRUE(ReportLog::Instance().WaitFor([](const Report &r) { return r.status == 5; }, kUpgradeWaitMs));
    const uint64_t boots = camera.Boots();
    Close(device);
    // The camera finishes, and is rebooted only then.
    ASSERT_TRUE(ReportLog::Instance().WaitFor(FirmwareFinal, kUpgradeWaitMs));
    EXPECT_EQ(ReportLog::Instance().Reports().back().status, 8);
    EXPECT_EQ(ReportLog::Instance().Reports().back().value, 1);
    EXPECT_TRUE(camera.WaitForBoots(boots + 1, 5000));
    ExpectJobEnded(FirmwareFinal);
}

struct FailureCase
{
    const char *what;
    SimUpgradeFaults faults;
    std::pair<int, int> finalReport;
    bool rebooted; ///< the camera is asked to reboot at the end (beyond its reboot into upgrade mode)
};

SimUpgradeFaults Faults(const std::function<void(SimUpgradeFaults &)> &set)
{
    SimUpgradeFaults faults;
    set(faults);
    return faults;
}

class FirmwareFailureTest : public FirmwareUpgradeTest
{
protected:
    /// Runs each case on a camera of its own: one final report, nothing left running, and the reboot
    /// where the job reboots the camera.
    void Run(const std::vector<FailureCase> &cases)
    {
        Upgrade::SetNoProgressLimitMs(1000);
        std::vector<SimCamera *> cameras;
        for (size_t i = 0; i < cases.size(); ++i) {
            cameras.push_back(
                &AddUpgradeCamera("SNFAIL" + std::to_string(i), 180 + static_cast<unsigned>(i)));
            cameras.back()->SetUpgradeFaults(cases[i].faults);
        }
        ASSERT_NO_FATAL_FAILURE(StartCameras());
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].what);
            SimCamera &camera = *cameras[i];
            ReportLog::Instance().Clear();
            TfDeviceHandle device = OpenWithCallback(camera.Config().serial);
            const uint64_t bootsBefore = camera.Boots();
            ASSERT_EQ(TFCM_StartUpgradeFirmWare(device, WriteFile("image.bin", kImage).c_str()), 0);
            ASSERT_TRUE(ReportLog::Instance().WaitFor(FirmwareFinal, kUpgradeWaitMs));
            const Report last = ReportLog::Instance().Reports().back();
            EXPECT_EQ(std::make_pair(last.status, last.value), cases[i].finalReport);
            ExpectJobEnded(FirmwareFinal);
            if (cases[i].rebooted) {
                EXPECT_TRUE(camera.WaitForBoots(bootsBefore + 2, 5000)) << camera.Boots();
            }
            Close(device);
        }
    }
};

TEST_F(FirmwareFailureTest, CameraSideFailuresEndWithTheirReport)
{
    Run({
        {"checksum refused", Faults([](auto &f) { f.refuseChecksum = true; }), {4, -1}, true},
        {"fails at state 4", Faults([](auto &f) { f.failAtState = 4; }), {6, -1}, true},
        {"fails at state 5", Faults([](auto &f) { f.failAtState = 5; }), {7, -1}, true},
        {"fails at state 6", Faults([](auto &f) { f.failAtState = 6; }), {8, -1}, true},
        {"state out of range", Faults([](auto &f) { f.outOfRangeState = 7; }), {9, -1}, false},
    });
}

TEST_F(FirmwareFailureTest, CamerasThatStallOrNeverComeBackAreGivenUp)
{
    Run({
        {"stalls writing", Faults([](auto &f) { f.stallAtState = 3; }), {5, -1}, true},
        {"never ready", Faults([](auto &f) { f.stallAtState = 0; }), {2, -1}, true},
        {"drops connections", Faults([](auto &f) { f.dropInUpgradeMode = true; }), {2, -1}, false},
        {"never comes back", Faults([](auto &f) { f.comeBack = SimComeBack::Never; }), {2, -1}, false},
        {"never fetches", Faults([](auto &f) { f.fetch = SimFetchFault::Never; }), {2, -1}, false},
    });
}

/// The JSON exchange: the callback starts the upgrade itself from the (1, 0) report.
struct JsonRun
{
    TfDeviceHandle device = nullptr;
    std::string path;
    std::atomic<int> startResult{1};
};
JsonRun *g_json = nullptr;

void OnJsonReport(int status, int value)
{
    if (status == 1 && value == 0 && g_json != nullptr) {
        g_json->startResult =
            TFCM_SetProperty(g_json->device, TF_PROPERTY_START_JSON_UPGRADE, g_json->path.c_str(),
                             static_cast<int32_t>(g_json->path.size() + 1));
    }
    ReportLog::Upgrade(status, value);
}

struct JsonCase
{
    const char *what;
    const char *path; ///< relative to the scratch directory unless it starts with "/"
    SimUpgradeFaults faults;
    std::vector<std::pair<int, int>> reports; ///< every report from (1, 0) on
};

using JsonConfigTest = FirmwareUpgradeTest;

TEST_F(JsonConfigTest, TheFileIsFetchedByAnyPathAndEveryStepReported)
{
    JsonCtl::SetNoProgressLimitMs(1500);
    const std::vector<std::pair<int, int>> good = {{1, 0}, {4, 1}, {5, 90}, {5, 100}, {6, 1}};
    const std::vector<JsonCase> cases = {
        {"absolute", "/cfg/a.json", Faults([](auto &) {}), good},
        {"relative", "cfg/b.json", Faults([](auto &) {}), good},
        {"backslashes", "cfg\\c.json", Faults([](auto &) {}), good},
        {"checksum refused",
         "cfg/d.json",
         Faults([](auto &f) { f.refuseChecksum = true; }),
         {{1, 0}, {4, -1}}},
        {"state out of range",
         "cfg/e.json",
         Faults([](auto &f) { f.outOfRangeState = 5; }),
         {{1, 0}, {4, 1}, {5, 90}, {5, 100}, {7, -1}}},
        {"stalls applying",
         "cfg/f.json",
         Faults([](auto &f) { f.stallAtState = 3; }),
         {{1, 0}, {4, 1}, {5, 90}, {5, -1}}},
    };
    std::vector<SimCamera *> cameras;
    for (size_t i = 0; i < cases.size(); ++i) {
        cameras.push_back(&AddUpgradeCamera("SNJSON" + std::to_string(i), 180 + static_cast<unsigned>(i)));
        SimUpgradeOptions options = cameras.back()->UpgradeOptions();
        options.percentStep = 90;
        cameras.back()->SetUpgradeOptions(options);
        cameras.back()->SetUpgradeFaults(cases[i].faults);
    }
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    ASSERT_EQ(mkdir((m_dir + "/cfg").c_str(), 0755), 0);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const std::string name = std::string(cases[i].path).substr(std::string(cases[i].path).size() - 6);
        const std::vector<uint8_t> config = {'{', '"', 'i', '"', ':', static_cast<uint8_t>('0' + i), '}'};
        WriteFile("cfg/" + name, config);
        ReportLog::Instance().Clear();
        JsonRun run;
        run.device = Open(cameras[i]->Config().serial);
        run.path = cases[i].path[0] == '/' ? m_dir + cases[i].path : cases[i].path;
        g_json = &run;
        const uint64_t bootsBefore = cameras[i]->Boots();
        ASSERT_EQ(TFCM_SetProperty(run.device, TF_PROPERTY_ENTER_JSON_MODE,
                                   reinterpret_cast<const void *>(&OnJsonReport), sizeof(void *)),
                  0);
        // Before the camera is ready the file is refused.
        EXPECT_EQ(TFCM_SetProperty(run.device, TF_PROPERTY_START_JSON_UPGRADE, "x/y.json", 9), -2);
        ASSERT_TRUE(ReportLog::Instance().WaitFor(JsonFinal, 20000));
        g_json = nullptr;
        EXPECT_EQ(run.startResult.load(), 0);
        std::vector<std::pair<int, int>> seen;
        for (const Report &r : ReportLog::Instance().Reports()) {
            seen.emplace_back(r.status, r.value);
        }
        EXPECT_EQ(seen, cases[i].reports);
        EXPECT_EQ(cameras[i]->FetchedFile(), config);
        ExpectJobEnded(JsonFinal);
        if (cases[i].reports.back() != std::make_pair(7, -1)) {
            EXPECT_TRUE(cameras[i]->WaitForBoots(bootsBefore + 1, 5000));
        }
        Close(run.device);
    }
}

TEST_F(JsonConfigTest, WaitingForTheFileNeverTimesOutAndClosingTheHandleEndsTheJob)
{
    JsonCtl::SetNoProgressLimitMs(300);
    SimCamera &camera = AddUpgradeCamera("SNJSONW", 187);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    TfDeviceHandle device = Open("SNJSONW");
    const uint64_t bootsBefore = camera.Boots();
    ASSERT_EQ(TFCM_SetProperty(device, TF_PROPERTY_ENTER_JSON_MODE,
                               reinterpret_cast<const void *>(&ReportLog::Upgrade), sizeof(void *)),
              0);
    ASSERT_TRUE(ReportLog::Instance().WaitFor([](const Report &r) { return r.status == 1; }, 5000));
    // Kept alive well past the no-progress bound while the application takes its time.
    const size_t framesBefore = camera.RecordedFrames().size();
    EXPECT_TRUE(camera.WaitForFrames(framesBefore + 8, 5000));
    EXPECT_EQ(JsonCtl::GetInstance()->Status(), 3u);
    Close(device);
    EXPECT_TRUE(WaitUntilIdle(3000));
    EXPECT_TRUE(camera.WaitForBoots(bootsBefore + 1, 5000));
    EXPECT_EQ(ReportLog::Instance().Reports().size(), 1u) << "ended by the application: no report";
}

} // namespace
} // namespace orvtest
