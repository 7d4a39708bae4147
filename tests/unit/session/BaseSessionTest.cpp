// SPDX-License-Identifier: Apache-2.0
// BaseSession without a camera: construction defaults, refusals, frame modes, the calibration block's
// mapping, the buffers that show a stopped camera reports its status, the depth-to-world table and the
// file check.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "pipeline/ImageProc.h"
#include "refine/APIDepthRefine.h"
#include "session/BaseSession.h"
#include "session/ProtocolStreamSource.h"
#include "session/SessionCalibration.h"
#include "session/StatusConfirmer.h"

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new orvtest::PrivateHomeEnvironment(true));

SessionInfo NetworkInfo(uint32_t deviceType = 520)
{
    SessionInfo info;
    info.linkType = kLinkTypeNetwork;
    info.ip = 127u | (80u << 24); // nothing is contacted: the protocol is never opened here
    info.cmdPort = 9008;
    info.dataPort = 9009;
    info.deviceType = deviceType;
    return info;
}

/// A block as a camera in data mode `mode` would send it.
InitCameraParams Block(uint8_t mode)
{
    InitCameraParams p{};
    const double k[9] = {500, 0, 321, 0, 502, 241, 0, 0, 1};
    std::memcpy(p.tofIntrinsic, k, sizeof(k));
    p.rgbIntrinsic[0] = 1400;
    p.rotation[0] = p.rotation[4] = p.rotation[8] = 1;
    p.translation[0] = -25;
    for (int i = 0; i < 6; ++i) {
        p.depthMax[0][i] = static_cast<uint16_t>(1000 * (i + 1));
        p.depthMax[1][i] = static_cast<uint16_t>(100 + i);
        p.depthMax[2][i] = static_cast<uint16_t>(10 + i);
    }
    p.depthMax[0][4] = 0; // a range the camera leaves to the defaults
    p.range = 2;
    p.mode = mode;
    const uint32_t wdr[3] = {2, 1, 3};
    std::memcpy(p.wdr, wdr, sizeof(wdr));
    p.rangeListCount = p.modeListCount = 3;
    std::memcpy(p.rangeList, "\x00\x02\x03", 3);
    std::memcpy(p.modeList, "\x01\x09\x0A", 3);
    p.rgbW = 640;
    p.rgbH = 480;
    return p;
}

TEST(BaseSessionConstruction, UnknownDeviceTypeHasNoProtocol)
{
    BaseSession session(NetworkInfo(0));
    EXPECT_EQ(session.OpenDevice(false), -255);
    uint8_t fps = 42;
    EXPECT_EQ(session.GetTofFrameRate(&fps), -255);
    EXPECT_EQ(fps, 42);
    // Empty lists: no data mode is accepted, every depth range is.
    EXPECT_FALSE(session.IsDataModeValid(1));
    EXPECT_TRUE(session.IsRangeValid(7));
}

TEST(BaseSessionFrameMode, RotationExchangesWidthAndHeight)
{
    struct Row
    {
        int rotation; // -255: never set
        FrameType type;
        uint32_t width, height;
    };
    const Row rows[] = {{-255, kFrameDepth, 640, 480}, {0, kFrameDepth, 480, 640},
                        {1, kFrameDepth, 640, 480},    {2, kFrameIr, 480, 640},
                        {3, kFrameIr, 640, 480},       {0, kFrameColor, 480, 640}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.rotation);
        BaseSession session(NetworkInfo());
        if (row.rotation != -255) {
            ASSERT_EQ(session.SetImageRotation(row.rotation), 0);
        }
        FrameMode mode{};
        EXPECT_EQ(session.GetFrameMode(row.type, &mode), 0);
        EXPECT_EQ(mode.width, row.width);
        EXPECT_EQ(mode.height, row.height);
    }
    BaseSession session(NetworkInfo());
    FrameMode untouched{1, 2, 3};
    EXPECT_EQ(session.GetFrameMode(static_cast<FrameType>(7), &untouched), 0);
    EXPECT_EQ(untouched.width, 1u);
}

TEST(BaseSessionRefusals, InvalidRequestsNeverReachTheCamera)
{
    BaseSession session(NetworkInfo());
    struct Row
    {
        const char *name;
        std::function<int()> call;
        int expected;
        const char *message; // empty: none
    };
    DualFreqMode dual{2, {1, 3, 0}};
    const Row rows[] = {
        {"data mode not listed", [&] { return session.SetDataMode(4); }, 1, "]:invalid data mode 4\n"},
        {"range not listed", [&] { return session.SetDepthRange(DepthRange{7}); }, -10,
         "]:invalid depth range 7\n"},
        {"dual frequency outside modes 9 and 10", [&] { return session.SetDualFreqMode(dual); }, -15, ""},
        {"intrinsics of sensor 3",
         [&] {
             double k[9] = {};
             return session.GetCameraIntrinsic(static_cast<SensorType>(3), k);
         },
         -255, "]:cameraType:3 is invalid.\n"},
        {"distortion of sensor 0",
         [&] {
             double d[8] = {};
             return session.GetCameraDistortion(static_cast<SensorType>(0), d);
         },
         -255, "]:cameraType:0 is invalid.\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.call(), row.expected);
    }
    EXPECT_EQ(session.GetCurrentDepthRange(), 0u);
}

TEST(BaseSessionConfirmation, WhileStoppedOnlyAWholeStatusOnlyBufferShowsTheStatusIsReported)
{
    const std::vector<uint8_t> status = {0x2C, 2, 0, 0xAA, 0xBB}; // header, u16 length 2, payload
    const std::vector<uint8_t> stamp = {0x1F, 1, 0, 0, 0, 0x42};  // header, u24 length 1, spare
    const std::vector<uint8_t> tof = {0xB1, 1, 0, 0, 0, 0x42};    // any image block
    const std::vector<uint8_t> cut = {0x2C, 9, 0, 0xAA};          // length past the end
    auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t> &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Row
    {
        const char *name;
        std::vector<uint8_t> buffer;
        bool followed;
    };
    const Row rows[] = {
        {"status alone", status, true},
        {"timestamp and status", join(stamp, status), true},
        {"status and an image", join(status, tof), false},
        {"timestamp alone", stamp, false},
        {"cut status", cut, false},
        {"status, then a cut header", join(status, {0x1F, 1}), false},
        {"empty", {}, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ProtocolStreamSource source(nullptr);
        StatusConfirmer confirm(source);
        confirm.OnBufferRead(status.data(), static_cast<uint32_t>(status.size()));
        EXPECT_TRUE(confirm.IsFollowed()) << "streaming, the hub's flag decides";
        confirm.OnStreamStopped();
        confirm.OnBufferRead(row.buffer.data(), static_cast<uint32_t>(row.buffer.size()));
        EXPECT_EQ(confirm.IsFollowed(), row.followed);
        EXPECT_EQ(confirm.Wait(3, 1, [](const DeviceStatus &) { return false; }), row.followed ? -105 : 0);
    }
}

TEST(BaseSessionCalibrationBlock, BlockFillsCalibrationListsAndRanges)
{
    BaseSession session(NetworkInfo());
    InitCameraParams block = Block(9);
    session.InitFromUVCFrameData(block);

    EXPECT_EQ(session.GetTofIntrinsic()[2], 321.0);
    EXPECT_EQ(session.GetCurrentDataMode(), 9);
    EXPECT_EQ(session.GetCurrentDepthRange(), 2u);
    const auto ranges = session.GetDepthRangeList();
    EXPECT_EQ(std::vector<uint8_t>(ranges.begin(), ranges.begin() + 4), (std::vector<uint8_t>{3, 0, 2, 3}));
    const auto modes = session.GetDataModeList();
    EXPECT_EQ(std::vector<uint8_t>(modes.begin(), modes.begin() + 4), (std::vector<uint8_t>{3, 1, 9, 10}));
    const auto table = session.GetMeasuringRangeTable();
    EXPECT_EQ(+table[1].range2, 2000);
    EXPECT_EQ(+table[1].range0, 101);
    EXPECT_EQ(+table[1].range1, 11);
    EXPECT_EQ(+table[4].range2, 3747); // left to the defaults
    const DualFreqMode dual = session.GetCurrentDualFreqMode();
    EXPECT_EQ(+dual.count, 2);
    EXPECT_EQ(+dual.values[0], 1);
    EXPECT_EQ(+dual.values[1], 3);
    FrameMode color{};
    session.GetFrameMode(kFrameColor, &color);
    EXPECT_EQ(color.width, 640u);
    EXPECT_EQ(color.height, 480u);
    ASSERT_NE(session.GetDepthFrame2WorldTab(), nullptr);
    EXPECT_NE(session.GetImageProc()->GetTofDecode(), nullptr);

    // In a multi-frequency mode the depth range is fixed; the lists now come from the block.
    EXPECT_EQ(session.SetDepthRange(DepthRange{2}), 1);
    EXPECT_TRUE(session.IsDataModeValid(10));
    EXPECT_FALSE(session.IsDataModeValid(2));
    EXPECT_FALSE(session.IsRangeValid(1));

    // Exposure indices without a status field in these modes are answered at once.
    session.SetConfirmPollPeriodMs(1);
    EXPECT_EQ(session.SetExposureTime(ExposureTime{2, 500}), -105);
}

TEST(BaseSessionCalibrationBlock, OversizedListCountsAreClamped)
{
    BaseSession session(NetworkInfo());
    InitCameraParams block = Block(1);
    block.rangeListCount = 200;
    block.modeListCount = 250;
    session.InitFromUVCFrameData(block);
    EXPECT_EQ(session.GetDepthRangeList()[0], 9);
    EXPECT_EQ(session.GetDataModeList()[0], 32);
    // Checks stay within the lists.
    EXPECT_FALSE(session.IsRangeValid(77));
    EXPECT_FALSE(session.IsDataModeValid(77));
}

TEST(BaseSessionDepthTable, RaysFollowTheIntrinsics)
{
    BaseSession session(NetworkInfo());
    // Without distortion the undistorted intrinsics are the intrinsics themselves.
    const double k[9] = {500, 0, 320, 0, 400, 240, 0, 0, 1};
    ASSERT_EQ(session.InitDepthFrame2WorldTab(k), 0);
    const std::shared_ptr<const DepthWorldTable> table = session.GetDepthFrame2WorldTab();
    ASSERT_NE(table, nullptr);
    struct Row
    {
        int u, v;
    };
    for (const Row row : {Row{0, 0}, Row{320, 240}, Row{639, 479}, Row{100, 400}}) {
        EXPECT_NEAR(table->columnX[static_cast<size_t>(row.u)], (row.u - 320.0) / 500.0, 1e-6);
        EXPECT_NEAR(table->rowY[static_cast<size_t>(row.v)], (row.v - 240.0) / 400.0, 1e-6);
    }
}

TEST(BaseSessionDepthTable, OnlyAnOrdinaryLensGetsPixelRays)
{
    // A garbled block's coefficients (huge, subnormal or tiny) kept the lens inverse iterating for minutes.
    struct Row
    {
        std::array<double, 8> distortion;
        bool pixelRays;
    };
    const double k[9] = {520, 0, 320, 0, 520, 240, 0, 0, 1};
    const std::unique_ptr<APIDepthRefine> refine(Get_APIDepthRefine());
    SessionCalibration calibration;
    calibration.SetTofUndistorted(false);
    for (const Row &row : {Row{{-0.12, 0.05, 0.001, -0.001, 0.01, 0, 0, 0}, true},
                           Row{{0, 0, 0, 0, 4.865631378322311e125, 4.35e-322, 0, 8.087e-320}, false},
                           Row{{0, 0, 0, 0, 0, 0, 0, 8.087e-320}, false},
                           Row{{520, 0, 320, 1.83e-307, 0, 1.84e-307, 1.83e-307, 0}, false}}) {
        calibration.Params().tofDistortion = row.distortion;
        calibration.BuildDepthWorldTable(k, refine.get());
        EXPECT_EQ(!calibration.WorldTable()->rayX.empty(), row.pixelRays) << row.distortion[7];
        EXPECT_EQ(calibration.WorldTable()->columnX[0], -320.0 / 520.0);
    }
}

TEST(TransferFileCheck, UnreadableOrWrongFilesAreRefused)
{
    orvtest::TempDir dir;
    FileTransferParams params{};
    params.type = 4;
    std::snprintf(params.name, sizeof(params.name), "%s/none.bin", dir.Path().c_str());
    EXPECT_FALSE(BaseSession::CheckTransferFile(params)) << "missing";

    std::snprintf(params.name, sizeof(params.name), "%s/short.bin", dir.Path().c_str());
    orvtest::WriteFile(params.name, std::string(100, 'x'));
    BaseSession session(NetworkInfo());
    EXPECT_EQ(session.TransferFile(params), -15);

    std::memset(params.name, 'a', sizeof(params.name));
    EXPECT_FALSE(BaseSession::CheckTransferFile(params)) << "unterminated";
}

} // namespace
