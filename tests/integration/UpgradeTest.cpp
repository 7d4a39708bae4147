// SPDX-License-Identifier: Apache-2.0
// Firmware upgrades and JSON configuration through the public API against simulated cameras on
// 127.0.0.180 to 127.0.0.189: image checks, a whole upgrade, every way a job fails, and the JSON exchange.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "SimFirmwareImage.h"
#include "UpgradeFixture.h"
#include "upgrade/JsonCtl.h"
#include "upgrade/Upgrade.h"

namespace orvtest {
namespace {

constexpr unsigned kUpgradeWaitMs = 20000;
/// The simulated camera runs "KR52_V2.3.7_20260101_V3".
const std::vector<uint8_t> kImage = SimFirmwareImage::Build("20260301", 4, 64 * 1024);

bool FirmwareFinal(const Report &r)
{
    return r.status == 8 || (r.status != 5 && r.value != 1);
}

bool JsonFinal(const Report &r)
{
    return r.status == 6 || (r.status != 5 && r.status != 1 && r.value != 1) || r.value == -1;
}

/// Counts the reports `isFinal` accepts.
size_t FinalCount(bool (*isFinal)(const Report &))
{
    size_t count = 0;
    for (const Report &r : ReportLog::Instance().Reports()) {
        count += isFinal(r) ? 1 : 0;
    }
    return count;
}

/// Liveness probes (serial number queries) the camera answered.
size_t Probes(SimCamera &camera)
{
    size_t count = 0;
    for (const RecordedFrame &frame : camera.RecordedFrames()) {
        count += (frame.command & 0x7F) == 0x13 && !frame.payload.empty() && frame.payload[0] == 2 ? 1 : 0;
    }
    return count;
}

bool HasPayloadPrefix(SimCamera &camera, std::vector<uint8_t> prefix)
{
    for (const auto &payload : UpgradeFixture::TransferCommands(camera)) {
        if (payload.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), payload.begin())) {
            return true;
        }
    }
    return false;
}

void PutU32(std::vector<uint8_t> &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
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
    TfDeviceHandle device = OpenWithCallback("SNUPG80");
    const std::vector<ImageCase> cases = {
        {"511 bytes", [](auto &b) { b.resize(511); }, TF_ERROR_UPGRADE_FILE, "is too small:511."},
        {"length field", [](auto &b) { b[12] ^= 1; }, TF_ERROR_UPGRADE_FILE, "size mismatch"},
        {"one data byte", [](auto &b) { b[4000] ^= 0x10; }, TF_ERROR_UPGRADE_FILE, "is mismatch."},
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
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(nullptr, std::string(261, 'a').c_str()), TF_ERROR_UPGRADE_PATH_TOO_LONG);
    EXPECT_FALSE(HasPayloadPrefix(camera, {1, 1}));
    EXPECT_TRUE(camera.Settings().streaming);
    EXPECT_TRUE(WaitUntilIdle(1000));
}

TEST_F(FirmwareUpgradeTest, WithoutCallbackOrServerTheCameraIsNeverSwitched)
{
    SimCamera &camera = AddUpgradeCamera("SNUPG81", 181);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    TfDeviceHandle device = Open("SNUPG81");
    const std::string path = WriteFile("image.bin", kImage);
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(device, path.c_str()), TF_ERROR_UPGRADE_NO_CALLBACK);
    // A port taken by someone else: the call fails and the camera is told nothing.
    ASSERT_EQ(TFCM_SetUpgradeStatusCallback(device, &ReportLog::Upgrade), 0);
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    MarkLog();
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(device, path.c_str()), TF_ERROR_OTHER);
    close(taken);
    EXPECT_NE(LogSinceMark().find("Cannot listen on"), std::string::npos);
    EXPECT_FALSE(HasPayloadPrefix(camera, {1, 1}));
    EXPECT_TRUE(WaitUntilIdle(1000));
}

TEST_F(FirmwareUpgradeTest, WholeUpgradeReportsEveryStepAndTheCameraComesBackWithTheNewVersion)
{
    SimCamera &camera = AddUpgradeCamera("SNUPG82", 182);
    SimCamera &other = AddUpgradeCamera("SNUPG83", 183);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    TfDeviceHandle device = OpenWithCallback("SNUPG82");
    TfDeviceHandle watched = Open("SNUPG83");
    ASSERT_NE(watched, nullptr);
    const std::string path = WriteFile("fw_image.bin", kImage);
    ASSERT_EQ(TFCM_StartUpgradeFirmWare(device, path.c_str()), 0);
    // A second start while one runs is refused and leaves the running one alone.
    EXPECT_EQ(TFCM_StartUpgradeFirmWare(device, path.c_str()), TF_ERROR_OTHER);

    std::vector<uint8_t> announcement = {1, 1};
    const std::string host = "127.0.0.1";
    announcement.insert(announcement.end(), host.begin(), host.end());
    announcement.resize(18, 0);
    announcement.insert(announcement.end(), {'f', 'w', '_', 'i', 'm', 'a', 'g', 'e', '.', 'b', 'i', 'n', 0});
    EXPECT_TRUE(HasPayloadPrefix(camera, announcement));
    EXPECT_TRUE(HasPayloadPrefix(camera, {2, 1}));
    EXPECT_FALSE(camera.Settings().streaming);
    ASSERT_TRUE(camera.WaitForFetched(kImage.size(), kUpgradeWaitMs));
    EXPECT_EQ(camera.FetchedFile(), kImage);
    const size_t probesBefore = Probes(other);
    ASSERT_TRUE(ReportLog::Instance().WaitFor(FirmwareFinal, kUpgradeWaitMs));

    // The worker's connection told the camera the whole-file checksum and the length.
    std::vector<uint8_t> checksum = {1, 2, 0, 0, 0, 0, 0, 0, 0, 0};
    PutU32(checksum, 2, SimFirmwareImage::WholeChecksum(kImage));
    PutU32(checksum, 6, static_cast<uint32_t>(kImage.size()));
    EXPECT_TRUE(HasPayloadPrefix(camera, checksum));
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
    // The other open camera kept its heartbeat throughout; the upgraded one, opened anew, has its own.
    EXPECT_GT(Probes(other), probesBefore);
    Close(device);
    ASSERT_TRUE(m_recorder->WaitFor(Uri("SNUPG82"), 0, 2, kUpgradeWaitMs));
    device = Open("SNUPG82");
    ASSERT_NE(device, nullptr);
    char version[64] = {};
    EXPECT_EQ(TFCM_GetFirmwareVersionNumber(device, version, sizeof version), 0);
    EXPECT_EQ(std::string(version), SimFirmwareImage::VersionText(header));
    const size_t probesAfter = Probes(camera);
    EXPECT_TRUE(camera.WaitForFrames(camera.RecordedFrames().size() + 1, 5000));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Probes(camera) == probesAfter && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_GT(Probes(camera), probesAfter);
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

TEST_F(FirmwareUpgradeTest, EveryFailureEndsWithOneReportAndLeavesNothingRunning)
{
    Upgrade::SetNoProgressLimitMs(1500);
    const std::vector<FailureCase> cases = {
        {"checksum refused", Faults([](auto &f) { f.refuseChecksum = true; }), {4, -1}, true},
        {"fails at state 4", Faults([](auto &f) { f.failAtState = 4; }), {6, -1}, true},
        {"fails at state 5", Faults([](auto &f) { f.failAtState = 5; }), {7, -1}, true},
        {"fails at state 6", Faults([](auto &f) { f.failAtState = 6; }), {8, -1}, true},
        {"state out of range", Faults([](auto &f) { f.outOfRangeState = 7; }), {9, -1}, false},
        {"stalls writing", Faults([](auto &f) { f.stallAtState = 3; }), {5, -1}, true},
        {"never ready", Faults([](auto &f) { f.stallAtState = 0; }), {2, -1}, true},
        {"drops connections", Faults([](auto &f) { f.dropInUpgradeMode = true; }), {2, -1}, false},
        {"never comes back", Faults([](auto &f) { f.comeBack = SimComeBack::Never; }), {2, -1}, false},
        {"never fetches", Faults([](auto &f) { f.fetch = SimFetchFault::Never; }), {2, -1}, false},
    };
    std::vector<SimCamera *> cameras;
    for (size_t i = 0; i < cases.size(); ++i) {
        cameras.push_back(&AddUpgradeCamera("SNFAIL" + std::to_string(i), 184 + i % 6));
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        if (i == 0 || i % 6 != 0) {
            // Each camera has its own address; six addresses serve the ten cases in two rounds.
        }
        SimCamera &camera = *cameras[i];
        camera.SetUpgradeFaults(cases[i].faults);
        if (!m_sim->IsRunning()) {
            ASSERT_NO_FATAL_FAILURE(StartCameras());
        }
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

} // namespace
} // namespace orvtest
