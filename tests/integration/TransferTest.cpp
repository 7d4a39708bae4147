// SPDX-License-Identifier: Apache-2.0
// Calibration files moved between host and camera through the public API against simulated cameras on
// 127.0.0.190 to 127.0.0.199: both directions for every type, and a transfer outlived by its handle or by
// the library. (The server's refusals of spoiled chunks are its own tests' matter.)
#include <algorithm>
#include <cstring>

#include "UpgradeFixture.h"
#include "transfer/WebServer.h"

namespace orvtest {
namespace {

constexpr unsigned kTransferWaitMs = 15000;

bool Final(const Report &r)
{
    return r.value != 2;
}

/// The status of a transfer's final report (0 or 1) once it came; -2 on time-out.
int WaitFinal(const ReportLog &log, unsigned timeoutMs)
{
    return log.WaitFor(Final, timeoutMs) ? log.Reports().back().value : -2;
}

size_t Finals(const ReportLog &log)
{
    const std::vector<Report> reports = log.Reports();
    return static_cast<size_t>(std::count_if(reports.begin(), reports.end(), Final));
}

TfFileTransferParams Params(uint32_t type, uint8_t index, uint8_t direction, const std::string &name,
                            ReportLog &progress)
{
    TfFileTransferParams params{};
    params.type = type;
    params.index = index;
    params.direction = direction;
    std::snprintf(params.name, sizeof params.name, "%s", name.c_str());
    params.callback = &ReportLog::Transfer;
    params.userData = &progress;
    return params;
}

using TransferTest = UpgradeFixture;

struct FileCase
{
    uint8_t type;
    uint8_t index;
    const char *saved;
};

TEST_F(TransferTest, EveryFileTypeTravelsBothWaysByteForByte)
{
    SimCamera &camera = AddUpgradeCamera("SN-XFER-190", 190);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    TfDeviceHandle device = Open("SN-XFER-190");
    const std::vector<FileCase> cases = {{4, 0, "intrinsic.bin"},
                                         {5, 2, "planeness_2.bin"},
                                         {6, 1, "rangeOffset_1.bin"},
                                         {7, 0, "ir_background.bin"}};
    for (const FileCase &c : cases) {
        SCOPED_TRACE(c.saved);
        ReportLog pulled;
        // Any non-zero direction is camera to host, and the caller's name plays no part in the upload's.
        TfFileTransferParams params =
            Params(c.type, c.index, 2, "a-longer-name-than-the-serial-number", pulled);
        ASSERT_EQ(TFCM_TransferFile(device, &params), 0);
        ASSERT_EQ(WaitFinal(pulled, kTransferWaitMs), 1);
        // The same file back to the camera, by path, as soon as the first transfer has reported its end.
        ReportLog pushed;
        params = Params(c.type, c.index, 0, m_dir + "/Config/" + c.saved, pushed);
        ASSERT_EQ(TFCM_TransferFile(device, &params), 0);
        ASSERT_EQ(WaitFinal(pushed, kTransferWaitMs), 1);
        EXPECT_EQ(Finals(pulled), 1u);
        const std::vector<uint8_t> expected = SimUpgradeOptions::DefaultCalibrationFile(c.type, c.index);
        EXPECT_EQ(ReadFile("Config/" + std::string(c.saved)), std::string(expected.begin(), expected.end()));
        std::vector<uint8_t> announcement = {c.type, 2, '1', '2', '7', '.', '0', '.', '0', '.', '1'};
        announcement.resize(18, 0);
        if (c.type == 5 || c.type == 6) {
            announcement.push_back(c.index);
        }
        const auto commands = TransferCommands(camera);
        EXPECT_NE(std::find(commands.begin(), commands.end(), announcement), commands.end());
        ASSERT_FALSE(camera.ReceivedFiles().empty());
        EXPECT_EQ(camera.ReceivedFiles().back().bytes, expected);
    }
}

TEST_F(TransferTest, ClosingOrShuttingDownDuringATransferEndsItWithOneReport)
{
    SimCamera &camera = AddUpgradeCamera("SN-XFER-192", 192);
    ASSERT_NO_FATAL_FAILURE(StartCameras());
    SimUpgradeFaults faults;
    faults.transferStuckAtTwo = true;
    camera.SetUpgradeFaults(faults);
    TfDeviceHandle device = Open("SN-XFER-192");
    ReportLog closed;
    TfFileTransferParams params = Params(7, 0, 1, "SN-XFER-192", closed);
    ASSERT_EQ(TFCM_TransferFile(device, &params), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a few polls at status 2
    Close(device);
    EXPECT_EQ(WaitFinal(closed, 0), 0);
    EXPECT_EQ(Finals(closed), 1u);
    EXPECT_FALSE(WebServer::getInstance()->isRunning());

    // The library shut down under a running transfer: no thread of it is left and the port is free.
    const int threadsBefore = ThreadCount();
    TfDeviceHandle raw = nullptr;
    ASSERT_EQ(TFCM_OpenDevice(Uri("SN-XFER-192").c_str(), &raw), 0);
    ReportLog shutDown;
    params = Params(7, 0, 1, "SN-XFER-192", shutDown);
    ASSERT_EQ(TFCM_TransferFile(raw, &params), 0);
    EXPECT_EQ(TFCM_Shutdown(), 0);
    EXPECT_EQ(WaitFinal(shutDown, 0), 0);
    EXPECT_FALSE(WebServer::getInstance()->isRunning());
    EXPECT_LE(ThreadCount(), threadsBefore);
    EXPECT_TRUE(PortIsFree(m_port));
    ASSERT_EQ(TFCM_Initialize(), 0);      // for the fixture's own shutdown
    EXPECT_EQ(TFCM_CloseDevice(&raw), 0); // an application closing its handle late only frees it
}

} // namespace
} // namespace orvtest
